#include <QAbstractButton>

#include "AtomicFile.h"
#include "ResultsDialog.h"
#include "SandboxWindowTest.h"
#include "VatConfirm.h"

// A write interrupted at its last step (the rename) leaves the file that stood there intact and
// no half file or temporary file beside it.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;

const std::string kPrevious = "previous content\r\n";

class CrashSafety;
struct WriteRow {
    const char* name;
    fs::path (*previous)(const CrashSafety&);  // the file a good write would replace or join
    void (*write)(CrashSafety&, const fs::path& previous);
    friend void PrintTo(const WriteRow& row, std::ostream* os) { *os << row.name; }
};

class CrashSafety : public SandboxWindowTest, public testing::WithParamInterface<WriteRow> {
public:
    // An automatic copy or a receipt file, from a results window that opens and saves.
    void ShowResults(const std::optional<fs::path>& saveAs) {
        CResultsDialog results(m_window.get());
        results.SetTitle("VAT Submission Results : Success");
        results.SetPeriod("2018-01-01", "2018-03-31");
        results.SetReceiptLines({"Submisssion Successful", "", "Receipt Id 1234"});
        results.SetCompany("100000001 : Ashcombe Joinery Ltd");
        results.show();
        if (saveAs) {
            m_recorder.QueueSaveFileName(QString::fromStdString(saveAs->string()));
            results.findChild<QAbstractButton*>("saveButton")->click();
        }
        results.hide();
    }

    void Authorise() { AuthoriseByCode(); }
    IsolatedHome& Home() { return m_home; }
    const IsolatedHome& Home() const { return m_home; }
    CUiRecorder& Recorder() { return m_recorder; }
};

// clang-format off
const WriteRow kWrites[] = {
    // A token file without an expiry is not renewed: the code exchange writes a new one.
    {"TokenFile",
     [](const CrashSafety& t) { return t.Home().DataFolder() / "TokDir" / "tokens.tok"; },
     [](CrashSafety& t, const fs::path&) { t.Authorise(); }},
    {"AutomaticCopy",
     [](const CrashSafety& t) { return t.Home().DataFolder() / "AutoSave" / "20180401_090000.000.txt"; },
     [](CrashSafety& t, const fs::path&) { t.ShowResults(std::nullopt); }},
    {"ReceiptFile",
     [](const CrashSafety& t) { return t.Home().Root() / "receipts" / "Submission Receipt.txt"; },
     [](CrashSafety& t, const fs::path& previous) { t.ShowResults(previous); }},
    {"FigureFile",
     [](const CrashSafety& t) { return t.Home().Root() / "figures" / "100000001 - Ashcombe.csv"; },
     [](CrashSafety& t, const fs::path& previous) {
         CVatConfirm confirm(CaptureProgram::Approvals);
         ReturnFigures figures;
         SetBoxTexts(figures, {"1.00", "0.00", "1.00", "0.00", "1.00", "1", "0", "0", "0"});
         confirm.SetFigures(figures);
         t.Recorder().QueueSaveFileName(QString::fromStdString(previous.string()));
         confirm.findChild<QAbstractButton*>("saveButton")->click();
     }},
};
// clang-format on

TEST_P(CrashSafety, InterruptedAtTheRenameLeavesThePreviousFile) {
    const fs::path previous = GetParam().previous(*this);
    fs::create_directories(previous.parent_path());
    WriteFile(previous,
              previous.filename() == "tokens.tok" ? "old-access|old-refresh|0" : kPrevious);
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
