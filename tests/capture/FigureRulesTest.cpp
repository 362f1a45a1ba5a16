#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "FigureRules.h"
#include "HmrcDate.h"

namespace {

// --- IsValidFigureText -------------------------------------------------------------------------

struct ValidityCase {
    const char* name;
    std::string text;
    bool accepted;
};

class FigureValidity : public testing::TestWithParam<ValidityCase> {};

TEST_P(FigureValidity, AcceptsOnlyWhatABoxMayHold) {
    EXPECT_EQ(IsValidFigureText(GetParam().text), GetParam().accepted) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FigureValidity,
    testing::Values(
        ValidityCase{"empty", "", true}, ValidityCase{"negative_pence", "-12.50", true},
        ValidityCase{"lone_minus", "-", true}, ValidityCase{"lone_point", ".", true},
        ValidityCase{"minus_point", "-.", true}, ValidityCase{"trailing_point", "12.", true},
        ValidityCase{"minus_not_first", "12-5", false}, ValidityCase{"double_minus", "--5", false},
        ValidityCase{"two_points", "1.2.3", false}, ValidityCase{"thousands_comma", "1,000", false},
        ValidityCase{"negative_thousands", "-1,000", false},
        ValidityCase{"inner_space", "12 5", false}, ValidityCase{"leading_space", " 12", false},
        ValidityCase{"pound_sign",
                     "\xC2\xA3"
                     "12",
                     false},
        ValidityCase{"plus_sign", "+12", false}, ValidityCase{"letter", "12a", false},
        ValidityCase{"nul_byte",
                     std::string("1\0"
                                 "2",
                                 3),
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- PadToTwoDecimals and TruncateToWholePounds ----------------------------------------------

struct PadCase {
    const char* name;
    std::string input;
    std::string output;
    bool shown;
};

class Padding : public testing::TestWithParam<PadCase> {};

TEST_P(Padding, RewritesIntoPoundsAndPence) {
    std::string text = GetParam().input;
    EXPECT_EQ(PadToTwoDecimals(text), GetParam().shown);
    EXPECT_EQ(text, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Padding,
    testing::Values(PadCase{"empty", "", "0.00", true}, PadCase{"whole", "12", "12.00", true},
                    PadCase{"trailing_point", "12.", "12.00", true},
                    PadCase{"one_decimal", "12.3", "12.30", true},
                    PadCase{"two_decimals", "12.34", "12.34", false},
                    PadCase{"three_decimals_cut", "12.345", "12.34", false},
                    PadCase{"cut_never_rounds", "12.999", "12.99", false},
                    PadCase{"lone_point", ".", "0.0", true},
                    PadCase{"point_first_keeps_decimals", ".555", "0.555", true},
                    PadCase{"point_first_one_decimal", ".5", "0.50", true},
                    PadCase{"lone_minus", "-", "-0.00", true},
                    PadCase{"minus_point_one_decimal", "-.5", "-0.50", true},
                    PadCase{"minus_point_two_decimals", "-.55", "-0.55", false},
                    PadCase{"negative_whole", "-7", "-7.00", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct TruncateCase {
    const char* name;
    std::string input;
    std::string output;
};

class Truncation : public testing::TestWithParam<TruncateCase> {};

TEST_P(Truncation, CutsAtThePointWithoutRounding) {
    std::string text = GetParam().input;
    TruncateToWholePounds(text);
    EXPECT_EQ(text, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Texts, Truncation,
                         testing::Values(TruncateCase{"empty", "", "0"},
                                         TruncateCase{"no_round_up", "123.99", "123"},
                                         TruncateCase{"negative", "-5.50", "-5"},
                                         TruncateCase{"negative_below_a_pound", "-0.50", "-0"},
                                         TruncateCase{"whole_unchanged", "42", "42"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- TextToPence and PenceToText ---------------------------------------------------------------

struct PenceCase {
    const char* name;
    std::string text;
    std::int64_t pence;
};

class ToPence : public testing::TestWithParam<PenceCase> {};

TEST_P(ToPence, ReadsTwoDecimalsWithoutRounding) {
    std::int64_t pence = -1;
    ASSERT_TRUE(TextToPence(GetParam().text, pence));
    EXPECT_EQ(pence, GetParam().pence);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ToPence,
    testing::Values(PenceCase{"three_decimals_cut", "0.555", 55}, PenceCase{"whole", "7", 700},
                    PenceCase{"one_decimal", "12.3", 1230},
                    PenceCase{"negative_pence", "-0.05", -5},
                    PenceCase{"negative_zero", "-0.00", 0},
                    PenceCase{"beyond_32_bits", "21474836.48", 2147483648},
                    PenceCase{"hmrc_maximum", "9999999999999.99", 999999999999999},
                    PenceCase{"hmrc_minimum", "-9999999999999.99", -999999999999999}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToPence, RefusesTextsWithoutDigitsOrTooLongToBeNumbers) {
    std::int64_t pence = 0;
    EXPECT_FALSE(TextToPence("", pence));
    EXPECT_FALSE(TextToPence("-", pence));
    EXPECT_FALSE(TextToPence("abc", pence));
    EXPECT_FALSE(TextToPence("92233720368547758.08", pence));
    EXPECT_FALSE(TextToPence("922337203685477581", pence));  // times 100 would wrap
    EXPECT_FALSE(TextToPence(std::string(500, '9') + ".00", pence));
    EXPECT_TRUE(TextToPence("92233720368547758.07", pence));
    EXPECT_EQ(pence, INT64_MAX);
}

struct TextCase {
    const char* name;
    std::int64_t pence;
    std::string text;
};

class ToText : public testing::TestWithParam<TextCase> {};

TEST_P(ToText, AlwaysTwoDecimalsAndADigitBeforeThePoint) {
    EXPECT_EQ(PenceToText(GetParam().pence), GetParam().text);
    std::int64_t back = 0;
    ASSERT_TRUE(TextToPence(GetParam().text, back));
    EXPECT_EQ(back, GetParam().pence);
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, ToText,
    testing::Values(TextCase{"zero", 0, "0.00"}, TextCase{"one_digit", 5, "0.05"},
                    TextCase{"negative_one_digit", -5, "-0.05"}, TextCase{"two_digits", 45, "0.45"},
                    TextCase{"negative_two_digits", -45, "-0.45"},
                    TextCase{"three_digits", 123, "1.23"},
                    TextCase{"negative_three_digits", -123, "-1.23"},
                    TextCase{"large", 999999999999999, "9999999999999.99"},
                    TextCase{"most_negative", INT64_MIN, "-92233720368547758.08"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EnsureDecimalPoint, AppendsOnlyWithoutAPoint) {
    EXPECT_EQ(EnsureDecimalPoint("100"), "100.00");
    EXPECT_EQ(EnsureDecimalPoint("100.5"), "100.5");
    EXPECT_EQ(EnsureDecimalPoint(""), ".00");
}

// --- ComputeFigures ----------------------------------------------------------------------------

BoxTexts Boxes(std::string b1, std::string b2, std::string b4) {
    return {std::move(b1), std::move(b2), "0.00", std::move(b4), "0.00", "0", "0", "0", "0"};
}

struct RecalcCase {
    const char* name;
    BoxTexts stored;
    std::string imported3, imported5;
    std::string box3, box5;
    bool flag3, flag5;
};

class Recalculation : public testing::TestWithParam<RecalcCase> {};

TEST_P(Recalculation, ComputesBoxesThreeAndFiveAndComparesAsText) {
    const RecalcCase& c = GetParam();
    const FigureComputation result = ComputeFigures(c.stored, c.imported3, c.imported5, true);
    ASSERT_EQ(result.boxOutOfRange, 0);
    EXPECT_EQ(result.figures.box3, c.box3);
    EXPECT_EQ(result.figures.box5, c.box5);
    EXPECT_EQ(result.figures.box3Recalculated, c.flag3);
    EXPECT_EQ(result.figures.box5Recalculated, c.flag5);
    EXPECT_EQ(result.figures.box1, c.stored[0]);
    EXPECT_EQ(result.figures.box9, c.stored[8]);
    EXPECT_TRUE(result.figures.entered);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, Recalculation,
    testing::Values(RecalcCase{"net_is_absolute", Boxes("100.00", "0.50", "150.75"), "", "",
                               "100.50", "50.25", false, false},
                    RecalcCase{"negative_pence", Boxes("-0.03", "0.00", "0.00"), "", "", "-0.03",
                               "0.03", false, false},
                    RecalcCase{"same_import_not_flagged", Boxes("60.00", "40.00", "0.00"), "100.00",
                               "100.00", "100.00", "100.00", false, false},
                    RecalcCase{"three_decimal_import_flagged", Boxes("100.55", "0.00", "0.00"),
                               "100.555", "", "100.55", "100.55", true, false},
                    RecalcCase{"whole_import_compared_with_decimals",
                               Boxes("100.00", "0.00", "0.00"), "100", "100", "100.00", "100.00",
                               false, false},
                    RecalcCase{"negative_imported_net_flagged", Boxes("10.00", "0.00", "20.00"),
                               "10.00", "-10.00", "10.00", "10.00", false, true},
                    RecalcCase{"no_import_never_flagged", Boxes("1.00", "2.00", "0.00"), "", "",
                               "3.00", "3.00", false, false},
                    RecalcCase{"beyond_32_bit_pence", Boxes("30000000.00", "30000000.00", "0.00"),
                               "", "", "60000000.00", "60000000.00", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Recalculation, StoredBoxesThreeAndFiveAreNotRead) {
    BoxTexts stored = Boxes("1.00", "1.00", "1.00");
    stored[2] = "junk 1.2.3";
    stored[4] = "99999999999999999999999";
    const FigureComputation result = ComputeFigures(stored, "", "", false);
    ASSERT_EQ(result.boxOutOfRange, 0);
    EXPECT_EQ(result.figures.box3, "2.00");
    EXPECT_EQ(result.figures.box5, "1.00");
    EXPECT_FALSE(result.figures.entered);
}

struct RangeCase {
    const char* name;
    BoxTexts stored;
    int box;
};

class RangeLimits : public testing::TestWithParam<RangeCase> {};

TEST_P(RangeLimits, NamesTheFirstBoxOutOfRange) {
    EXPECT_EQ(ComputeFigures(GetParam().stored, "", "", true).boxOutOfRange, GetParam().box);
}

BoxTexts With(int box, std::string text, BoxTexts boxes = Boxes("0.00", "0.00", "0.00")) {
    boxes[static_cast<std::size_t>(box - 1)] = std::move(text);
    return boxes;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, RangeLimits,
    testing::Values(
        RangeCase{"box1_at_maximum", With(4, "9999999999999.99", With(1, "9999999999999.99")), 0},
        RangeCase{"box1_over", With(1, "10000000000000.00"), 1},
        RangeCase{"box1_under", With(1, "-10000000000000.00"), 1},
        RangeCase{"box1_too_long_for_a_number", With(1, std::string(400, '9') + ".00"), 1},
        RangeCase{"box2_over_reported_before_box6",
                  With(6, "1" + std::string(20, '0'), With(2, "10000000000000.00")), 2},
        RangeCase{"sum_over", With(2, "5000000000000.00", With(1, "5000000000000.00")), 3},
        RangeCase{"box4_over", With(4, "10000000000000.00"), 4},
        RangeCase{"net_at_maximum", With(4, "99999999999.99"), 0},
        RangeCase{"net_over", With(4, "100000000000.00"), 5},
        RangeCase{"net_over_negative", With(1, "-100000000000.00"), 5},
        RangeCase{"box6_at_maximum", With(6, "9999999999999"), 0},
        RangeCase{"box6_under_minimum", With(6, "-10000000000000"), 6},
        RangeCase{"box9_too_long", With(9, std::string(30, '9')), 9},
        RangeCase{"box7_negative_zero_fine", With(7, "-0"), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RangeLimits, MessageNamesTheBox) {
    for (int box = 1; box <= 9; ++box) {
        const std::string message = FigureRangeMessage(box);
        EXPECT_EQ(message.rfind("Box " + std::to_string(box) + " ", 0), 0u) << message;
    }
    EXPECT_NE(FigureRangeMessage(5).find("99999999999.99"), std::string::npos);
    EXPECT_NE(FigureRangeMessage(6).find("whole pounds"), std::string::npos);
}

// Random texts through every rule: no crash, and the documented shapes always come out.
TEST(FigureRulesRobustness, RandomTextsNeverBreakTheRules) {
    std::mt19937 random(20260307);
    const std::string alphabet = "0123456789.-+ ,()\"\xA3\xC2\xFFx\r\n";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];

        std::string padded = text;
        PadToTwoDecimals(padded);
        std::string whole = padded;
        TruncateToWholePounds(whole);
        std::int64_t pence = 0;
        if (IsValidFigureText(text)) {
            // A text a box accepts, once padded, always reads as pence and prints back in form.
            ASSERT_TRUE(TextToPence(padded, pence) || padded.size() > 18) << text;
            if (padded.size() <= 18) {
                const std::string back = PenceToText(pence);
                ASSERT_EQ(back.size() - back.find('.'), 3u) << text;
            }
        }
        BoxTexts stored;
        for (auto& box : stored)
            box = padded;
        const FigureComputation result = ComputeFigures(stored, text, text, true);
        ASSERT_GE(result.boxOutOfRange, 0);
        ASSERT_LE(result.boxOutOfRange, 9);
        std::string date;
        FormatHmrcDate(text, date);
    }
}

// --- FormatHmrcDate ----------------------------------------------------------------------------

struct DateCase {
    const char* name;
    std::string input;
    bool converts;
    std::string output;
};

class HmrcDates : public testing::TestWithParam<DateCase> {};

TEST_P(HmrcDates, ConvertsToDayMonthYear) {
    std::string output = "untouched";
    EXPECT_EQ(FormatHmrcDate(GetParam().input, output), GetParam().converts);
    EXPECT_EQ(output, GetParam().converts ? GetParam().output : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HmrcDates,
    testing::Values(DateCase{"jan", "2020-01-01", true, "01 Jan 2020"},
                    DateCase{"feb", "2020-02-29", true, "29 Feb 2020"},
                    DateCase{"mar", "2020-03-31", true, "31 Mar 2020"},
                    DateCase{"apr", "2023-04-01", true, "01 Apr 2023"},
                    DateCase{"may", "2023-05-01", true, "01 May 2023"},
                    DateCase{"jun", "2023-06-30", true, "30 Jun 2023"},
                    DateCase{"jul", "2023-07-01", true, "01 Jul 2023"},
                    DateCase{"aug", "2023-08-01", true, "01 Aug 2023"},
                    DateCase{"sep", "2023-09-30", true, "30 Sep 2023"},
                    DateCase{"oct", "2023-10-01", true, "01 Oct 2023"},
                    DateCase{"nov", "2023-11-01", true, "01 Nov 2023"},
                    DateCase{"dec", "2023-12-31", true, "31 Dec 2023"},
                    DateCase{"month_13", "2023-13-01", false, ""},
                    DateCase{"month_00", "2023-00-01", false, ""},
                    DateCase{"no_dashes", "20230401", false, ""},
                    DateCase{"one_dash", "2023-04", false, ""}, DateCase{"empty", "", false, ""},
                    DateCase{"one_digit_month", "2023-4-01", false, ""},
                    DateCase{"short_day", "2023-04-1", true, "1 Apr 2023"},
                    DateCase{"nothing_after_second_dash", "2023-04-", true, " Apr 2023"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HmrcDates, PeriodShownAsStoredUnlessBothConvert) {
    const DisplayPeriod both = FormatHmrcPeriod("2026-04-01", "2026-06-30");
    EXPECT_TRUE(both.converted);
    EXPECT_EQ(both.start + " To " + both.end, "01 Apr 2026 To 30 Jun 2026");
    const DisplayPeriod one = FormatHmrcPeriod("", "2026-06-30");
    EXPECT_FALSE(one.converted);
    EXPECT_EQ(one.start, "");
    EXPECT_EQ(one.end, "2026-06-30");
}

}  // namespace
