#include "TransactionError.h"

#include <gtest/gtest.h>

namespace {
const char* const kUnknown = "An Unknown Error Occurred";
}  // namespace

TEST(TransactionError, EachKindLooksTheStatusUpInItsOwnTable) {
    struct Row {
        const char* name;
        int kind, status;
        bool found;
        std::string text;
    };
    const Row rows[] = {
        {"AuthorisationBadRequestReadsUnauthorized", 0, 400, true, "Unauthorized"},
        {"AuthorisationPaymentRequired", 0, 402, false, kUnknown},
        {"AuthorisationCommunicationCode", 0, 5, false, kUnknown},
        {"CodeExchangeGatewayTimeout", 1, 504, true, "Gateway Timeout"},
        {"SubmissionBadRequest", 3, 400, true, "Bad Request"},
        {"SubmissionNotFound", 3, 404, false, kUnknown},
        {"KindWithoutTable", 2, 400, false, kUnknown},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = "previous";
        EXPECT_EQ(CTRansactionError(row.kind, row.status).GetErrorText(text), row.found);
        EXPECT_EQ(text, row.text);
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
        {"OAuthError",
         R"({"error":"invalid_grant","error_description":"refresh token expired"})",
         true,
         {"error : invalid_grant", "error_description : refresh token expired"}},
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
        {"EmptyObject", "{}", true, {}},
        {"HtmlErrorPage", "<html><body>502 Bad Gateway</body></html>", false, {}},
        {"EmptyBody", "", false, {}},
        {"ArrayRoot", R"([{"code":"A"}])", false, {}},
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

TEST(TransactionError, TablesHoldExactlyTheirTexts) {
    EXPECT_EQ(HttpErrorTable(), (std::map<int, std::string>{
                                    {400, "Unauthorized"},
                                    {401, "Unauthorized"},
                                    {403, "Forbidden"},
                                    {404, "Not Found"},
                                    {405, "Method Not Allowed"},
                                    {406, "Not Acceptable (Missing or invalid Accept header)"},
                                    {429, "Too Many Requests"},
                                    {500, "Internal Server Error"},
                                    {501, "Not Implemented"},
                                    {503, "Service Unavailable"},
                                    {504, "Gateway Timeout"}}));
    EXPECT_EQ(SubmitErrorTable(),
              (std::map<int, std::string>{{400, "Bad Request"}, {403, "Forbidden"}}));
    const std::vector<std::string> comm = {"No Error",
                                           "Communication System Initialisation Failed",
                                           "Bad URL",
                                           "Bad Proxy",
                                           "Host address error. Unreachable",
                                           "Unable to Connect to server",
                                           "Bad server response",
                                           "Access to server Denied",
                                           "Sending Error",
                                           "Receive Error",
                                           "SSL Certificate Error",
                                           kUnknown};
    ASSERT_EQ(CommErrorTable().size(), comm.size());
    for (int code = 0; code < 12; ++code)
        EXPECT_EQ(CommErrorText(code), comm[static_cast<std::size_t>(code)]);
    for (const int code : {12, -1, 60})
        EXPECT_EQ(CommErrorText(code), kUnknown);
}
