#include "TransactionError.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct TextRow {
    const char* name;
    int kind;
    int status;
    bool found;
    std::string text;
    friend void PrintTo(const TextRow& row, std::ostream* os) { *os << row.name; }
};

class ErrorTextTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(ErrorTextTest, LooksTheStatusUpInTheKindsTable) {
    const CTRansactionError error(GetParam().kind, GetParam().status);
    std::string text = "previous";
    EXPECT_EQ(error.GetErrorText(text), GetParam().found);
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ErrorTextTest,
    ::testing::Values(
        TextRow{"AuthorisationBadRequestReadsUnauthorized", 0, 400, true, "Unauthorized"},
        TextRow{"AuthorisationNotAcceptable", 0, 406, true,
                "Not Acceptable (Missing or invalid Accept header)"},
        TextRow{"AuthorisationPaymentRequiredIsUnknown", 0, 402, false,
                "An Unknown Error Occurred"},
        TextRow{"AuthorisationCommunicationCodeIsUnknown", 0, 5, false,
                "An Unknown Error Occurred"},
        TextRow{"CodeExchangeGatewayTimeout", 1, 504, true, "Gateway Timeout"},
        TextRow{"CodeExchangeTooManyRequests", 1, 429, true, "Too Many Requests"},
        TextRow{"SubmissionBadRequest", 3, 400, true, "Bad Request"},
        TextRow{"SubmissionForbidden", 3, 403, true, "Forbidden"},
        TextRow{"SubmissionNotFoundIsUnknown", 3, 404, false, "An Unknown Error Occurred"},
        TextRow{"SubmissionUnprocessableIsUnknown", 3, 422, false, "An Unknown Error Occurred"},
        TextRow{"KindWithoutTable", 2, 400, false, "An Unknown Error Occurred"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DecodeRow {
    const char* name;
    std::string body;
    bool decoded;
    std::vector<std::string> lines;
    friend void PrintTo(const DecodeRow& row, std::ostream* os) { *os << row.name; }
};

class DecodeTest : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(DecodeTest, TurnsTheBodyIntoLines) {
    CTRansactionError error(3, 400);
    EXPECT_EQ(error.Decode(GetParam().body), GetParam().decoded);
    EXPECT_EQ(error.GetErrorLines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DecodeTest,
    ::testing::Values(
        DecodeRow{"OAuthError",
                  R"({"error":"invalid_grant","error_description":"refresh token expired"})",
                  true,
                  {"error : invalid_grant", "error_description : refresh token expired"}},
        DecodeRow{
            "ApiErrorWithNestedErrors",
            R"({"code":"INVALID_REQUEST","message":"Invalid request","errors":[)"
            R"({"code":"INVALID_MONETARY_AMOUNT","message":"amount too big","path":"/vatDueSales"},)"
            R"({"path":"/netVatDue","message":"m2","code":"NET_VAT_DUE"}]})",
            true,
            {"code : INVALID_REQUEST", "message : Invalid request",
             "\tcode : INVALID_MONETARY_AMOUNT", "\tmessage : amount too big",
             "\tpath : /vatDueSales", "\tcode : NET_VAT_DUE", "\tmessage : m2",
             "\tpath : /netVatDue"}},
        DecodeRow{"MembersInTheirFixedOrder",
                  R"({"message":"m","code":"C","error_description":"d","error":"e"})",
                  true,
                  {"error : e", "error_description : d", "code : C", "message : m"}},
        DecodeRow{"ErrorsAsAnObjectGivesTopLevelOnly",
                  R"({"code":"C","errors":{"code":"X"}})",
                  true,
                  {"code : C"}},
        DecodeRow{"NumericCodeIsSkipped",
                  R"({"code":403,"message":"Forbidden"})",
                  true,
                  {"message : Forbidden"}},
        DecodeRow{"NonObjectElementsAreSkipped",
                  R"({"errors":[1,"x",{"code":"A"}]})",
                  true,
                  {"\tcode : A"}},
        DecodeRow{"EmptyObject", "{}", true, {}},
        DecodeRow{"HtmlErrorPage", "<html><body>502 Bad Gateway</body></html>", false, {}},
        DecodeRow{"EmptyBody", "", false, {}},
        DecodeRow{"ArrayRoot", R"([{"code":"A"}])", false, {}},
        DecodeRow{"TruncatedJson", R"({"code":"A")", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

TEST(TransactionError, DeeplyNestedBodyDoesNotCrash) {
    const std::string deep =
        "{\"errors\":[" + std::string(200000, '[') + std::string(200000, ']') + "]}";
    CTRansactionError error(3, 400);
    EXPECT_TRUE(error.Decode(deep));
    EXPECT_TRUE(error.GetErrorLines().empty());
}

TEST(TransactionError, DecodeStartsFromNoLines) {
    CTRansactionError error(1, 400);
    ASSERT_TRUE(error.Decode(R"({"error":"a"})"));
    EXPECT_FALSE(error.Decode("not json"));
    EXPECT_TRUE(error.GetErrorLines().empty());
}

TEST(TransactionError, TablesHoldExactlyTheirRows) {
    EXPECT_EQ(HttpErrorTable().size(), 11u);
    EXPECT_EQ(HttpErrorTable().at(401), "Unauthorized");
    EXPECT_EQ(HttpErrorTable().at(500), "Internal Server Error");
    EXPECT_EQ(HttpErrorTable().at(501), "Not Implemented");
    EXPECT_EQ(HttpErrorTable().at(503), "Service Unavailable");
    EXPECT_EQ(HttpErrorTable().at(404), "Not Found");
    EXPECT_EQ(HttpErrorTable().at(405), "Method Not Allowed");
    EXPECT_EQ(SubmitErrorTable().size(), 2u);
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
                                           "An Unknown Error Occurred"};
    ASSERT_EQ(CommErrorTable().size(), comm.size());
    for (int code = 0; code < 12; ++code)
        EXPECT_EQ(CommErrorText(code), comm[static_cast<std::size_t>(code)]);
    EXPECT_EQ(CommErrorText(12), "An Unknown Error Occurred");
    EXPECT_EQ(CommErrorText(-1), "An Unknown Error Occurred");
    EXPECT_EQ(CommErrorText(60), "An Unknown Error Occurred");
}
