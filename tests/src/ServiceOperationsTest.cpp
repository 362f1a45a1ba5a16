#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "Log.h"
#include "RecordingServer.h"
#include "TestSupport.h"
#include "Transaction.h"

using namespace calvenor::test;
namespace fs = std::filesystem;

namespace {

// Each operation against a server whose answer the test sets per path prefix.
class ServiceOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        m_transaction.emplace();
        m_transaction->SetServiceBaseUrl(m_server.BaseUrl());
        m_transaction->SetClientCredentials("client-id", "client-secret");
        m_transaction->SetVrn("123456789");
    }

    void Reply(const std::string& pathPrefix, calvenor::test::Answer answer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[pathPrefix] = std::move(answer);
    }

    std::string Log() const { return ReadFile(m_home.LogPath()); }
    fs::path TokenFile() const { return m_home.DataFolder() / "TokDir" / "tokens.tok"; }
    CTransaction& T() { return *m_transaction; }

    int ExchangeCode(const std::string& body, int status = 200) {
        Reply("/oauth/token", Answer::Http(status, "X", {"Content-Type: application/json"}, body));
        T().SetAuthorisationCode("the-code");
        int httpStatus = -1;
        EXPECT_TRUE(T().ExchangeCodeForToken(httpStatus));
        return httpStatus;
    }

    IsolatedHome m_home;
    std::mutex m_mutex;
    std::map<std::string, calvenor::test::Answer> m_answers;
    RecordingServer m_server{[this](const RecordedRequest& request) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [prefix, answer] : m_answers) {
            if (request.target.rfind(prefix, 0) == 0)
                return answer;
        }
        return Answer::Http(500, "Internal Server Error");
    }};
    std::optional<CTransaction> m_transaction;
};

const std::string kTokenAnswer =
    R"({"access_token":"acc-1","refresh_token":"ref-1","expires_in":14400,)"
    R"("token_type":"bearer","scope":"read:vat write:vat"})";

}  // namespace

TEST_F(ServiceOperationsTest, JourneyStartsOnARedirectWithAnHttpsLocation) {
    Reply(
        "/oauth/authorize",
        Answer::Http(302, "Found", {"Location: https://test-www.tax.service.gov.uk/sign-in?x=1"}));
    EXPECT_EQ(T().StartJouney(), 302);
    EXPECT_EQ(T().GetAuthorisationUrl(), "https://test-www.tax.service.gov.uk/sign-in?x=1");
}

TEST_F(ServiceOperationsTest, A303IsReturnedWithoutReadingItsLocation) {
    Reply("/oauth/authorize", Answer::Http(303, "See Other", {"Location: https://h.example/"}));
    EXPECT_EQ(T().StartJouney(), 303);
    EXPECT_EQ(T().GetAuthorisationUrl(), "");
}

TEST_F(ServiceOperationsTest, ARedirectWithoutUsableLocationGivesZero) {
    Reply("/oauth/authorize", Answer::Http(307, "Temporary Redirect"));
    EXPECT_EQ(T().StartJouney(), 0);
    EXPECT_NE(Log().find("CTransaction::StartJouney : Location Fail 0\r\n"), std::string::npos)
        << Log();
    Reply("/oauth/authorize",
          Answer::Http(302, "Found", {"Location: http://elsewhere.example/sign-in"}));
    EXPECT_EQ(T().StartJouney(), 0);
    EXPECT_EQ(T().GetAuthorisationUrl(), "");
}

TEST_F(ServiceOperationsTest, WithoutAConnectionTheJourneyGivesTheCommunicationCode) {
    T().SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(UnusedPort()));
    EXPECT_EQ(T().StartJouney(), 5);
    EXPECT_NE(Log().find("CTransaction::StartJouney : DoTransaction Fail 5\r\n"), std::string::npos)
        << Log();
    int status = -1;
    EXPECT_FALSE(T().ExchangeCodeForToken(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(T().GetCommErrorCode(), 5);
    EXPECT_NE(Log().find("CTransaction::ExchangeCodeForToken : DoTransaction Fail : 5\r\n"),
              std::string::npos);
}

struct TokenAnswerRow {
    const char* name;
    std::string body;
    std::string access;
    std::int32_t expires;
    bool logged;
    friend void PrintTo(const TokenAnswerRow& row, std::ostream* os) { *os << row.name; }
};

class TokenAnswerTest : public ServiceOperationsTest,
                        public ::testing::WithParamInterface<TokenAnswerRow> {};

// None of these answers is a complete token set, so no token file is written.
TEST_P(TokenAnswerTest, AnIncompleteAnswerWritesNoFile) {
    EXPECT_EQ(ExchangeCode(GetParam().body), 200);
    EXPECT_EQ(T().GetAccessToken(), GetParam().access);
    EXPECT_EQ(T().GetExpiresIn(), GetParam().expires);
    EXPECT_FALSE(fs::exists(TokenFile()));
    EXPECT_EQ(Log().find("GetBearerToken Fail ResponseCode =  200") != std::string::npos,
              GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TokenAnswerTest,
    ::testing::Values(
        TokenAnswerRow{"NoRefreshToken", R"({"access_token":"a","expires_in":14400})", "a", 14400,
                       false},
        TokenAnswerRow{"ExpiryAsText",
                       R"({"access_token":"a","refresh_token":"r","expires_in":"14400"})", "a", 0,
                       false},
        TokenAnswerRow{"ExpiryNotAnInteger",
                       R"({"access_token":"a","refresh_token":"r","expires_in":1.5})", "a", 0,
                       false},
        TokenAnswerRow{"ExpiryTooLarge",
                       R"({"access_token":"a","refresh_token":"r","expires_in":4294967296})", "a",
                       0, false},
        TokenAnswerRow{"AccessTokenWithLineBreak",
                       R"({"access_token":"a\r\nX-Evil: 1","expires_in":5})", "", 5, true},
        TokenAnswerRow{"NotJson", "<html>oops</html>", "", 0, true},
        TokenAnswerRow{"DeeplyNested", std::string(100000, '[') + std::string(100000, ']'), "", 0,
                       true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceOperationsTest, ARejectedCodeIsLoggedWithItsStatus) {
    EXPECT_EQ(ExchangeCode(R"({"error":"invalid_request"})", 400), 400);
    EXPECT_NE(
        Log().find(
            "CTransaction::ExchangeCodeForToken : GetBearerToken Fail ResponseCode =  400\r\n"),
        std::string::npos);
    EXPECT_FALSE(fs::exists(TokenFile()));
}

TEST_F(ServiceOperationsTest, ARefusedRefreshGivesTheOAuthError) {
    Reply("/oauth/token",
          Answer::Http(400, "Bad Request", {},
                       R"({"error":"invalid_grant","error_description":"used token"})"));
    std::string access = "unchanged";
    EXPECT_FALSE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(access, "unchanged");
    EXPECT_EQ(T().GetHttpCode(), 400);
    std::string error, description;
    ASSERT_TRUE(T().GetOAuthError(error, description));
    EXPECT_EQ(error, "invalid_grant");
    EXPECT_EQ(description, "used token");

    Reply("/oauth/token", Answer::Http(502, "Bad Gateway", {}, "<html>"));
    EXPECT_FALSE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_FALSE(T().GetOAuthError(error, description));
}

TEST_F(ServiceOperationsTest, ATokenFileThatCannotBeWrittenFailsOnlyTheRefresh) {
    fs::create_directories(TokenFile() / "in-the-way");
    EXPECT_EQ(ExchangeCode(kTokenAnswer), 200);  // still a successful exchange
    EXPECT_EQ(T().GetAccessToken(), "acc-1");
    EXPECT_NE(Log().find("CTransaction::ExchangeCodeForToken : Failed to save token file\r\n"),
              std::string::npos)
        << Log();

    Reply("/oauth/token", Answer::Http(200, "OK", {}, kTokenAnswer));
    std::string access;
    EXPECT_FALSE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(T().GetAccessToken(), "acc-1");  // HMRC's new tokens stay in memory
    EXPECT_NE(
        Log().find("CTransaction::ExchangeRefreshTokenForToken : Failed to save token file\r\n"),
        std::string::npos);
}

TEST_F(ServiceOperationsTest, ATokenFolderThatCannotBeMadeIsLoggedNotThrown) {
    WriteFile(m_home.Root() / "plain-file", "x");
    ScopedEnv data("CALVENOR_DATA_DIR", (m_home.Root() / "plain-file" / "data").string());
    EXPECT_EQ(ExchangeCode(kTokenAnswer), 200);
    EXPECT_NE(Log().find("ExchangeCodeForToken : CToken error: Failed to create token dir\r\n"),
              std::string::npos)
        << Log();
    Reply("/oauth/token", Answer::Http(200, "OK", {}, kTokenAnswer));
    std::string access;
    EXPECT_FALSE(T().ExchangeRefreshTokenForToken(access));
}

TEST_F(ServiceOperationsTest, ATokenWithABarIsKeptButNotStored) {
    EXPECT_EQ(ExchangeCode(R"({"access_token":"a|b","refresh_token":"r","expires_in":60})"), 200);
    EXPECT_EQ(T().GetAccessToken(), "a|b");
    EXPECT_NE(Log().find("Failed to save token file"), std::string::npos);
}

TEST_F(ServiceOperationsTest, AFailedRetrievalLeavesThePreviousList) {
    Reply(
        "/organisations/vat/123456789/obligations",
        Answer::Http(
            200, "OK", {},
            R"({"obligations":[{"start":"s","end":"e","due":"d","status":"O","periodKey":"K"}]})"));
    ASSERT_TRUE(T().RetrieveObligations());
    Reply("/organisations/vat/123456789/obligations", Answer::Http(403, "Forbidden", {}, "{}"));
    EXPECT_FALSE(T().RetrieveObligations());
    EXPECT_NE(Log().find("CTransaction::RetrieveObligations : ResponseCode Fail =  403\r\n"),
              std::string::npos);
    ASSERT_EQ(T().GetObligations().size(), 1u);

    T().SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(UnusedPort()));
    EXPECT_FALSE(T().RetrieveObligations());
    EXPECT_EQ(T().GetCommErrorCode(), 5);
    EXPECT_NE(Log().find("CTransaction::RetrieveObligations : DoTransaction Fail : 5\r\n"),
              std::string::npos);
    EXPECT_EQ(T().GetObligations().size(), 1u);

    T().ResetTransport();
    T().SetServiceBaseUrl(m_server.BaseUrl());
    Reply("/organisations/vat/123456789/obligations", Answer::Http(200, "OK", {}, "not json"));
    EXPECT_FALSE(T().RetrieveObligations());  // an unusable body is a failure, not "no periods"
    EXPECT_NE(Log().find("CTransaction::RetrieveObligations : Unusable obligations answer\r\n"),
              std::string::npos);
    EXPECT_EQ(T().GetObligations().size(), 1u);
    Reply("/organisations/vat/123456789/obligations",
          Answer::Http(200, "OK", {}, "{\"obligations\":[]}"));
    EXPECT_TRUE(T().RetrieveObligations());  // works again after the reset
    EXPECT_TRUE(T().GetObligations().empty());
}

TEST_F(ServiceOperationsTest, AnAcceptedReturnGivesTheTenReceiptLines) {
    Reply("/organisations/vat/123456789/returns",
          Answer::Http(
              201, "Created",
              {"X-CorrelationId: corr-1", "Receipt-ID: rec-9",
               "Receipt-Timestamp: 2023-08-01T10:00:00.000Z"},
              R"({"processingDate":"2023-08-01T10:00:00.000Z","formBundleNumber":"256660290587",)"
              R"("paymentIndicator":"DD","chargeRefNumber":"aCxFaNx0FZsCvyWF"})"));
    T().SetReturnBody("{}");
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_EQ(status, 201);
    EXPECT_EQ(T().GetReceiptLines(),
              (std::vector<std::string>{
                  "Submisssion Successful", "", "Correlation Id : corr-1", "Receipt Id : rec-9",
                  "Receipt Timestamp : 2023-08-01T10:00:00.000Z",
                  "Processing Date : 2023-08-01T10:00:00.000Z", "Form Bundle Number : 256660290587",
                  "Payment Indicator : DD",
                  "(Note DD means VAT is owed and HMRC holds a Direct Debit Instruction)",
                  "Charge Ref Number : aCxFaNx0FZsCvyWF"}));
}

struct ReceiptRow {
    const char* name;
    std::vector<std::string> headers;
    std::string body;
    std::vector<std::string> lines;
    friend void PrintTo(const ReceiptRow& row, std::ostream* os) { *os << row.name; }
};

class AcceptedReceiptTest : public ServiceOperationsTest,
                            public ::testing::WithParamInterface<ReceiptRow> {};

TEST_P(AcceptedReceiptTest, BuildsTheSuccessReceipt) {
    Reply("/organisations/vat/123456789/returns",
          Answer::Http(201, "Created", GetParam().headers, GetParam().body));
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_EQ(T().GetReceiptLines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AcceptedReceiptTest,
    ::testing::Values(
        ReceiptRow{"NotJsonGivesTheFirstFiveLines",
                   {"x-correlationid: c", "receipt-id: r", "receipt-timestamp: t"},
                   "<html>",
                   {"Submisssion Successful", "", "Correlation Id : c", "Receipt Id : r",
                    "Receipt Timestamp : t"}},
        ReceiptRow{"MissingHeadersGiveTheLabelsAlone",
                   {},
                   R"({"paymentIndicator":"BANK"})",
                   {"Submisssion Successful", "", "Correlation Id ", "Receipt Id ",
                    "Receipt Timestamp ", "Payment Indicator : BANK",
                    "(Note BANK means VAT is recliamed and HMRC holds your bank data)"}},
        ReceiptRow{"AnyOtherIndicatorGivesTheBankNote",
                   {},
                   R"({"paymentIndicator":"","formBundleNumber":7})",
                   {"Submisssion Successful", "", "Correlation Id ", "Receipt Id ",
                    "Receipt Timestamp ", "Payment Indicator : ",
                    "(Note BANK means VAT is recliamed and HMRC holds your bank data)"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RejectionRow {
    const char* name;
    int status;
    std::string body;
    std::vector<std::string> tail;  // from line 5 on
    friend void PrintTo(const RejectionRow& row, std::ostream* os) { *os << row.name; }
};

class RejectedReceiptTest : public ServiceOperationsTest,
                            public ::testing::WithParamInterface<RejectionRow> {};

TEST_P(RejectedReceiptTest, BuildsTheFailureReceipt) {
    Reply("/organisations/vat/123456789/returns",
          Answer::Http(GetParam().status, "X", {"Date: Tue, 01 Aug 2023 10:00:00 GMT"},
                       GetParam().body));
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_EQ(status, GetParam().status);
    std::vector<std::string> expected = {"Submisssion FAILED", "",
                                         "Submission Date : Tue, 01 Aug 2023 10:00:00 GMT", ""};
    expected.insert(expected.end(), GetParam().tail.begin(), GetParam().tail.end());
    EXPECT_EQ(T().GetReceiptLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RejectedReceiptTest,
    ::testing::Values(
        RejectionRow{
            "BadRequest",
            400,
            R"({"code":"INVALID_REQUEST","message":"Invalid request","errors":[)"
            R"({"code":"INVALID_MONETARY_AMOUNT","message":"m","path":"/vatDueSales"}]})",
            {"Bad Request", "", "code : INVALID_REQUEST", "message : Invalid request",
             "\tcode : INVALID_MONETARY_AMOUNT", "\tmessage : m", "\tpath : /vatDueSales"}},
        RejectionRow{
            "Duplicate",
            403,
            R"({"code":"DUPLICATE_SUBMISSION","message":"The VAT return was already submitted"})",
            {"Forbidden", "", "code : DUPLICATE_SUBMISSION",
             "message : The VAT return was already submitted"}},
        RejectionRow{"OkIsNotAccepted", 200, "{}", {"An Unknown Error Occurred", ""}},
        RejectionRow{"Unprocessable", 422, "<html>", {"An Unknown Error Occurred", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceOperationsTest, AFailedSubmissionLeavesThePreviousReceipt) {
    Reply("/organisations/vat/123456789/returns", Answer::Http(201, "Created"));
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    const auto receipt = T().GetReceiptLines();
    calvenor::test::Answer drop;
    drop.close = true;
    Reply("/organisations/vat/123456789/returns", drop);
    status = -1;
    EXPECT_FALSE(T().SubmitReturn(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(T().GetCommErrorCode(), 11);  // nothing came back
    EXPECT_NE(Log().find("CTransaction::SubmitReturn : DoTransaction Fail : 11\r\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(T().GetReceiptLines(), receipt);
}

// A submission whose connection dies after the return went out is sent exactly once.
TEST_F(ServiceOperationsTest, ASubmissionWhoseConnectionDropsIsSentOnce) {
    Reply("/organisations/vat/123456789/obligations",
          Answer::Http(200, "OK", {}, R"({"obligations":[]})"));
    calvenor::test::Answer drop;
    drop.close = true;
    Reply("/organisations/vat/123456789/returns", drop);
    ASSERT_TRUE(T().RetrieveObligations());  // leaves a connection to reuse
    T().SetReturnBody(R"({"periodKey":"K"})");
    int status = 0;
    EXPECT_FALSE(T().SubmitReturn(status));
    int posts = 0;
    for (const auto& request : m_server.Requests())
        posts += request.method == "POST";
    EXPECT_EQ(posts, 1);
}

TEST_F(ServiceOperationsTest, NoSecretTokenOrCodeReachesTheLog) {
    T().SetClientCredentials("client-id", "very-secret-value");
    ExchangeCode(R"({"access_token":"access-xyz","refresh_token":"refresh-xyz","expires_in":60})");
    T().SetStoredRefreshToken("refresh-xyz");
    Reply("/oauth/token", Answer::Http(400, "Bad Request", {}, R"({"error":"invalid_grant"})"));
    std::string access;
    T().ExchangeRefreshTokenForToken(access);
    Reply("/organisations/vat/123456789/obligations", Answer::Http(403, "Forbidden"));
    T().RetrieveObligations();
    T().SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(UnusedPort()));
    T().StartJouney();
    int status = 0;
    T().ExchangeCodeForToken(status);
    const std::string log = Log();
    EXPECT_FALSE(log.empty());
    for (const char* secret : {"very-secret-value", "the-code", "access-xyz", "refresh-xyz"}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << "\n" << log;
    }
}
