#include "Obligations.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

std::string Period(const std::string& key, const std::string& extra = {}) {
    return R"({"start":"2023-04-01","end":"2023-06-30","due":"2023-08-07","status":"O","periodKey":")" +
           key + "\"" + extra + "}";
}

CObligationData Record(const std::string& key, const std::string& received = {}) {
    return CObligationData("2023-04-01", "2023-06-30", "2023-08-07", "O", key, received);
}

struct ParseRow {
    const char* name;
    std::string body;
    std::vector<CObligationData> records;
    bool complete = false;  // read to its end: the retrieval may use it
    friend void PrintTo(const ParseRow& row, std::ostream* os) { *os << row.name; }
};

class ObligationsParseTest : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ObligationsParseTest, KeepsCompleteRecordsInArrayOrder) {
    const CObligations obligations(GetParam().body);
    EXPECT_EQ(obligations.GetBody(), GetParam().body);
    EXPECT_EQ(obligations.GetObligations(), GetParam().records);
    EXPECT_EQ(obligations.IsComplete(), GetParam().complete);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ObligationsParseTest,
    ::testing::Values(
        ParseRow{"ThreeOpenPeriods",
                 R"({"obligations":[)" + Period("18A1") + "," + Period("18A2") + "," +
                     Period("18A3") + "]}",
                 {Record("18A1"), Record("18A2"), Record("18A3")},
                 true},
        ParseRow{"SecondLacksDueStopsThere",
                 R"({"obligations":[)" + Period("18A1") +
                     R"(,{"start":"s","end":"e","status":"O","periodKey":"X"},)" + Period("18A3") +
                     "]}",
                 {Record("18A1")}},
        ParseRow{"ReceivedOnlyWhereSent",
                 R"({"obligations":[)" + Period("18A1", R"(,"received":"2023-07-01")") + "," +
                     Period("18A2") + "]}",
                 {Record("18A1", "2023-07-01"), Record("18A2")},
                 true},
        ParseRow{
            "NumericMemberCountsAsMissing",
            R"({"obligations":[{"start":"s","end":"e","due":"d","status":"O","periodKey":18}]})",
            {}},
        ParseRow{"NonStringReceivedIsEmpty",
                 R"({"obligations":[)" + Period("K", R"(,"received":1)") + "]}",
                 {Record("K")},
                 true},
        ParseRow{"ObligationsAsAnObject", R"({"obligations":{"start":"s"}})", {}},
        ParseRow{"NoObligationsMember", R"({"code":"NOT_FOUND"})", {}},
        ParseRow{"ElementNotAnObjectStopsThere",
                 R"({"obligations":[)" + Period("A") + R"(,7,)" + Period("B") + "]}",
                 {Record("A")}},
        ParseRow{"NotJson", "<html>", {}}, ParseRow{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

TEST(Obligations, DeeplyNestedBodyGivesNoRecords) {
    const CObligations obligations("{\"obligations\":" + std::string(100000, '[') +
                                   std::string(100000, ']') + "}");
    EXPECT_TRUE(obligations.GetObligations().empty());
}
