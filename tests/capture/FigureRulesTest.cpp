#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "FigureRules.h"
#include "HmrcDate.h"

namespace {

TEST(FigureText, ABoxHoldsOnlyDigitsOnePointAndALeadingMinus) {
    // The last row is "£12" in UTF-8.
    const std::pair<const char*, bool> rows[] = {
        {"", true},       {"-12.50", true}, {"-", true},       {".", true},
        {"-.", true},     {"12.", true},    {"12-5", false},   {"--5", false},
        {"1.2.3", false}, {"1,000", false}, {"-1,000", false}, {"12 5", false},
        {" 12", false},   {"+12", false},   {"12a", false},    {"\xC2\xA3\x31\x32", false}};
    EXPECT_FALSE(IsValidFigureText(std::string{'1', '\0', '2'}));
    for (const auto& [text, accepted] : rows)
        EXPECT_EQ(IsValidFigureText(text), accepted) << text;
}

TEST(FigureText, PaddingGivesPoundsAndPenceAndCuttingNeverRounds) {
    struct Row {
        std::string input, padded;
        bool shown;
    };
    // Figures with a leading point are covered with the entry window, typed and imported.
    const Row pads[] = {
        {"", "0.00", true},         {"12", "12.00", true},     {"12.", "12.00", true},
        {"12.3", "12.30", true},    {"12.34", "12.34", false}, {"12.345", "12.34", false},
        {"12.999", "12.99", false}, {"-", "0.00", true},       {"-7", "-7.00", true}};
    for (const Row& row : pads) {
        std::string text = row.input;
        EXPECT_EQ(PadToTwoDecimals(text), row.shown) << row.input;
        EXPECT_EQ(text, row.padded) << row.input;
    }
    const std::pair<std::string, std::string> wholes[] = {
        {"", "0"}, {"123.99", "123"}, {"-5.50", "-5"}, {"-0.50", "-0"}, {"42", "42"}};
    for (const auto& [input, whole] : wholes) {
        std::string text = input;
        TruncateToWholePounds(text);
        EXPECT_EQ(text, whole) << input;
    }
}

TEST(FigureText, PenceReadCutToTwoDecimalsAndPrintBackInForm) {
    // clang-format off
    const std::pair<std::string, std::int64_t> reads[] = {
        {"0.555", 55}, {"7", 700}, {"12.3", 1230}, {"-0.00", 0}, {"21474836.48", 2147483648},
        {"-9999999999999.99", -999999999999999}, {"92233720368547758.07", INT64_MAX}};
    // clang-format on
    for (const auto& [text, expected] : reads) {
        std::int64_t pence = -1;
        EXPECT_TRUE(TextToPence(text, pence)) << text;
        EXPECT_EQ(pence, expected) << text;
    }
    // Texts without digits, or whose pence would wrap 64 bits, are refused.
    const std::string refused[] = {"",
                                   "-",
                                   "abc",
                                   "92233720368547758.08",
                                   "922337203685477581",
                                   std::string(500, '9') + ".00"};
    for (const std::string& text : refused) {
        std::int64_t pence = 0;
        EXPECT_FALSE(TextToPence(text, pence)) << text;
    }
    // clang-format off
    const std::pair<std::int64_t, std::string> prints[] = {
        {0, "0.00"}, {5, "0.05"}, {-5, "-0.05"}, {45, "0.45"}, {-45, "-0.45"}, {-123, "-1.23"},
        {999999999999999, "9999999999999.99"}, {INT64_MIN, "-92233720368547758.08"}};
    // clang-format on
    for (const auto& [pence, text] : prints) {
        EXPECT_EQ(PenceToText(pence), text);
        std::int64_t back = 0;
        EXPECT_TRUE(TextToPence(text, back) && back == pence) << text;
    }
}

BoxTexts Boxes(std::string b1, std::string b2, std::string b4) {
    return {std::move(b1), std::move(b2), "0.00", std::move(b4), "0.00", "0", "0", "0", "0"};
}

TEST(ComputeFigures, BoxThreeIsTheSumBoxFiveTheDistanceFlaggedWhenTheImportDiffers) {
    struct Row {
        const char* name;
        BoxTexts stored;
        std::string imported3, imported5, box3, box5;
        bool flag3 = false, flag5 = false;
    };
    const Row rows[] = {
        {"net_is_absolute", Boxes("100.00", "0.50", "150.75"), "", "", "100.50", "50.25"},
        {"negative_pence", Boxes("-0.03", "0.00", "0.00"), "", "", "-0.03", "0.03"},
        {"same_import", Boxes("60.00", "40.00", "0.00"), "100.00", "100.00", "100.00", "100.00"},
        {"three_decimal_import", Boxes("100.55", "0.00", "0.00"), "100.555", "", "100.55", "100.55",
         true},
        {"whole_import", Boxes("100.00", "0.00", "0.00"), "100", "100", "100.00", "100.00"},
        {"negative_imported_net", Boxes("10.00", "0.00", "20.00"), "10.00", "-10.00", "10.00",
         "10.00", false, true},
        {"beyond_32_bits", Boxes("30000000.00", "30000000.00", "0.00"), "", "", "60000000.00",
         "60000000.00"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const FigureComputation result =
            ComputeFigures(row.stored, row.imported3, row.imported5, true);
        ASSERT_EQ(result.boxOutOfRange, 0);
        EXPECT_EQ(result.figures.box3, row.box3);
        EXPECT_EQ(result.figures.box5, row.box5);
        EXPECT_EQ(result.figures.box3Recalculated, row.flag3);
        EXPECT_EQ(result.figures.box5Recalculated, row.flag5);
        EXPECT_EQ(result.figures.box1, row.stored[0]);
        EXPECT_EQ(result.figures.box9, row.stored[8]);
        EXPECT_TRUE(result.figures.entered);
    }

    // The stored boxes 3 and 5 are never read: only boxes 1, 2 and 4 decide them.
    BoxTexts stored = Boxes("1.00", "1.00", "1.00");
    stored[2] = "junk 1.2.3";
    stored[4] = "99999999999999999999999";
    const FigureComputation result = ComputeFigures(stored, "", "", false);
    ASSERT_EQ(result.boxOutOfRange, 0);
    EXPECT_EQ(result.figures.box3, "2.00");
    EXPECT_EQ(result.figures.box5, "1.00");
    EXPECT_FALSE(result.figures.entered);
}

BoxTexts With(int box, std::string text, BoxTexts boxes = Boxes("0.00", "0.00", "0.00")) {
    boxes[static_cast<std::size_t>(box - 1)] = std::move(text);
    return boxes;
}

TEST(ComputeFigures, NamesTheFirstBoxOutsideHmrcsLimits) {
    struct Row {
        const char* name;
        BoxTexts stored;
        int box;
    };
    const Row rows[] = {
        {"box1_at_maximum", With(4, "9999999999999.99", With(1, "9999999999999.99")), 0},
        {"box1_over", With(1, "10000000000000.00"), 1},
        {"box1_under", With(1, "-10000000000000.00"), 1},
        {"box1_too_long_for_a_number", With(1, std::string(400, '9') + ".00"), 1},
        {"box2_before_box6", With(6, "1" + std::string(20, '0'), With(2, "10000000000000.00")), 2},
        {"sum_over", With(2, "5000000000000.00", With(1, "5000000000000.00")), 3},
        {"box4_over", With(4, "10000000000000.00"), 4},
        {"net_at_maximum", With(4, "99999999999.99"), 0},
        {"net_over", With(4, "100000000000.00"), 5},
        {"net_over_negative", With(1, "-100000000000.00"), 5},
        {"box6_at_maximum", With(6, "9999999999999"), 0},
        {"box6_under_minimum", With(6, "-10000000000000"), 6},
        {"box9_too_long", With(9, std::string(30, '9')), 9},
        {"box7_negative_zero", With(7, "-0"), 0}};
    for (const Row& row : rows)
        EXPECT_EQ(ComputeFigures(row.stored, "", "", true).boxOutOfRange, row.box) << row.name;

    for (int box = 1; box <= 9; ++box)
        EXPECT_EQ(FigureRangeMessage(box).rfind("Box " + std::to_string(box) + " ", 0), 0u);
    EXPECT_NE(FigureRangeMessage(5).find("99999999999.99"), std::string::npos);
    EXPECT_NE(FigureRangeMessage(6).find("whole pounds"), std::string::npos);
}

TEST(HmrcDates, ConvertToDayMonthYearOrLeaveTheOutputAlone) {
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int month = 1; month <= 12; ++month) {
        std::string output;
        const std::string input =
            "2023-" + std::string(month < 10 ? "0" : "") + std::to_string(month) + "-30";
        EXPECT_TRUE(FormatHmrcDate(input, output));
        EXPECT_EQ(output, std::string("30 ") + months[month - 1] + " 2023");
    }
    const std::pair<std::string, std::string> odd[] = {{"2023-04-1", "1 Apr 2023"},
                                                       {"2023-04-", " Apr 2023"}};
    for (const auto& [input, expected] : odd) {
        std::string output;
        EXPECT_TRUE(FormatHmrcDate(input, output));
        EXPECT_EQ(output, expected);
    }
    for (const char* input : {"2023-13-01", "2023-00-01", "20230401", "2023-04", "", "2023-4-01"}) {
        std::string output = "untouched";
        EXPECT_FALSE(FormatHmrcDate(input, output)) << input;
        EXPECT_EQ(output, "untouched");
    }
}

}  // namespace
