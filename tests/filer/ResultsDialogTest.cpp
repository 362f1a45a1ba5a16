#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <vector>

#include "Log.h"
#include "PdfText.h"
#include "ResultsDialog.h"
#include "TestSupport.h"
#include "UiRecorder.h"

namespace {

using namespace calvenor::test;

const std::vector<std::string> kReceipt = {
    "Processing Date : 2026-07-02T10:15:00.000Z", "Form Bundle Number : 123456789012",
    "Payment Indicator : DD", "Charge Ref Number : XD002750002155",
    "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10"};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(entry.path());
    }
    return files;
}

class ResultsWindow : public testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        ReturnFigures figures;
        SetBoxTexts(figures,
                    {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"});
        results.SetTitle("VAT Submission Results : Success");
        results.SetPeriod("2026-04-01", "2026-06-30");
        results.SetPeriodKey("26A1");
        results.SetReceiptLines(kReceipt);
        results.SetCompany("123456789 : ACME Ltd");
        results.SetFigures(figures);
    }
    void TearDown() override {
        results.close();
        CLog::ResetForTesting();
    }

    void Open() {
        results.show();
        QCoreApplication::processEvents();
    }
    QPushButton* Button(const char* name) {
        return results.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    std::filesystem::path AutoSaveFolder() const { return home.DataFolder() / "AutoSave"; }

    IsolatedHome home;
    CUiRecorder ui;
    TempFolder folder;
    CResultsDialog results;
};

// Closing the window by Escape or its close box is walked through the filing flow.
TEST_F(ResultsWindow, OpensWithReceiptInALargerFontAndWritesOneAutomaticCopy) {
    const QFont initial = results.ReceiptBox()->font();
    Open();
    EXPECT_EQ(results.windowTitle(), "VAT Submission Results : Success");
    EXPECT_EQ(results.ReceiptBox()->toPlainText().toStdString(),
              kReceipt[0] + "\n" + kReceipt[1] + "\n" + kReceipt[2] + "\n" + kReceipt[3] + "\n" +
                  kReceipt[4] + "\n\nWe recommend you save this receipt for your records.");
    EXPECT_GT(QFontInfo(results.ReceiptBox()->font()).pixelSize(), QFontInfo(initial).pixelSize());
    EXPECT_EQ(results.ReceiptBox()->font().weight(), QFont::Medium);
    ASSERT_EQ(FilesIn(AutoSaveFolder()).size(), 1U);
    EXPECT_TRUE(MatchesGolden("autosave_record.txt", ReadFile(results.AutoSavePath())));

    QTest::mouseClick(Button("okButton"), Qt::LeftButton);
    EXPECT_FALSE(results.isVisible());
    EXPECT_EQ(results.result(), QDialog::Accepted);
    EXPECT_EQ(results.ReceiptBox()->font(), initial);
    Open();  // a second showing of the same window writes nothing more
    EXPECT_EQ(FilesIn(AutoSaveFolder()).size(), 1U);
}

TEST_F(ResultsWindow, AutomaticCopyThatCannotBeWrittenIsLoggedOnly) {
    // The data folder's place is taken by a file, so no AutoSave folder can be made in it.
    WriteFile(home.DataFolder(), "not a folder");
    Open();
    EXPECT_TRUE(results.AutoSavePath().empty());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_NE(ReadFile(home.LogPath()).find("Failed to open autosave file"), std::string::npos);
}

TEST_F(ResultsWindow, EnterSavesTheReceiptFileOverAnOlderOne) {
    const auto target = folder / "receipt.txt";
    WriteFile(target, "an older, longer receipt that must be replaced entirely\n");
    ui.QueueSaveFileName(QString::fromStdString(target.string()));
    Open();
    QTest::keyClick(results.ReceiptBox(), Qt::Key_Return);
    ASSERT_EQ(ui.FileDialogs().size(), 1U);
    const FileDialogRequest& request = ui.FileDialogs()[0].request;
    EXPECT_EQ(request.initialName, "Submission Receipt.txt");
    EXPECT_EQ(request.filters.value(0), "Submission Receipt Files (*.txt)");
    EXPECT_EQ(request.defaultSuffix, "txt");
    EXPECT_TRUE(request.promptOverwrite);
    EXPECT_TRUE(MatchesGolden("receipt_file.txt", ReadFile(target)));
    EXPECT_TRUE(results.isVisible());

    // On a focused button Enter presses that button.
    Button("okButton")->setFocus();
    QTest::keyClick(Button("okButton"), Qt::Key_Return);
    EXPECT_FALSE(results.isVisible());
    EXPECT_EQ(ui.FileDialogs().size(), 1U);
}

TEST_F(ResultsWindow, CancelledOrFailedSaveLeavesNoFile) {
    const auto missing = folder / "missing" / "receipt.txt";
    ui.QueueSaveFileName(std::nullopt);
    ui.QueueSaveFileName(QString::fromStdString(missing.string()));
    Open();
    results.OnBnClickedSave();
    EXPECT_TRUE(ui.Messages().empty());
    results.OnBnClickedSave();
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].title, "Error opening File");
    EXPECT_EQ(ui.Messages()[0].text,
              QString::fromStdString("Unable to open file " + missing.string()));
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Exclamation);
    EXPECT_TRUE(FilesIn(folder.Path()).empty());
}

TEST_F(ResultsWindow, PrintGivesTheFiledReturn) {
    const auto pdf = folder / "return.pdf";
    ui.QueuePrintToPdf(QString::fromStdString(pdf.string()));
    Open();
    QTest::mouseClick(Button("printButton"), Qt::LeftButton);
    const std::string text = PdfText(pdf);
    for (const std::string& expected :
         {std::string("Results for Period : 01 Apr 2026 To 30 Jun 2026"),
          std::string("VAT Number: 123456789 : ACME Ltd"), kReceipt[4], std::string("80.00")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

}  // namespace
