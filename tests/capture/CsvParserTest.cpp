#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "CsvParser.h"
#include "FigureFile.h"
#include "TestSupport.h"

namespace {

using calvenor::test::TempFolder;
using calvenor::test::WriteFile;
using Values = std::vector<std::string>;

const std::string kFormatError =
    "Unable to determine file format\n\n" + CCsvParser::FormatMessage();
const Values kOneToNine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};

struct CsvCase {
    const char* name;
    std::string content;
    Values values;  // empty: refused with the format message
};

class CsvContents : public testing::TestWithParam<CsvCase> {};

TEST_P(CsvContents, GiveNineValuesOrTheFormatMessage) {
    TempFolder folder;
    const auto path = folder / "figures.csv";
    WriteFile(path, GetParam().content);
    CCsvParser parser(path.string());
    const bool parsed = parser.Parse();
    if (GetParam().values.empty()) {
        EXPECT_FALSE(parsed);
        EXPECT_EQ(parser.GetError(), kFormatError);
    } else {
        ASSERT_TRUE(parsed) << parser.GetError();
        EXPECT_EQ(parser.GetValues(), GetParam().values);
        EXPECT_EQ(parser.GetError(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CsvContents,
    testing::Values(
        CsvCase{"comma_line", "1,2,3,4,5,6,7,8,9\n", kOneToNine},
        CsvCase{"comma_line_no_final_end", "1,2,3,4,5,6,7,8,9", kOneToNine},
        CsvCase{"comma_line_crlf", "1,2,3,4,5,6,7,8,9\r\n", kOneToNine},
        CsvCase{"nine_lines", "1\n2\n3\n4\n5\n6\n7\n8\n9\n", kOneToNine},
        CsvCase{"nine_lines_no_final_end", "1\n2\n3\n4\n5\n6\n7\n8\n9", kOneToNine},
        CsvCase{"nine_lines_crlf", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n", kOneToNine},
        CsvCase{"spaces", "1 2 3 4 5 6 7 8 9", kOneToNine},
        CsvCase{"tabs", "1\t2\t3\t4\t5\t6\t7\t8\t9\n", kOneToNine},
        CsvCase{"bars", "1|2|3|4|5|6|7|8|9\n", kOneToNine},
        CsvCase{"comma_and_space", "1, 2, 3, 4, 5, 6, 7, 8, 9\n", kOneToNine},
        CsvCase{"leading_space_comma_line", " 1,2,3,4,5,6,7,8,9\n", kOneToNine},
        CsvCase{"leading_space_space_line", " 1 2 3 4 5 6 7 8 9", {}},
        CsvCase{"quoted_thousands",
                "\"1,234.56\",2,3,4,5,6,7,8,9\n",
                {"1234.56", "2", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"quoted_spaces",
                "\"1 234.56\",2,3,4,5,6,7,8,9\n",
                {"1234.56", "2", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"parentheses_negative",
                "(123.45),2,3,4,5,6,7,8,9\n",
                {"-123.45", "2", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"currency_and_letters",
                "\xC2\xA3"
                "12.50,2GBP,3,4,5,6,7,8,9\n",
                {"12.50", "2", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"byte_order_mark",
                "\xEF\xBB\xBF"
                "1,2,3,4,5,6,7,8,9\r\n",
                kOneToNine},
        CsvCase{"empty_value", "1,,3,4,5,6,7,8,9\n", {"1", "", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"odd_values_passed_on",
                "1.2.3,5-,3,4,5,6,7,8,9",
                {"1.2.3", "5-", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"lone_carriage_return_ends_a_value",
                "1\r2,3,4,5,6,7,8,9\n",
                {"1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        CsvCase{"header_line", "a,b,c,d,e,f,g,h,i\n1,2,3,4,5,6,7,8,9\n", {}},
        CsvCase{"extra_empty_line", "1\n2\n3\n4\n5\n6\n7\n8\n9\n\n", {}},
        CsvCase{"trailing_comma", "1,2,3,4,5,6,7,8,9,\n", {}},
        CsvCase{"semicolons", "1;2;3;4;5;6;7;8;9\n", {}},
        CsvCase{"unclosed_quote", "\"1,2,3,4,5,6,7,8,9\n", {}},
        CsvCase{"eight_values", "1,2,3,4,5,6,7,8\n", {}}, CsvCase{"empty_file", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvFiles, MissingFileIsNamed) {
    TempFolder folder;
    const std::string path = (folder / "absent.csv").string();
    CCsvParser parser(path);
    EXPECT_FALSE(parser.Parse());
    EXPECT_EQ(parser.GetError(), "Unable to find file " + path);
}

TEST(CsvFiles, UnreadableFileAndFolderCannotBeOpened) {
    TempFolder folder;
    const std::string dir = (folder / "a folder.csv").string();
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    CCsvParser fromFolder(dir);
    EXPECT_FALSE(fromFolder.Parse());
    EXPECT_EQ(fromFolder.GetError(), "Unable to open file " + dir);

    CCsvParser fromDevice("/dev/zero");
    EXPECT_FALSE(fromDevice.Parse());
    EXPECT_EQ(fromDevice.GetError(), "Unable to open file /dev/zero");

    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads files whatever their mode";
    const auto locked = folder / "locked.csv";
    WriteFile(locked, "1,2,3,4,5,6,7,8,9\r\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    CCsvParser parser(locked.string());
    EXPECT_FALSE(parser.Parse());
    EXPECT_EQ(parser.GetError(), "Unable to open file " + locked.string());
}

TEST(CsvFiles, OversizedFileIsRefusedWithItsSize) {
    TempFolder folder;
    const auto path = folder / "big.csv";
    WriteFile(path, "1,2,3,4,5,6,7,8,9\n" + std::string(CCsvParser::kMaxFileBytes, ' '));
    CCsvParser parser(path.string());
    EXPECT_FALSE(parser.Parse());
    EXPECT_NE(parser.GetError().find(std::to_string(CCsvParser::kMaxFileBytes + 18) + " bytes"),
              std::string::npos)
        << parser.GetError();
    EXPECT_TRUE(parser.GetValues().empty());

    WriteFile(path, "1,2,3,4,5,6,7,8,9" + std::string(CCsvParser::kMaxFileBytes - 17, ' '));
    CCsvParser atLimit(path.string());
    EXPECT_TRUE(atLimit.Parse()) << atLimit.GetError();
}

TEST(CsvFiles, WhatTheWriterWritesTheParserReads) {
    TempFolder folder;
    const auto path = folder / "123456789 - Acme Trading Ltd.csv";
    const BoxTexts boxes = {"100.00", "0.50", "100.50", "150.75", "50.25",
                            "1000",   "1500", "0",      "-3"};
    ASSERT_TRUE(WriteFigureFile(path, boxes));
    EXPECT_TRUE(calvenor::test::MatchesGolden("figure_file.csv", calvenor::test::ReadFile(path)));
    CCsvParser parser(path.string());
    ASSERT_TRUE(parser.Parse()) << parser.GetError();
    EXPECT_EQ(parser.GetValues(), Values(boxes.begin(), boxes.end()));
}

TEST(CsvFiles, FailedWriteKeepsTheEarlierFile) {
    TempFolder folder;
    const auto path = folder / "figures.csv";
    WriteFile(path, "good");
    calvenor::SetBeforeRenameHookForTesting([](const std::filesystem::path&) { return false; });
    std::string error;
    EXPECT_FALSE(WriteFigureFile(path, BoxTexts{}, &error));
    calvenor::SetBeforeRenameHookForTesting({});
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(calvenor::test::ReadFile(path), "good");
}

struct NameCase {
    const char* name;
    std::string company;
    std::string file;
};

class DefaultNames : public testing::TestWithParam<NameCase> {};

TEST_P(DefaultNames, FromTheClientListText) {
    EXPECT_EQ(DefaultFigureFileName(GetParam().company), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Companies, DefaultNames,
    testing::Values(
        NameCase{"list_text", "123456789 : Acme Trading Ltd", "123456789 - Acme Trading Ltd.csv"},
        NameCase{"only_first_colon", "123456789 : A:B Ltd", "123456789 - A:B Ltd.csv"},
        NameCase{"slash_replaced", "123456789 : Smith/Jones", "123456789 - Smith_Jones.csv"},
        NameCase{"control_bytes_replaced", "123456789 : A\tB\nC", "123456789 - A_B_C.csv"},
        NameCase{"empty", "", ".csv"}),
    [](const auto& info) { return std::string(info.param.name); });

// Random bytes through the parser's in-memory entry: it must always answer, never crash, and
// a success always means nine values.
TEST(CsvRobustness, RandomContentNeverBreaksTheParser) {
    std::mt19937 random(4242);
    const std::string alphabet = "0123456789.,-() \t|\n\r\"\xEF\xBB\xBF;aZ\xA3";
    for (int round = 0; round < 20000; ++round) {
        std::string content;
        const int length = static_cast<int>(random() % 80);
        for (int i = 0; i < length; ++i)
            content += alphabet[random() % alphabet.size()];
        CCsvParser parser("memory");
        if (parser.ParseContent(content)) {
            ASSERT_EQ(parser.GetValues().size(), 9u);
        } else {
            ASSERT_EQ(parser.GetError(), kFormatError);
        }
    }
}

}  // namespace
