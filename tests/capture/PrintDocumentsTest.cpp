#include <gtest/gtest.h>

#include "PrintDocuments.h"
#include "TestSupport.h"

namespace {

using calvenor::test::MatchesGolden;

TEST(PrintDocuments, MatchTheirGoldenFiles) {
    const std::vector<std::string> receipt = {
        "Processing Date : 2026-07-02T10:15:00.000Z", "Form Bundle Number : 123456789012",
        "Payment Indicator : DD", "Charge Ref Number : XD002750002155",
        "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10"};
    const BoxTexts filed = {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"};
    EXPECT_TRUE(MatchesGolden("results_print_document.html",
                              BuildResultsPrintDocument("2026-04-01", "2026-06-30",
                                                        "123456789 : ACME Ltd", receipt, filed)));
    const BoxTexts confirmed = {"100.00", "0.50", "100.50", "150.75", "50.25",
                                "1000",   "1500", "0",      "0"};
    EXPECT_TRUE(MatchesGolden("sign_off_page.html",
                              BuildSignOffHtml("123456789 : Acme Trading Ltd", confirmed)));
}

// HMRC's answer and the profile are outside texts: none may become markup, and no figure may be
// taken for a placeholder of the box table.
TEST(PrintDocuments, OutsideTextsAreEscapedAndFiguresNeverTakenForPlaceholders) {
    const BoxTexts boxes = {"!BOX2!<b>", "0.00", "0", "0", "0", "0", "0", "0", "0"};
    const std::string document =
        BuildResultsPrintDocument("2026-04-01", "2026-06-30", "123456789 : Smith & <Sons> \"Ltd\"",
                                  {"Code : <script>alert(1)</script> & more"}, boxes) +
        BuildSignOffHtml("A&B <Ltd>", boxes);
    for (const char* shown :
         {"<td class=\"col3\">!BOX2!&lt;b&gt;</td>", "<td class=\"col3\">0.00</td>",
          "VAT Number: 123456789 : Smith &amp; &lt;Sons&gt; &quot;Ltd&quot;<br/>",
          "Code : &lt;script&gt;alert(1)&lt;/script&gt; &amp; more<br/>",
          "Sign Off for : A&amp;B &lt;Ltd&gt;<br/>"})
        EXPECT_NE(document.find(shown), std::string::npos) << shown;
    EXPECT_EQ(document.find("<script>"), std::string::npos);
}

}  // namespace
