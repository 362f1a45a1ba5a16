#include <gtest/gtest.h>

#include <sstream>

#include "CsvParser.h"
#include "FigureFile.h"
#include "FigureRules.h"
#include "HmrcDate.h"
#include "PrintMarkup.h"
#include "TestSupport.h"

namespace {

// A line of the table cut at `separator`: a column "" is the empty text, and \t \n \r \\ \xHH
// are those bytes.
std::vector<std::string> Columns(const std::string& line, char separator = '\t') {
    std::vector<std::string> columns(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == separator) {
            columns.emplace_back();
        } else if (line[i] == '\\' && line.at(i + 1) == 'x') {
            columns.back() += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (line[i] == '\\') {
            const char c = line.at(++i);
            columns.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            columns.back() += line[i];
        }
    }
    for (std::string& column : columns)
        column = column == "\"\"" ? "" : column;
    return columns;
}

// What rule `in[0]` gives for its inputs, written as the table's last column writes it.
std::string Apply(const std::vector<std::string>& in) {
    const std::string& rule = in[0];
    std::string text = in.at(1), result;
    std::int64_t pence = 0;
    if (rule == "figure_text")
        return IsValidFigureText(text) ? "yes" : "no";
    if (rule == "pad")
        return PadToTwoDecimals(text) ? text + " shown" : text + " kept";
    if (rule == "whole") {
        TruncateToWholePounds(text);
        return text;
    }
    if (rule == "pence")
        return TextToPence(text, pence) ? std::to_string(pence) : "refused";
    if (rule == "print")
        return PenceToText(std::stoll(text));
    if (rule == "date")
        return FormatHmrcDate(text, result) ? result : "refused";
    if (rule == "file_name")
        return DefaultFigureFileName(text);
    if (rule == "print_markup")
        return AdaptHtmlForPrinting(text);
    if (rule == "csv") {
        CCsvParser parser("");
        if (!parser.ParseContent(text))
            return parser.GetError().substr(0, parser.GetError().find('\n'));
        for (const std::string& value : parser.GetValues())
            result += "|" + value;
        return result.substr(1);
    }
    if (rule != "compute")
        return "no rule " + rule;
    BoxTexts stored;
    const std::vector<std::string> boxes = Columns(text, ',');
    std::copy_n(boxes.begin(), stored.size(), stored.begin());
    const FigureComputation computed = ComputeFigures(stored, in.at(2), in.at(3), true);
    const ReturnFigures& f = computed.figures;
    if (computed.boxOutOfRange != 0)
        return "box " + std::to_string(computed.boxOutOfRange) + " refused";
    return f.box3 + (f.box3Recalculated ? "* " : " ") + f.box5 + (f.box5Recalculated ? "*" : "");
}

TEST(FigureRules, EveryCaseInTheTableHolds) {
    std::istringstream table(
        calvenor::test::ReadFile(calvenor::test::TestData("figure_rules.txt")));
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> columns = Columns(line);
        EXPECT_EQ(Apply(columns), columns.back()) << line;
        ++cases;
    }
    EXPECT_GT(cases, 90);
}

}  // namespace
