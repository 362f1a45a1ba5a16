// The fraud-prevention header rules, one row per rule: a conforming set with one header broken
// is reported against that header alone.
#include <algorithm>

#include "SandboxFixture.h"
#include "Text.h"

namespace calvenor::sandbox::test {
namespace {

// One line of tests/data/sandbox/fraud-header-rules.tsv (its head says what each column holds).
struct Broken {
    std::string name, header, value;
    bool error = true, add = false;
    std::string message;
    friend void PrintTo(const Broken& row, std::ostream* os) { *os << row.name; }
};

std::vector<Broken> Rows() {
    std::vector<Broken> rows;
    for (const auto& c : ReadTable("fraud-header-rules.tsv", 6))
        rows.push_back({c[0], c[1], c[2], c[3] == "error", c[5] == "added", c[4]});
    return rows;
}

class BrokenHeaders : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenHeaders, AreReportedAgainstTheirHeaderAlone) {
    const Broken& c = GetParam();
    std::vector<std::string> lines = ConformingHeaders();
    lines.push_back(
        "Gov-Client-Multi-Factor: type=OTHER&timestamp=2026-03-07T09%3A05Z&unique-reference=1");
    const std::string prefix = "Gov-" + c.header + ":";
    if (!c.add)
        std::erase_if(lines, [&](const std::string& l) { return l.starts_with(prefix); });
    if (c.value != "-")
        lines.push_back(prefix + " " + c.value);
    const FraudValidation result = ValidateFraudHeaders(lines);
    EXPECT_EQ(result.code, c.error ? "INVALID_HEADERS" : "POTENTIALLY_INVALID_HEADERS");
    for (const auto& list : {result.errors, result.warnings})
        for (const auto& finding : list)
            EXPECT_EQ(finding.header, AsciiLower("gov-" + c.header)) << finding.message;
    const auto& findings = c.error ? result.errors : result.warnings;
    ASSERT_FALSE(findings.empty());
    EXPECT_TRUE(findings[0].message.starts_with(c.message)) << findings[0].message;
}

INSTANTIATE_TEST_SUITE_P(Sandbox, BrokenHeaders, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace calvenor::sandbox::test
