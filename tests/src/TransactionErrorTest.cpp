#include "TransactionError.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {
const char* const kUnknown = "An Unknown Error Occurred";
}  // namespace

// The authorisation request and the code exchange read the HTTP table, the submission its own;
// a status without a row, or a kind without a table, gives the unknown-error text.
TEST(TransactionError, EachKindLooksTheStatusUpInItsOwnTable) {
    const std::tuple<int, int, bool, std::string> rows[] = {
        {0, 400, true, "Unauthorized"},    {0, 5, false, kUnknown},
        {1, 504, true, "Gateway Timeout"}, {3, 400, true, "Bad Request"},
        {3, 404, false, kUnknown},         {2, 400, false, kUnknown}};
    for (const auto& [kind, status, found, text] : rows) {
        std::string shown = "previous";
        EXPECT_EQ(CTRansactionError(kind, status).GetErrorText(shown), found) << status;
        EXPECT_EQ(shown, text) << kind << " " << status;
    }
}

TEST(TransactionError, DecodeTurnsAnErrorBodyIntoLinesInTheirFixedOrder) {
    struct Row {
        const char* name;
        std::string body;
        bool decoded;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"ApiErrorWithNestedErrors",
         R"({"code":"INVALID_REQUEST","message":"Invalid request","errors":[)"
         R"({"code":"INVALID_MONETARY_AMOUNT","message":"amount too big","path":"/vatDueSales"},)"
         R"({"path":"/netVatDue","message":"m2","code":"NET_VAT_DUE"}]})",
         true,
         {"code : INVALID_REQUEST", "message : Invalid request", "\tcode : INVALID_MONETARY_AMOUNT",
          "\tmessage : amount too big", "\tpath : /vatDueSales", "\tcode : NET_VAT_DUE",
          "\tmessage : m2", "\tpath : /netVatDue"}},
        {"MembersInTheirFixedOrder",
         R"({"message":"m","code":"C","error_description":"d","error":"e"})",
         true,
         {"error : e", "error_description : d", "code : C", "message : m"}},
        {"ErrorsAsAnObjectGivesTopLevelOnly",
         R"({"code":"C","errors":{"code":"X"}})",
         true,
         {"code : C"}},
        {"NumericCodeIsSkipped",
         R"({"code":403,"message":"Forbidden"})",
         true,
         {"message : Forbidden"}},
        {"NonObjectElementsAreSkipped", R"({"errors":[1,"x",{"code":"A"}]})", true, {"\tcode : A"}},
        {"DeeplyNested",
         "{\"errors\":[" + std::string(200000, '[') + std::string(200000, ']') + "]}",
         true,
         {}},
        {"HtmlErrorPage", "<html><body>502 Bad Gateway</body></html>", false, {}},
        {"TruncatedJson", R"({"code":"A")", false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CTRansactionError error(3, 400);
        ASSERT_TRUE(error.Decode(R"({"error":"earlier"})"));  // each decode starts afresh
        EXPECT_EQ(error.Decode(row.body), row.decoded);
        EXPECT_EQ(error.GetErrorLines(), row.lines);
    }
}
