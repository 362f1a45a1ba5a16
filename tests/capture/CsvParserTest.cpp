#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CsvParser.h"
#include "FigureFile.h"
#include "TestSupport.h"

namespace {

using namespace calvenor::test;

// What a figure file's bytes give is in tests/data/figure_rules.txt; here, the files themselves.
TEST(CsvFiles, FilesThatCannotBeReadAreNamedAndNothingIsParsed) {
    TempFolder folder;
    const std::string dir = (folder / "a folder.csv").string();
    std::filesystem::create_directory(dir);
    const auto big = folder / "big.csv";
    WriteFile(big, "1,2,3,4,5,6,7,8,9\n" + std::string(CCsvParser::kMaxFileBytes, ' '));
    const std::string absent = (folder / "absent.csv").string();
    const std::pair<std::string, std::string> rows[] = {
        {absent, "Unable to find file " + absent},
        {dir, "Unable to open file " + dir},
        {"/dev/zero", "Unable to open file /dev/zero"},  // never read without end
        {big.string(), std::to_string(CCsvParser::kMaxFileBytes + 18) + " bytes long"}};
    for (const auto& [path, error] : rows) {
        CCsvParser parser(path);
        EXPECT_FALSE(parser.Parse()) << path;
        EXPECT_NE(parser.GetError().find(error), std::string::npos) << parser.GetError();
        EXPECT_TRUE(parser.GetValues().empty());
    }
    WriteFile(big, "1,2,3,4,5,6,7,8,9" + std::string(CCsvParser::kMaxFileBytes - 17, ' '));
    EXPECT_TRUE(CCsvParser(big.string()).Parse());
}

TEST(CsvFiles, WhatTheWriterWritesTheParserReads) {
    TempFolder folder;
    const auto path = folder / "123456789 - Acme Trading Ltd.csv";
    const BoxTexts boxes = {"100.00", "0.50", "100.50", "150.75", "50.25",
                            "1000",   "1500", "0",      "-3"};
    ASSERT_TRUE(WriteFigureFile(path, boxes));
    EXPECT_TRUE(MatchesGolden("figure_file.csv", ReadFile(path)));
    CCsvParser parser(path.string());
    ASSERT_TRUE(parser.Parse()) << parser.GetError();
    EXPECT_EQ(parser.GetValues(), std::vector<std::string>(boxes.begin(), boxes.end()));
}

}  // namespace
