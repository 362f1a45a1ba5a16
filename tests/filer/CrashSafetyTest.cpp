#include "AtomicFile.h"
#include "FilerWindowTest.h"

// A write interrupted at its last step (the rename) leaves the file that stood there intact and
// no half file or temporary file beside it.
namespace calvenor::test {
namespace {

enum class Kind { TokenFile, AutomaticCopy, ReceiptFile, FigureFile };
struct WriteRow {
    const char* name;
    Kind kind;
    const char* previous;  // the file a good write would replace or join, in the home folder
};

const WriteRow kWrites[] = {
    // A token file without an expiry is not renewed: the code exchange writes a new one.
    {"TokenFile", Kind::TokenFile, "data/TokDir/tokens.tok"},
    {"AutomaticCopy", Kind::AutomaticCopy, "data/AutoSave/20180401_090000.000.txt"},
    {"ReceiptFile", Kind::ReceiptFile, "receipts/Submission Receipt.txt"},
    {"FigureFile", Kind::FigureFile, "figures/100000001 - Ashcombe.csv"},
};

class CrashSafety : public FilerWindowTest, public testing::WithParamInterface<WriteRow> {
protected:
    void Write(Kind kind, const fs::path& previous) {
        if (kind == Kind::TokenFile)
            return AuthoriseByCode();
        if (kind != Kind::AutomaticCopy)
            m_recorder.QueueSaveFileName(QString::fromStdString(previous.string()));
        if (kind == Kind::FigureFile) {
            CVatConfirm confirm(CaptureProgram::Approvals);
            ReturnFigures figures;
            SetBoxTexts(figures, kFigures);
            confirm.SetFigures(figures);
            return Click(&confirm, "saveButton");
        }
        // Every results window writes an automatic copy; Save writes the receipt file.
        CResultsDialog results(m_window.get());
        results.SetTitle("VAT Submission Results : Success");
        results.SetPeriod("2018-01-01", "2018-03-31");
        results.SetReceiptLines({"Submisssion Successful", "", "Receipt Id 1234"});
        results.SetCompany("100000001 : Ashcombe Joinery Ltd");
        results.show();
        if (kind == Kind::ReceiptFile)
            Click(&results, "saveButton");
        results.hide();
    }
};

TEST_P(CrashSafety, InterruptedAtTheRenameLeavesThePreviousFile) {
    const fs::path previous = m_home.Root() / GetParam().previous;
    fs::create_directories(previous.parent_path());
    WriteFile(previous, previous.filename() == "tokens.tok" ? "old-access|old-refresh|0"
                                                            : "previous content\r\n");
    const std::string before = ReadFile(previous);

    std::vector<fs::path> interrupted;
    SetBeforeRenameHookForTesting([&](const fs::path& target) {
        interrupted.push_back(target);
        return false;
    });
    Write(GetParam().kind, previous);
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
