#include <gtest/gtest.h>

#include <filesystem>

#include "PdfText.h"
#include "PrintDocuments.h"
#include "Printing.h"
#include "TestSupport.h"
#include "UiRecorder.h"

namespace {

using calvenor::test::PdfText;
using calvenor::test::TempFolder;

TEST(AdaptForPrinting, RewritesOnlyWhatQtCannotRead) {
    const std::pair<const char*, const char*> rows[] = {
        {"<style>td {border: solid 1px #444444;}</style>",
         "<style>td {border-style: solid; border-width: 1px; border-color: #444444; }</style>"},
        {"<style>td {padding: 1%;}</style>", "<style>td {padding: 6px; }</style>"},
        {"<style>table {width: 90%;}.c3 {text-align: right; width: 17%;}</style>"
         "<table><tr><td class=\"c1 c3\">1</td><td>2</td></tr></table>",
         "<style>table {}.c3 {text-align: right; }</style>"
         "<table width=\"90%\" cellspacing=\"0\"><tr><td class=\"c1 c3\" width=\"17%\">1</td>"
         "<td>2</td></tr></table>"},
        {"a &lt; b<br/><b>td {width: 5%}</b><tdx>", "a &lt; b<br/><b>td {width: 5%}</b><tdx>"}};
    for (const auto& [html, adapted] : rows)
        EXPECT_EQ(AdaptHtmlForPrinting(html), adapted);
}

class Printing : public testing::Test {
protected:
    CUiRecorder ui;
    TempFolder folder;
};

TEST_F(Printing, PdfHoldsTheWholeDocument) {
    const auto pdf = folder / "return.pdf";
    ui.QueuePrintToPdf(QString::fromStdString(pdf.string()));
    const BoxTexts boxes{"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"};
    EXPECT_EQ(PrintHtmlDocument(BuildResultsPrintDocument("2026-04-01", "2026-06-30",
                                                          "123456789 : ACME <Ltd>",
                                                          {"Receipt ID : abc & def"}, boxes)),
              PrintOutcome::Printed);
    const std::string text = PdfText(pdf);
    for (const char* expected :
         {"Results for Period : 01 Apr 2026 To 30 Jun 2026", "VAT Number: 123456789 : ACME <Ltd>",
          "Receipt ID : abc & def", "VAT due in this period on sales and other outputs",
          "Net VAT to be paid to Customs", "80.00", "500"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Printing, CancelledDialogPrintsAndSaysNothing) {
    ui.QueuePrintCancel();
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Cancelled);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST_F(Printing, OutputThatCannotStartIsReported) {
    ui.QueuePrintToPdf(QString::fromStdString((folder / "missing" / "x.pdf").string()));
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Failed);
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].title, QString());
    EXPECT_EQ(ui.Messages()[0].text, "Printing Error - check for printers");
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Information);
}

}  // namespace
