#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrintDocuments.h"
#include "ReceiptText.h"
#include "TestSupport.h"

namespace {

using calvenor::test::MatchesGolden;

const std::string kCompany = "123456789 : ACME Ltd";
const BoxTexts kFigures = {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"};
const std::vector<std::string> kReceipt = {
    "Processing Date : 2026-07-02T10:15:00.000Z", "Form Bundle Number : 123456789012",
    "Payment Indicator : DD", "Charge Ref Number : XD002750002155",
    "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10"};

TEST(PrintDocuments, MatchTheirGoldenFiles) {
    EXPECT_TRUE(MatchesGolden("box_table_template.html", std::string(BoxTableTemplate)));
    EXPECT_TRUE(MatchesGolden(
        "results_print_document.html",
        BuildResultsPrintDocument("2026-04-01", "2026-06-30", kCompany, kReceipt, kFigures)));
    EXPECT_TRUE(MatchesGolden(
        "receipt_file.txt",
        BuildReceiptFileText("2026-04-01", "2026-06-30", kCompany, kReceipt, kFigures)));
    const BoxTexts confirmed = {"100.00", "0.50", "100.50", "150.75", "50.25",
                                "1000",   "1500", "0",      "0"};
    EXPECT_TRUE(MatchesGolden("sign_off_page.html",
                              BuildSignOffHtml("123456789 : Acme Trading Ltd", confirmed)));
}

TEST(PrintDocuments, OutsideTextsAreEscapedAndFiguresNeverTakenForPlaceholders) {
    BoxTexts boxes = kFigures;
    boxes[0] = "!BOX2!<b>";
    const std::string table = FillBoxTable(boxes);
    EXPECT_EQ(table.find("!BOX"), table.find("!BOX2!&lt;b&gt;"));
    EXPECT_NE(table.find("<td class=\"col3\">!BOX2!&lt;b&gt;</td>"), std::string::npos);

    const std::string document =
        BuildResultsPrintDocument("2026-04-01", "2026-06-30", "123456789 : Smith & <Sons> \"Ltd\"",
                                  {"Code : <script>alert(1)</script> & more"}, kFigures);
    EXPECT_NE(
        document.find("VAT Number: 123456789 : Smith &amp; &lt;Sons&gt; &quot;Ltd&quot;<br/>"),
        std::string::npos);
    EXPECT_NE(document.find("Code : &lt;script&gt;alert(1)&lt;/script&gt; &amp; more<br/>"),
              std::string::npos);
    EXPECT_EQ(document.find("<script>"), std::string::npos);
    EXPECT_NE(BuildSignOffHtml("123456789 : A&B <Ltd>", kFigures)
                  .find("VAT Return for Sign Off for : 123456789 : A&amp;B &lt;Ltd&gt;<br/><br/>"),
              std::string::npos);
}

TEST(PrintDocuments, UnconvertedPeriodAndEmptyReceiptKeepEveryLine) {
    EXPECT_EQ(BuildResultsPrintDocument("", "2026-06-30", kCompany, {}, kFigures)
                  .rfind("Results for Period :  To 2026-06-30<br/>VAT Number: "
                         "123456789 : ACME Ltd<br/><br/><br/><br/><style>",
                         0),
              0u);
    EXPECT_EQ(BuildReceiptFileText("2026-04-01", "2026-06-30", kCompany, {}, kFigures),
              "Results for Period : 2026-04-01 To 2026-06-30\nVAT Number: 123456789 : ACME "
              "Ltd\n\n\nBox1 = 100.00\nBox2 = 0.00\nBox3 = 100.00\nBox4 = 20.00\nBox5 = "
              "80.00\nBox6 = 500\nBox7 = 100\nBox8 = 0\nBox9 = 0");
    EXPECT_EQ(BuildResultsWindowText({"a", "b"}),
              "a\r\nb\r\n\r\nWe recommend you save this receipt for your records.");
    EXPECT_EQ(BuildResultsWindowText({}),
              "\r\nWe recommend you save this receipt for your records.");
}

}  // namespace
