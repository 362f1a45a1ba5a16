#include "AtomicFile.h"
#include "FilerWindowTest.h"

// A write interrupted at its last step (the rename) leaves the file that stood there intact and
// no half file or temporary file beside it.
namespace calvenor::test {
namespace {

class CrashSafety;
struct WriteRow {
    const char* name;
    fs::path (*previous)(const IsolatedHome&);  // the file a good write would replace or join
    void (*write)(CrashSafety&, const fs::path& previous);
    friend void PrintTo(const WriteRow& row, std::ostream* os) { *os << row.name; }
};

class CrashSafety : public FilerWindowTest, public testing::WithParamInterface<WriteRow> {
public:
    // An automatic copy, and a receipt file when `saveAs` is given, from a results window.
    void ShowResults(const fs::path& saveAs) {
        CResultsDialog results(m_window.get());
        results.SetTitle("VAT Submission Results : Success");
        results.SetPeriod("2018-01-01", "2018-03-31");
        results.SetReceiptLines({"Submisssion Successful", "", "Receipt Id 1234"});
        results.SetCompany("100000001 : Ashcombe Joinery Ltd");
        results.show();
        if (!saveAs.empty()) {
            m_recorder.QueueSaveFileName(QString::fromStdString(saveAs.string()));
            Click(&results, "saveButton");
        }
        results.hide();
    }
    void SaveFigures(const fs::path& saveAs) {
        CVatConfirm confirm(CaptureProgram::Approvals);
        ReturnFigures figures;
        SetBoxTexts(figures, {"1.00", "0.00", "1.00", "0.00", "1.00", "1", "0", "0", "0"});
        confirm.SetFigures(figures);
        m_recorder.QueueSaveFileName(QString::fromStdString(saveAs.string()));
        Click(&confirm, "saveButton");
    }
    void Authorise() { AuthoriseByCode(); }
    const IsolatedHome& Home() const { return m_home; }
};

// clang-format off
const WriteRow kWrites[] = {
    // A token file without an expiry is not renewed: the code exchange writes a new one.
    {"TokenFile", [](const IsolatedHome& h) { return h.DataFolder() / "TokDir" / "tokens.tok"; },
     [](CrashSafety& t, const fs::path&) { t.Authorise(); }},
    {"AutomaticCopy", [](const IsolatedHome& h) { return h.DataFolder() / "AutoSave" / "20180401_090000.000.txt"; },
     [](CrashSafety& t, const fs::path&) { t.ShowResults({}); }},
    {"ReceiptFile", [](const IsolatedHome& h) { return h.Root() / "receipts" / "Submission Receipt.txt"; },
     [](CrashSafety& t, const fs::path& previous) { t.ShowResults(previous); }},
    {"FigureFile", [](const IsolatedHome& h) { return h.Root() / "figures" / "100000001 - Ashcombe.csv"; },
     [](CrashSafety& t, const fs::path& previous) { t.SaveFigures(previous); }},
};
// clang-format on

TEST_P(CrashSafety, InterruptedAtTheRenameLeavesThePreviousFile) {
    const fs::path previous = GetParam().previous(Home());
    fs::create_directories(previous.parent_path());
    WriteFile(previous, previous.filename() == "tokens.tok" ? "old-access|old-refresh|0"
                                                            : "previous content\r\n");
    const std::string before = ReadFile(previous);

    std::vector<fs::path> interrupted;
    SetBeforeRenameHookForTesting([&](const fs::path& target) {
        interrupted.push_back(target);
        return false;
    });
    GetParam().write(*this, previous);
    SetBeforeRenameHookForTesting({});

    ASSERT_FALSE(interrupted.empty()) << "the write never reached its rename";
    EXPECT_EQ(interrupted.back().parent_path(), previous.parent_path());
    EXPECT_EQ(ReadFile(previous), before);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(previous.parent_path()))
        left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<fs::path>{previous}) << "a temporary or half file was left";
}

INSTANTIATE_TEST_SUITE_P(Writes, CrashSafety, testing::ValuesIn(kWrites),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::test
