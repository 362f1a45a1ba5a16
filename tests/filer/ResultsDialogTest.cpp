#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "AtomicFile.h"
#include "Log.h"
#include "PdfText.h"
#include "ResultsDialog.h"
#include "TestSupport.h"
#include "UiRecorder.h"

// The results window: the receipt shown, the automatic copy written once as it opens (the
// filer's only record of a filed return), the receipt file through Save, the return through Print.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;

class ResultsWindow : public testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        ReturnFigures figures;
        SetBoxTexts(figures,
                    {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"});
        results.SetResults(
            {"VAT Submission Results : Success",
             "2026-04-01",
             "2026-06-30",
             "26A1",
             {"Processing Date : 2026-07-02T10:15:00.000Z", "Form Bundle Number : 123456789012",
              "Payment Indicator : DD", "Charge Ref Number : XD002750002155",
              "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10"},
             "123456789 : ACME Ltd",
             figures});
        results.show();
    }
    void TearDown() override { results.close(); }

    std::size_t Copies() const {
        std::error_code error;
        const fs::directory_iterator copies(home.DataFolder() / "AutoSave", error);
        return static_cast<std::size_t>(std::distance(copies, fs::directory_iterator()));
    }
    void Press(const char* name) {
        auto* button = results.findChild<QPushButton*>(QString::fromLatin1(name));
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);  // Enter presses the button that has the focus
    }

    IsolatedHome home;
    CUiRecorder ui;
    TempFolder folder;
    CResultsDialog results;
};

TEST_F(ResultsWindow, OpensWithTheReceiptAndWritesOneAutomaticCopy) {
    EXPECT_EQ(results.windowTitle(), "VAT Submission Results : Success");
    EXPECT_TRUE(results.ReceiptBox()->toPlainText().startsWith("Processing Date : 2026-07-02"));
    ASSERT_EQ(Copies(), 1U);
    EXPECT_TRUE(MatchesGolden("autosave_record.txt", ReadFile(results.AutoSavePath())));
    Press("okButton");
    EXPECT_FALSE(results.isVisible());
    results.show();  // a second showing of the same window writes nothing more
    EXPECT_EQ(Copies(), 1U);
}

TEST_F(ResultsWindow, EnterSavesTheReceiptFileOverAnOlderOneOrSaysWhyNot) {
    const auto target = folder / "receipt.txt";
    WriteFile(target, "an older, longer receipt that must be replaced entirely\n");
    ui.QueueSaveFileName(QString::fromStdString(target.string()));
    QTest::keyClick(results.ReceiptBox(), Qt::Key_Return);  // no button focused: Save
    ASSERT_EQ(ui.FileDialogs().size(), 1U);
    EXPECT_EQ(ui.FileDialogs()[0].request.initialName, "Submission Receipt.txt");
    EXPECT_TRUE(MatchesGolden("receipt_file.txt", ReadFile(target)));
    EXPECT_TRUE(results.isVisible());

    // A save that cannot replace the file says so and leaves it as it was.
    ui.QueueSaveFileName(QString::fromStdString(target.string()));
    SetBeforeRenameHookForTesting([](const fs::path&) { return false; });
    Press("saveButton");
    SetBeforeRenameHookForTesting({});
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].text, "Unable to open file " + QString::fromStdString(target));
    EXPECT_TRUE(MatchesGolden("receipt_file.txt", ReadFile(target)));
}

TEST_F(ResultsWindow, PrintGivesTheFiledReturn) {
    const auto pdf = folder / "return.pdf";
    ui.QueuePrintToPdf(QString::fromStdString(pdf.string()));
    Press("printButton");
    const std::string text = PdfText(pdf);
    for (const char* expected :
         {"Results for Period : 01 Apr 2026 To 30 Jun 2026", "VAT Number: 123456789 : ACME Ltd",
          "Receipt ID : 2a5c9a3b", "80.00"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

}  // namespace
}  // namespace calvenor::test
