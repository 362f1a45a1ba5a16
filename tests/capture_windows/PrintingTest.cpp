#include <gtest/gtest.h>

#include <filesystem>

#include "PrintMarkup.h"
#include "Printing.h"
#include "TestSupport.h"
#include "UiRecorder.h"

namespace {

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

TEST(Printing, ACancelPrintsAndSaysNothingAndAFailedStartIsReported) {
    CUiRecorder ui;
    TempFolder folder;
    ui.QueuePrintCancel();
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Cancelled);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

    ui.QueuePrintToPdf(QString::fromStdString((folder / "missing" / "x.pdf").string()));
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Failed);
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].title, QString());
    EXPECT_EQ(ui.Messages()[0].text, "Printing Error - check for printers");
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Information);
}

}  // namespace
