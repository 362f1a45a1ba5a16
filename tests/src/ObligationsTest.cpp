#include "Obligations.h"

#include <gtest/gtest.h>

namespace {

std::string Period(const std::string& key, const std::string& extra = {}) {
    return R"({"start":"2023-04-01","end":"2023-06-30","due":"2023-08-07","status":"O","periodKey":")" +
           key + "\"" + extra + "}";
}

CObligationData Record(const std::string& key, const std::string& received = {}) {
    return CObligationData("2023-04-01", "2023-06-30", "2023-08-07", "O", key, received);
}

}  // namespace

// Complete records are kept in array order; reading stops at the first record that is not one,
// and only a body read to its end may be used by the retrieval.
TEST(Obligations, KeepsCompleteRecordsInArrayOrder) {
    struct Row {
        const char* name;
        std::string body;
        std::vector<CObligationData> records;
        bool complete = false;
    };
    const std::string list = R"({"obligations":[)";
    const Row rows[] = {
        {"ThreeOpenPeriods",
         list + Period("18A1") + "," + Period("18A2") + "," + Period("18A3") + "]}",
         {Record("18A1"), Record("18A2"), Record("18A3")},
         true},
        {"SecondLacksDueStopsThere",
         list + Period("18A1") + R"(,{"start":"s","end":"e","status":"O","periodKey":"X"},)" +
             Period("18A3") + "]}",
         {Record("18A1")}},
        {"ReceivedOnlyWhereSent",
         list + Period("18A1", R"(,"received":"2023-07-01")") + "," + Period("18A2") + "]}",
         {Record("18A1", "2023-07-01"), Record("18A2")},
         true},
        {"NumericMemberCountsAsMissing",
         list + R"({"start":"s","end":"e","due":"d","status":"O","periodKey":18}]})",
         {}},
        {"NonStringReceivedIsEmpty",
         list + Period("K", R"(,"received":1)") + "]}",
         {Record("K")},
         true},
        {"ObligationsAsAnObject", R"({"obligations":{"start":"s"}})", {}},
        {"DeeplyNested",
         R"({"obligations":)" + std::string(100000, '[') + std::string(100000, ']') + "}",
         {}},
        {"Empty", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CObligations obligations(row.body);
        EXPECT_EQ(obligations.GetBody(), row.body);
        EXPECT_EQ(obligations.GetObligations(), row.records);
        EXPECT_EQ(obligations.IsComplete(), row.complete);
    }
}
