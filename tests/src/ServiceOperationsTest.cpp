// Each HMRC operation of the service object against a server that records every request and
// answers as the test tells it: the request forms HMRC receives, and how every kind of
// answer ends up in tokens, obligations, receipts and the log.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "Log.h"
#include "RecordingServer.h"
#include "TestSupport.h"
#include "Transaction.h"

using namespace calvenor::test;
using calvenor::sandbox::CRecordingServer;
namespace fs = std::filesystem;

namespace {

// An answer the test gives: status, "Name: value" lines and body, or none at all.
struct Answer {
    int status = 200;
    std::vector<std::string> headers;
    std::string body;
    bool drop = false;  // handled, but the connection is shut down without an answer

    static Answer Http(int status, const std::string& /*reason*/,
                       const std::vector<std::string>& headers = {}, const std::string& body = {}) {
        return {status, headers, body};
    }
    void Give(httplib::Response& res) const {
        if (drop)
            return CRecordingServer::DropAnswer();
        res.status = status;
        std::string type = "text/plain";
        for (const auto& line : headers) {
            const std::string name = line.substr(0, line.find(':'));
            if (name == "Content-Type")
                type = line.substr(name.size() + 2);
            else
                res.set_header(name, line.substr(name.size() + 2));
        }
        if (!body.empty())
            res.set_content(body, type);
    }
};

// Every request to `server` gets what `answer` says.
void AnswerAll(CRecordingServer& server, std::function<Answer(const httplib::Request&)> answer) {
    const auto handler = [answer](const httplib::Request& req, httplib::Response& res) {
        answer(req).Give(res);
    };
    server.Http().Get(".*", handler).Post(".*", handler);
    EXPECT_TRUE(server.Start());
}

const std::string kObligationsPath = "/organisations/vat/123456789/obligations";
const std::string kReturnsPath = "/organisations/vat/123456789/returns";
const std::string kTokenAnswer =
    R"({"access_token":"acc-1","refresh_token":"ref-1","expires_in":14400,)"
    R"("token_type":"bearer","scope":"read:vat write:vat"})";

std::string DeadUrl() {
    return "http://127.0.0.1:1";  // nothing listens on port 1
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// By default the server issues a token set, lists no obligations and accepts a return; any
// other path gets a 500.
class TransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        AnswerAll(m_server, [this](const httplib::Request& request) {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& [prefix, answer] : m_answers) {
                if (request.target.rfind(prefix, 0) == 0)
                    return answer;
            }
            return Answer::Http(500, "Internal Server Error");
        });
        Reply("/oauth/token",
              Answer::Http(200, "OK", {"Content-Type: application/json"}, kTokenAnswer));
        Reply(kObligationsPath, Answer::Http(200, "OK", {}, R"({"obligations":[]})"));
        Reply(kReturnsPath, Answer::Http(201, "Created"));
        Renew(m_server.BaseUrl());
    }

    // A fresh service object (one transport at a time) for `baseUrl`.
    void Renew(const std::string& baseUrl) {
        m_transaction.reset();
        m_transaction.emplace();
        T().SetServiceBaseUrl(baseUrl);
        T().SetClientCredentials("client-id", "client-secret");
        T().SetVrn("123456789");
    }

    void Reply(const std::string& pathPrefix, Answer answer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[pathPrefix] = std::move(answer);
    }

    int ExchangeCode(const std::string& body, int status = 200) {
        Reply("/oauth/token", Answer::Http(status, "X", {"Content-Type: application/json"}, body));
        T().SetAuthorisationCode("the-code");
        int httpStatus = -1;
        EXPECT_TRUE(T().ExchangeCodeForToken(httpStatus));
        return httpStatus;
    }

    bool Logged(const std::string& text) const {
        return ReadFile(m_home.LogPath()).find(text) != std::string::npos;
    }
    fs::path TokenFile() const { return m_home.DataFolder() / "TokDir" / "tokens.tok"; }
    std::string Host() const { return "Host: 127.0.0.1:" + std::to_string(m_server.Port()); }
    CTransaction& T() { return *m_transaction; }

    IsolatedHome m_home;
    std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    CRecordingServer m_server;
    std::optional<CTransaction> m_transaction;
};

}  // namespace

// ---- Request forms ----

TEST_F(TransactionTest, AuthorisationAndTokenRequestsEncodeEveryValueSoNoneCanAddParameters) {
    T().SetClientCredentials("id&x=1", "se&cr=et+ /");
    T().StartJouney();
    T().SetAuthorisationCode("abc&grant_type=refresh_token");
    int status = 0;
    ASSERT_TRUE(T().ExchangeCodeForToken(status));
    T().SetStoredRefreshToken("r=1&s");
    std::string access;
    T().ExchangeRefreshTokenForToken(access);

    const auto requests = m_server.Received();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target,
              "/oauth/authorize?response_type=code&client_id=id%26x%3D1&scope=read:vat+write:vat"
              "&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
    EXPECT_EQ(requests[0].headerLines, (std::vector<std::string>{"Accept: */*", Host()}));
    EXPECT_EQ(requests[0].body, "");
    const std::string bodies[] = {
        "client_secret=se%26cr%3Det%2B%20%2F&client_id=id%26x%3D1&grant_type=authorization_code"
        "&redirect_uri=urn:ietf:wg:oauth:2.0:oob&code=abc%26grant_type%3Drefresh_token",
        "client_secret=se%26cr%3Det%2B%20%2F&client_id=id%26x%3D1&grant_type=refresh_token"
        "&refresh_token=r%3D1%26s"};
    for (int i = 0; i < 2; ++i) {
        const auto& request = requests[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/oauth/token");
        EXPECT_EQ(request.body, bodies[i]);
        EXPECT_EQ(request.headerLines,
                  (std::vector<std::string>{
                      "Accept: */*", "Content-Length: " + std::to_string(bodies[i].size()),
                      "Content-Type: application/x-www-form-urlencoded", Host()}));
    }
}

TEST_F(TransactionTest, VatRequestsCarryTheApiHeadersInOrderWithTheRightToken) {
    ASSERT_EQ(ExchangeCode(kTokenAnswer), 200);
    // The lines in the order handed to libcurl; on the wire libcurl adds only Host (and the
    // length of a body).
    const auto apiLines = [this](const std::string& token) {
        return Concat({"Accept: application/vnd.hmrc.1.0+json", "Content-Type: application/json",
                       "Authorization: Bearer " + token},
                      T().GetFraudHeaderLines());
    };
    ASSERT_TRUE(T().RetrieveObligations());
    auto request = m_server.Received().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, kObligationsPath + "?status=O");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(T().GetTransport().GetSentHeaderLines(), apiLines("acc-1"));
    EXPECT_EQ(request.headerLines.size(), apiLines("acc-1").size() + 1);
    EXPECT_EQ(request.Header("Host"), Host().substr(6));
    EXPECT_EQ(T().GetObligationsUrl(), m_server.BaseUrl() + kObligationsPath + "?status=O");

    // A filer authorised by refresh presents the token handed over for obligations; the
    // submission always presents the access token.
    T().SetAuthorisedByRefresh(true);
    T().SetAuthorisationCode("refreshed-access");
    ASSERT_TRUE(T().RetrieveObligations());
    EXPECT_EQ(m_server.Received().back().Header("Authorization"), "Bearer refreshed-access");
    const std::string body = R"({"periodKey":"18A1","finalised":true})";
    T().SetReturnBody(body);
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_EQ(status, 201);
    request = m_server.Received().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, kReturnsPath);
    EXPECT_EQ(request.body, body);
    EXPECT_EQ(T().GetTransport().GetSentHeaderLines(), apiLines("acc-1"));
    EXPECT_EQ(request.headerLines.size(), apiLines("acc-1").size() + 2);
    EXPECT_EQ(request.Header("Content-Length"), std::to_string(body.size()));
}

TEST_F(TransactionTest, OnlyTheTestServiceGetsTheScenarioLineAndOnlyOnObligations) {
    Reply("/test-api" + kObligationsPath, Answer::Http(200, "OK", {}, R"({"obligations":[]})"));
    Reply("/test-api" + kReturnsPath, Answer::Http(201, "Created"));
    Renew(m_server.BaseUrl() + "/test-api");
    T().SetReturnBody("{}");
    ASSERT_TRUE(T().RetrieveObligations());
    EXPECT_EQ(T().GetTransport().GetSentHeaderLines().back(),
              "Gov-Test-Scenario: QUARTERLY_TWO_MET");
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    const auto requests = m_server.Received();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/test-api" + kObligationsPath + "?status=O");
    EXPECT_FALSE(requests[1].Header("Gov-Test-Scenario"));
}

// Whatever an operation's outcome, the transport is left in GET mode: the next request (an
// authorisation request) is a GET without body.
TEST(TransactionTransport, EveryOperationLeavesItInGetMode) {
    const std::pair<const char*, std::function<void(CTransaction&)>> operations[] = {
        {"CodeExchange",
         [](CTransaction& t) {
             int status = 0;
             t.ExchangeCodeForToken(status);
         }},
        {"Refresh",
         [](CTransaction& t) {
             std::string access;
             t.ExchangeRefreshTokenForToken(access);
         }},
        {"Obligations", [](CTransaction& t) { t.RetrieveObligations(); }},
        {"Submission",
         [](CTransaction& t) {
             int status = 0;
             t.SubmitReturn(status);
         }},
        {"Journey", [](CTransaction& t) { t.StartJouney(); }}};
    for (const auto& [name, run] : operations) {
        for (const bool serverUp : {true, false}) {
            SCOPED_TRACE(std::string(name) + (serverUp ? " answered" : " without connection"));
            IsolatedHome home;
            CLog::ResetForTesting();
            CRecordingServer server;
            AnswerAll(server, [](const httplib::Request&) {
                return Answer::Http(400, "Bad Request", {}, "{}");
            });
            CTransaction transaction;
            transaction.SetClientCredentials("id", "secret");
            transaction.SetReturnBody("{}");
            transaction.SetServiceBaseUrl(serverUp ? server.BaseUrl() : DeadUrl());
            run(transaction);
            EXPECT_FALSE(transaction.GetTransport().IsPostMode());
            transaction.SetServiceBaseUrl(server.BaseUrl());
            transaction.StartJouney();
            const auto requests = server.Received();
            ASSERT_FALSE(requests.empty());
            EXPECT_EQ(requests.back().method, "GET");
            EXPECT_EQ(requests.back().body, "");
        }
    }
}

// ---- Answers ----

TEST_F(TransactionTest, TheJourneyKeepsOnlyAnHttpsSignInAddressFromARedirect) {
    struct Row {
        const char* name;
        Answer answer;
        bool connected;
        int result;
        std::string url, log;
    };
    const Row rows[] = {
        {"RedirectToHttps",
         Answer::Http(302, "Found", {"Location: https://test-www.tax.service.gov.uk/sign-in?x=1"}),
         true, 302, "https://test-www.tax.service.gov.uk/sign-in?x=1", ""},
        {"SeeOtherIsNotFollowed", Answer::Http(303, "See Other", {"Location: https://h.example/"}),
         true, 303, "", ""},
        {"RedirectWithoutLocation", Answer::Http(307, "Temporary Redirect"), true, 0, "",
         "CTransaction::StartJouney : Location Fail 0\r\n"},
        {"RedirectToPlainHttp",
         Answer::Http(302, "Found", {"Location: http://elsewhere.example/sign-in"}), true, 0, "",
         ""},
        // The sign-in page itself: the address asked is the one to open.
        {"SignInPageServedDirectly", Answer::Http(200, "OK", {}, "<html>Sign in</html>"), true, 200,
         m_server.BaseUrl() +
             "/oauth/authorize?response_type=code&client_id=client-id&scope=read:vat+write:vat"
             "&redirect_uri=urn:ietf:wg:oauth:2.0:oob",
         ""},
        {"NoConnection", {}, false, 5, "", "CTransaction::StartJouney : DoTransaction Fail 5\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reply("/oauth/authorize", row.answer);
        Renew(row.connected ? m_server.BaseUrl() : DeadUrl());
        EXPECT_EQ(T().StartJouney(), row.result);
        EXPECT_EQ(T().GetAuthorisationUrl(), row.url);
        if (!row.log.empty()) {
            EXPECT_TRUE(Logged(row.log)) << ReadFile(m_home.LogPath());
        }
    }
}

// None of these answers is a complete token set that can be stored, so the token file keeps the
// set of the exchange before; an answer that issued no access token leaves that set in use.
TEST_F(TransactionTest, AnIncompleteOrRefusedTokenAnswerStoresNothing) {
    const std::string notIssued =
        "CTransaction::ExchangeCodeForToken : GetBearerToken Fail ResponseCode =  ";
    struct Row {
        const char* name;
        std::string body;
        int status;
        std::string access;  // the access token in use after the answer
        std::int32_t expires;
        std::string log;  // empty: the exchange must not be logged as failed
    };
    const Row rows[] = {
        {"NoRefreshToken", R"({"access_token":"a","expires_in":14400})", 200, "a", 14400, ""},
        {"ExpiryAsText", R"({"access_token":"a","refresh_token":"r","expires_in":"14400"})", 200,
         "a", 0, ""},
        {"ExpiryNotAnInteger", R"({"access_token":"a","refresh_token":"r","expires_in":1.5})", 200,
         "a", 0, ""},
        {"ExpiryTooLarge", R"({"access_token":"a","refresh_token":"r","expires_in":4294967296})",
         200, "a", 0, ""},
        {"TokenWithABarIsKeptButNotStored",
         R"({"access_token":"a|b","refresh_token":"r","expires_in":60})", 200, "a|b", 60,
         "Failed to save token file"},
        {"AccessTokenWithLineBreak", R"({"access_token":"a\r\nX-Evil: 1","expires_in":5})", 200,
         "acc-1", 14400, notIssued + "200\r\n"},
        {"NotJson", "<html>oops</html>", 200, "acc-1", 14400, notIssued + "200\r\n"},
        {"DeeplyNested", std::string(100000, '[') + std::string(100000, ']'), 200, "acc-1", 14400,
         notIssued + "200\r\n"},
        {"Rejected", R"({"error":"invalid_request"})", 400, "acc-1", 14400, notIssued + "400\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Renew(m_server.BaseUrl());
        ASSERT_EQ(ExchangeCode(kTokenAnswer), 200);
        CLog::ResetForTesting();
        fs::remove(m_home.LogPath());
        EXPECT_EQ(ExchangeCode(row.body, row.status), row.status);
        EXPECT_EQ(T().GetAccessToken(), row.access);
        EXPECT_EQ(T().GetExpiresIn(), row.expires);
        EXPECT_EQ(ReadFile(TokenFile()), "acc-1|ref-1|14400");
        EXPECT_EQ(Logged(row.log.empty() ? "GetBearerToken Fail" : row.log), !row.log.empty())
            << ReadFile(m_home.LogPath());
    }
}

TEST_F(TransactionTest, ARefusedRefreshGivesTheOAuthErrorAndKeepsTheAccessToken) {
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

// Tokens HMRC issued are in use for the run even when the token file cannot take them; the
// service object says which file and why, so the agent can be told the next start needs a sign-in.
TEST_F(TransactionTest, TokensThatCannotBeStoredStayInUseAndTheReasonIsKept) {
    const std::string renewed =
        R"({"access_token":"acc-2","refresh_token":"ref-2","expires_in":60})";
    fs::create_directories(TokenFile() / "in-the-way");
    EXPECT_EQ(ExchangeCode(kTokenAnswer), 200);
    EXPECT_EQ(T().GetAccessToken(), "acc-1");
    EXPECT_TRUE(T().GetTokenStoreFailure().starts_with(TokenFile().string() + ": cannot "))
        << T().GetTokenStoreFailure();
    EXPECT_TRUE(Logged("CTransaction::ExchangeCodeForToken : Failed to save token file\r\n"));
    Reply("/oauth/token", Answer::Http(200, "OK", {}, renewed));
    std::string access;
    EXPECT_TRUE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(access, "acc-2");
    EXPECT_EQ(T().GetAccessToken(), "acc-2");
    EXPECT_TRUE(T().GetTokenStoreFailure().starts_with(TokenFile().string() + ": cannot "));
    EXPECT_TRUE(
        Logged("CTransaction::ExchangeRefreshTokenForToken : Failed to save token file\r\n"));

    WriteFile(m_home.Root() / "plain-file", "x");
    const fs::path data = m_home.Root() / "plain-file" / "data";
    ScopedEnv dataEnv("CALVENOR_DATA_DIR", data.string());
    EXPECT_EQ(ExchangeCode(kTokenAnswer), 200);
    EXPECT_TRUE(Logged("ExchangeCodeForToken : CToken error: Failed to create token dir\r\n"));
    Reply("/oauth/token", Answer::Http(200, "OK", {}, renewed));
    EXPECT_TRUE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(T().GetTokenStoreFailure(),
              (data / "TokDir" / "tokens.tok").string() + ": its folder cannot be made");
    // A refused renewal keeps the tokens in use and has nothing to store.
    Reply("/oauth/token", Answer::Http(400, "Bad Request", {}, R"({"error":"invalid_grant"})"));
    EXPECT_FALSE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(T().GetAccessToken(), "acc-2");
    EXPECT_TRUE(T().GetTokenStoreFailure().empty());
}

TEST_F(TransactionTest, AFailedRetrievalLeavesThePreviousList) {
    Reply(
        kObligationsPath,
        Answer::Http(
            200, "OK", {},
            R"({"obligations":[{"start":"s","end":"e","due":"d","status":"O","periodKey":"K"}]})"));
    ASSERT_TRUE(T().RetrieveObligations());
    Reply(kObligationsPath, Answer::Http(403, "Forbidden", {}, "{}"));
    EXPECT_FALSE(T().RetrieveObligations());
    EXPECT_TRUE(Logged("CTransaction::RetrieveObligations : ResponseCode Fail =  403\r\n"));
    ASSERT_EQ(T().GetObligations().size(), 1u);

    T().SetServiceBaseUrl(DeadUrl());
    EXPECT_FALSE(T().RetrieveObligations());
    EXPECT_EQ(T().GetCommErrorCode(), 5);
    EXPECT_TRUE(Logged("CTransaction::RetrieveObligations : DoTransaction Fail : 5\r\n"));
    EXPECT_EQ(T().GetObligations().size(), 1u);

    T().ResetTransport();
    T().SetServiceBaseUrl(m_server.BaseUrl());
    Reply(kObligationsPath, Answer::Http(200, "OK", {}, "not json"));
    EXPECT_FALSE(T().RetrieveObligations());  // an unusable body is a failure, not "no periods"
    EXPECT_TRUE(Logged("CTransaction::RetrieveObligations : Unusable obligations answer\r\n"));
    EXPECT_EQ(T().GetObligations().size(), 1u);
    Reply(kObligationsPath, Answer::Http(200, "OK", {}, "{\"obligations\":[]}"));
    EXPECT_TRUE(T().RetrieveObligations());  // works again after the reset
    EXPECT_TRUE(T().GetObligations().empty());
}

TEST_F(TransactionTest, EverySubmissionAnswerGivesItsReceipt) {
    const auto failed = [](std::vector<std::string> tail) {
        return Concat(
            {"Submisssion FAILED", "", "Submission Date : Tue, 01 Aug 2023 10:00:00 GMT", ""},
            tail);
    };
    const std::vector<std::string> dated = {"Date: Tue, 01 Aug 2023 10:00:00 GMT"};
    const std::string bankNote = "(Note BANK means VAT is recliamed and HMRC holds your bank data)";
    struct Row {
        const char* name;
        int status;
        std::vector<std::string> headers;
        std::string body;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"AcceptedGivesTenLines",
         201,
         {"X-CorrelationId: corr-1", "Receipt-ID: rec-9",
          "Receipt-Timestamp: 2023-08-01T10:00:00.000Z"},
         R"({"processingDate":"2023-08-01T10:00:00.000Z","formBundleNumber":"256660290587",)"
         R"("paymentIndicator":"DD","chargeRefNumber":"aCxFaNx0FZsCvyWF"})",
         {"Submisssion Successful", "", "Correlation Id : corr-1", "Receipt Id : rec-9",
          "Receipt Timestamp : 2023-08-01T10:00:00.000Z",
          "Processing Date : 2023-08-01T10:00:00.000Z", "Form Bundle Number : 256660290587",
          "Payment Indicator : DD",
          "(Note DD means VAT is owed and HMRC holds a Direct Debit Instruction)",
          "Charge Ref Number : aCxFaNx0FZsCvyWF"}},
        {"AcceptedNotJsonGivesTheHeadersAndSaysTheReceiptIdIsTheProof",
         201,
         {"x-correlationid: c", "receipt-id: r", "receipt-timestamp: t"},
         "<html>",
         {"Submisssion Successful", "", "Correlation Id : c", "Receipt Id : r",
          "Receipt Timestamp : t",
          "HMRC's answer arrived incomplete: the Receipt Id above is the proof that this return "
          "was filed."}},
        {"AcceptedWithoutHeadersGivesTheLabelsAlone",
         201,
         {},
         R"({"paymentIndicator":"BANK"})",
         {"Submisssion Successful", "", "Correlation Id ", "Receipt Id ", "Receipt Timestamp ",
          "Payment Indicator : BANK", bankNote}},
        {"AcceptedWithAnyOtherIndicatorGivesTheBankNote",
         201,
         {},
         R"({"paymentIndicator":"","formBundleNumber":7})",
         {"Submisssion Successful", "", "Correlation Id ", "Receipt Id ", "Receipt Timestamp ",
          "Payment Indicator : ", bankNote}},
        {"BadRequest", 400, dated,
         R"({"code":"INVALID_REQUEST","message":"Invalid request","errors":[)"
         R"({"code":"INVALID_MONETARY_AMOUNT","message":"m","path":"/vatDueSales"}]})",
         failed({"Bad Request", "", "code : INVALID_REQUEST", "message : Invalid request",
                 "\tcode : INVALID_MONETARY_AMOUNT", "\tmessage : m", "\tpath : /vatDueSales"})},
        {"OkIsNotAccepted", 200, dated, "<html>", failed({"An Unknown Error Occurred", ""})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reply(kReturnsPath, Answer::Http(row.status, "X", row.headers, row.body));
        int status = 0;
        ASSERT_TRUE(T().SubmitReturn(status));
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(T().GetReceiptLines(), row.lines);
    }
}

// A submission never reuses a connection (other requests may), so one whose connection dies after
// the return went out is sent exactly once; it is reported as not reaching HMRC and leaves the
// previous receipt.
TEST_F(TransactionTest, ASubmissionIsSentOnceOnAFreshConnection) {
    ASSERT_TRUE(T().RetrieveObligations());
    ASSERT_TRUE(T().RetrieveObligations());
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    const auto receipt = T().GetReceiptLines();
    Answer drop;
    drop.drop = true;
    Reply(kReturnsPath, drop);
    ASSERT_TRUE(T().RetrieveObligations());  // leaves a connection to reuse
    T().SetReturnBody(R"({"periodKey":"K"})");
    status = -1;
    EXPECT_FALSE(T().SubmitReturn(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(T().GetCommErrorCode(), 11);  // nothing came back
    EXPECT_TRUE(Logged("CTransaction::SubmitReturn : DoTransaction Fail : 11\r\n"));
    EXPECT_EQ(T().GetReceiptLines(), receipt);

    const auto requests = m_server.Received();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1].clientPort, requests[0].clientPort);
    EXPECT_NE(requests[2].clientPort, requests[1].clientPort);
    EXPECT_EQ(requests[4].method, "POST");
    EXPECT_NE(requests[4].clientPort, requests[3].clientPort);
}

TEST_F(TransactionTest, NoSecretReachesTheLogOrAnAddressItMayNotTravelTo) {
    T().SetClientCredentials("client-id", "very-secret-value");
    ExchangeCode(R"({"access_token":"access-xyz","refresh_token":"refresh-xyz","expires_in":60})");
    T().SetStoredRefreshToken("refresh-xyz");
    Reply("/oauth/token", Answer::Http(400, "Bad Request", {}, R"({"error":"invalid_grant"})"));
    std::string access;
    T().ExchangeRefreshTokenForToken(access);
    Reply(kObligationsPath, Answer::Http(403, "Forbidden"));
    T().RetrieveObligations();
    T().SetServiceBaseUrl(DeadUrl());
    T().StartJouney();
    int status = -1;
    EXPECT_FALSE(T().ExchangeCodeForToken(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(T().GetCommErrorCode(), 5);
    EXPECT_TRUE(Logged("CTransaction::ExchangeCodeForToken : DoTransaction Fail : 5\r\n"));
    // An address secrets may not travel to is never contacted: the transfer fails as a bad URL.
    T().SetServiceBaseUrl("http://example.invalid");
    EXPECT_EQ(T().StartJouney(), 2);
    status = -1;
    EXPECT_FALSE(T().ExchangeCodeForToken(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(T().GetCommErrorCode(), 2);

    const std::string log = ReadFile(m_home.LogPath());
    for (const char* secret : {"very-secret-value", "the-code", "access-xyz", "refresh-xyz"}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << "\n" << log;
    }
}
