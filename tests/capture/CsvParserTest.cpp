#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CsvParser.h"
#include "FigureFile.h"
#include "TestSupport.h"

namespace {

using calvenor::test::TempFolder;
using calvenor::test::WriteFile;
using Values = std::vector<std::string>;

const Values kOneToNine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};

Values OneToNineWith(std::string first) {
    Values values = kOneToNine;
    values[0] = std::move(first);
    return values;
}

TEST(CsvFiles, GiveNineValuesOrTheFormatMessage) {
    struct Row {
        const char* name;
        std::string content;
        Values values;  // empty: refused with the format message
    };
    const Row rows[] = {
        {"comma_line", "1,2,3,4,5,6,7,8,9\n", kOneToNine},
        {"comma_line_no_final_end", "1,2,3,4,5,6,7,8,9", kOneToNine},
        {"comma_line_crlf", "1,2,3,4,5,6,7,8,9\r\n", kOneToNine},
        {"nine_lines", "1\n2\n3\n4\n5\n6\n7\n8\n9\n", kOneToNine},
        {"nine_lines_no_final_end", "1\n2\n3\n4\n5\n6\n7\n8\n9", kOneToNine},
        {"nine_lines_crlf", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n", kOneToNine},
        {"spaces", "1 2 3 4 5 6 7 8 9", kOneToNine},
        {"tabs", "1\t2\t3\t4\t5\t6\t7\t8\t9\n", kOneToNine},
        {"bars", "1|2|3|4|5|6|7|8|9\n", kOneToNine},
        {"comma_and_space", "1, 2, 3, 4, 5, 6, 7, 8, 9\n", kOneToNine},
        {"leading_space_comma_line", " 1,2,3,4,5,6,7,8,9\n", kOneToNine},
        {"byte_order_mark",
         "\xEF\xBB\xBF"
         "1,2,3,4,5,6,7,8,9\r\n",
         kOneToNine},
        {"lone_carriage_return_ends_a_value", "1\r2,3,4,5,6,7,8,9\n", kOneToNine},
        {"quoted_thousands", "\"1,234.56\",2,3,4,5,6,7,8,9\n", OneToNineWith("1234.56")},
        {"quoted_spaces", "\"1 234.56\",2,3,4,5,6,7,8,9\n", OneToNineWith("1234.56")},
        {"parentheses_negative", "(123.45),2,3,4,5,6,7,8,9\n", OneToNineWith("-123.45")},
        {"currency_and_letters",
         "\xC2\xA3"
         "12.50,2GBP,3,4,5,6,7,8,9\n",
         OneToNineWith("12.50")},
        {"empty_value", "1,,3,4,5,6,7,8,9\n", {"1", "", "3", "4", "5", "6", "7", "8", "9"}},
        {"odd_values_passed_on",
         "1.2.3,5-,3,4,5,6,7,8,9",
         {"1.2.3", "5-", "3", "4", "5", "6", "7", "8", "9"}},
        {"leading_space_space_line", " 1 2 3 4 5 6 7 8 9", {}},
        {"header_line", "a,b,c,d,e,f,g,h,i\n1,2,3,4,5,6,7,8,9\n", {}},
        {"extra_empty_line", "1\n2\n3\n4\n5\n6\n7\n8\n9\n\n", {}},
        {"trailing_comma", "1,2,3,4,5,6,7,8,9,\n", {}},
        {"semicolons", "1;2;3;4;5;6;7;8;9\n", {}},
        {"unclosed_quote", "\"1,2,3,4,5,6,7,8,9\n", {}},
        {"eight_values", "1,2,3,4,5,6,7,8\n", {}},
        {"empty_file", "", {}}};
    TempFolder folder;
    const auto path = folder / "figures.csv";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(path, row.content);
        CCsvParser parser(path.string());
        const bool parsed = parser.Parse();
        EXPECT_EQ(parsed, !row.values.empty());
        if (parsed) {
            EXPECT_EQ(parser.GetValues(), row.values);
            EXPECT_EQ(parser.GetError(), "");
        } else {
            EXPECT_EQ(parser.GetError(),
                      "Unable to determine file format\n\n" + CCsvParser::FormatMessage());
        }
    }
}

TEST(CsvFiles, FilesThatCannotBeReadAreNamedAndNothingIsParsed) {
    TempFolder folder;
    const std::string missing = (folder / "absent.csv").string();
    const std::string dir = (folder / "a folder.csv").string();
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const auto big = folder / "big.csv";
    WriteFile(big, "1,2,3,4,5,6,7,8,9\n" + std::string(CCsvParser::kMaxFileBytes, ' '));
    const auto locked = folder / "locked.csv";
    WriteFile(locked, "1,2,3,4,5,6,7,8,9\r\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);

    const std::pair<std::string, std::string> rows[] = {
        {missing, "Unable to find file " + missing},
        {dir, "Unable to open file " + dir},
        {"/dev/zero", "Unable to open file /dev/zero"},  // never read without end
        {big.string(), std::to_string(CCsvParser::kMaxFileBytes + 18) + " bytes long"},
        {locked.string(), ::geteuid() == 0 ? "" : "Unable to open file " + locked.string()}};
    for (const auto& [path, error] : rows) {
        if (error.empty())
            continue;  // root reads files whatever their mode
        CCsvParser parser(path);
        EXPECT_FALSE(parser.Parse()) << path;
        EXPECT_NE(parser.GetError().find(error), std::string::npos) << parser.GetError();
        EXPECT_TRUE(parser.GetValues().empty());
    }

    WriteFile(big, "1,2,3,4,5,6,7,8,9" + std::string(CCsvParser::kMaxFileBytes - 17, ' '));
    CCsvParser atLimit(big.string());
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

TEST(CsvFiles, DefaultNameComesFromTheClientListTextWithUnsafeBytesReplaced) {
    const std::pair<std::string, std::string> rows[] = {
        {"123456789 : Acme Trading Ltd", "123456789 - Acme Trading Ltd.csv"},
        {"123456789 : A:B Ltd", "123456789 - A:B Ltd.csv"},
        {"123456789 : Smith/Jones", "123456789 - Smith_Jones.csv"},
        {"123456789 : A\tB\nC", "123456789 - A_B_C.csv"},
        {"", ".csv"}};
    for (const auto& [company, file] : rows)
        EXPECT_EQ(DefaultFigureFileName(company), file);
}

}  // namespace
