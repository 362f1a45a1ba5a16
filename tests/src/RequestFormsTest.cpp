#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <optional>

#include "Log.h"
#include "RecordingServer.h"
#include "TestSupport.h"
#include "Transaction.h"

using namespace calvenor::test;

namespace {

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What HMRC's side received for each of the five requests, against a recording server.
class RequestFormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        Configure(*m_transaction, m_server.BaseUrl());
    }

    static void Configure(CTransaction& transaction, const std::string& baseUrl) {
        transaction.SetServiceBaseUrl(baseUrl);
        transaction.SetClientCredentials("cl1ent-ID", "s3cret");
        transaction.SetVrn("123456789");
    }

    RecordedRequest Only() const {
        const auto requests = m_server.Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? RecordedRequest{} : requests.back();
    }

    std::string Host() const { return "Host: 127.0.0.1:" + std::to_string(m_server.Port()); }

    IsolatedHome m_home;
    RecordingServer m_server{[](const RecordedRequest& request) {
        if (request.target.rfind("/oauth/token", 0) == 0) {
            return Answer::Http(
                200, "OK", {"Content-Type: application/json"},
                R"({"access_token":"acc","refresh_token":"ref","expires_in":14400})");
        }
        if (request.target.find("/returns") != std::string::npos)
            return Answer::Http(201, "Created");
        return Answer::Http(200, "OK", {}, R"({"obligations":[]})");
    }};
    std::optional<CTransaction> m_transaction{std::in_place};
};

}  // namespace

TEST_F(RequestFormsTest, AuthorisationRequestIsAPlainGetWithTheQuery) {
    EXPECT_EQ(m_transaction->StartJouney(), 200);
    const auto request = Only();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target,
              "/oauth/authorize?response_type=code&client_id=cl1ent-ID&scope=read:vat+write:vat"
              "&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
    EXPECT_EQ(request.headerLines, (std::vector<std::string>{Host(), "Accept: */*"}));
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(m_transaction->GetAuthoriseQuery(),
              "?response_type=code&client_id=cl1ent-ID&scope=read:vat+write:vat&redirect_uri=urn:"
              "ietf:wg:oauth:2.0:oob");
}

TEST_F(RequestFormsTest, CodeExchangeIsAFormPost) {
    m_transaction->SetAuthorisationCode("c0de");
    int status = 0;
    ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));
    const auto request = Only();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/oauth/token");
    const std::string body =
        "client_secret=s3cret&client_id=cl1ent-ID&grant_type=authorization_code"
        "&redirect_uri=urn:ietf:wg:oauth:2.0:oob&code=c0de";
    EXPECT_EQ(request.body, body);
    EXPECT_EQ(request.headerLines,
              (std::vector<std::string>{Host(), "Accept: */*",
                                        "Content-Length: " + std::to_string(body.size()),
                                        "Content-Type: application/x-www-form-urlencoded"}));
}

TEST_F(RequestFormsTest, RefreshIsAFormPostWithTheStoredRefreshToken) {
    m_transaction->SetStoredRefreshToken("st0red");
    std::string access;
    m_transaction->ExchangeRefreshTokenForToken(access);
    const auto request = Only();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/oauth/token");
    EXPECT_EQ(
        request.body,
        "client_secret=s3cret&client_id=cl1ent-ID&grant_type=refresh_token&refresh_token=st0red");
    EXPECT_EQ(request.headerLines.back(), "Content-Type: application/x-www-form-urlencoded");
}

TEST_F(RequestFormsTest, FormValuesAreEncodedSoAPastedCodeCannotAddParameters) {
    m_transaction->SetClientCredentials("id&x=1", "se&cr=et+ /");
    m_transaction->SetAuthorisationCode("abc&grant_type=refresh_token");
    int status = 0;
    ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));
    m_transaction->SetStoredRefreshToken("r=1&s");
    std::string access;
    m_transaction->ExchangeRefreshTokenForToken(access);
    m_transaction->StartJouney();
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(
        requests[0].body,
        "client_secret=se%26cr%3Det%2B%20%2F&client_id=id%26x%3D1&grant_type=authorization_code"
        "&redirect_uri=urn:ietf:wg:oauth:2.0:oob&code=abc%26grant_type%3Drefresh_token");
    EXPECT_EQ(requests[1].body,
              "client_secret=se%26cr%3Det%2B%20%2F&client_id=id%26x%3D1&grant_type=refresh_token"
              "&refresh_token=r%3D1%26s");
    EXPECT_EQ(requests[2].target,
              "/oauth/authorize?response_type=code&client_id=id%26x%3D1&scope=read:vat+write:vat"
              "&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
}

TEST_F(RequestFormsTest, ObligationsRequestCarriesTheApiHeadersInOrder) {
    int status = 0;
    m_transaction->SetAuthorisationCode("c0de");
    ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));  // access token "acc"
    ASSERT_TRUE(m_transaction->RetrieveObligations());
    const auto request = m_server.Requests().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/organisations/vat/123456789/obligations?status=O");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.headerLines,
              Concat({Host(), "Accept: application/vnd.hmrc.1.0+json",
                      "Content-Type: application/json", "Authorization: Bearer acc"},
                     m_transaction->GetFraudHeaderLines()));
    EXPECT_EQ(m_transaction->GetObligationsUrl(),
              m_server.BaseUrl() + "/organisations/vat/123456789/obligations?status=O");
}

TEST_F(RequestFormsTest, ObligationsOfARefreshedFilerPresentTheHandedOverToken) {
    int status = 0;
    m_transaction->SetAuthorisationCode("c0de");
    ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));
    m_transaction->SetAuthorisedByRefresh(true);
    m_transaction->SetAuthorisationCode("refreshed-access");
    ASSERT_TRUE(m_transaction->RetrieveObligations());
    EXPECT_EQ(m_server.Requests().back().headerLines.at(3),
              "Authorization: Bearer refreshed-access");
}

TEST_F(RequestFormsTest, OnlyTheTestServiceGetsTheScenarioLineAndOnlyOnObligations) {
    m_transaction.reset();  // one transport at a time
    CTransaction transaction;
    Configure(transaction, m_server.BaseUrl() + "/test-api");
    transaction.SetReturnBody("{}");
    ASSERT_TRUE(transaction.RetrieveObligations());
    int status = 0;
    ASSERT_TRUE(transaction.SubmitReturn(status));
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/test-api/organisations/vat/123456789/obligations?status=O");
    EXPECT_EQ(requests[0].headerLines.back(), "Gov-Test-Scenario: QUARTERLY_TWO_MET");
    for (const auto& line : requests[1].headerLines)
        EXPECT_EQ(line.find("Gov-Test-Scenario"), std::string::npos);
}

TEST_F(RequestFormsTest, SubmissionPostsTheReturnBodyWithTheAccessToken) {
    int status = 0;
    m_transaction->SetAuthorisationCode("c0de");
    ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));
    m_transaction->SetAuthorisedByRefresh(true);  // the submission always presents the access token
    m_transaction->SetAuthorisationCode("other");
    const std::string body = R"({"periodKey":"18A1","finalised":true})";
    m_transaction->SetReturnBody(body);
    ASSERT_TRUE(m_transaction->SubmitReturn(status));
    EXPECT_EQ(status, 201);
    const auto request = m_server.Requests().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/organisations/vat/123456789/returns");
    EXPECT_EQ(request.body, body);
    EXPECT_EQ(request.headerLines,
              Concat(Concat({Host(), "Accept: application/vnd.hmrc.1.0+json",
                             "Content-Type: application/json", "Authorization: Bearer acc"},
                            m_transaction->GetFraudHeaderLines()),
                     {"Content-Length: " + std::to_string(body.size())}));
}

TEST_F(RequestFormsTest, TheSubmissionNeverReusesAConnection) {
    ASSERT_TRUE(m_transaction->RetrieveObligations());
    ASSERT_TRUE(m_transaction->RetrieveObligations());
    m_transaction->SetReturnBody("{}");
    int status = 0;
    ASSERT_TRUE(m_transaction->SubmitReturn(status));
    ASSERT_TRUE(m_transaction->RetrieveObligations());
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].connection, requests[0].connection);  // other requests may reuse
    EXPECT_NE(requests[2].connection, requests[1].connection);
}

TEST_F(RequestFormsTest, ABaseUrlSecretsMayNotTravelToIsNeverContacted) {
    m_transaction.reset();
    CTransaction transaction;
    Configure(transaction, "http://example.invalid");
    EXPECT_EQ(transaction.StartJouney(), 2);
    int status = -1;
    EXPECT_FALSE(transaction.ExchangeCodeForToken(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(transaction.GetCommErrorCode(), 2);
}

// Every operation leaves the transport in GET mode, whatever its outcome: the next request is
// an authorisation request, a GET without body.
struct OperationRow {
    const char* name;
    bool serverUp;
    std::function<void(CTransaction&)> run;
    friend void PrintTo(const OperationRow& row, std::ostream* os) { *os << row.name; }
};

class MethodAfterOperationTest : public ::testing::TestWithParam<OperationRow> {};

TEST_P(MethodAfterOperationTest, LeavesTheTransportInGetMode) {
    IsolatedHome home;
    CLog::ResetForTesting();
    RecordingServer server(
        [](const RecordedRequest&) { return Answer::Http(400, "Bad Request", {}, "{}"); });
    CTransaction transaction;
    transaction.SetClientCredentials("id", "secret");
    transaction.SetReturnBody("{}");
    transaction.SetServiceBaseUrl(GetParam().serverUp
                                      ? server.BaseUrl()
                                      : "http://127.0.0.1:" + std::to_string(UnusedPort()));
    GetParam().run(transaction);
    EXPECT_FALSE(transaction.GetTransport().IsPostMode());
    transaction.SetServiceBaseUrl(server.BaseUrl());
    transaction.StartJouney();
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().method, "GET");
    EXPECT_EQ(requests.back().body, "");
}

namespace {
const auto kCodeExchange = [](CTransaction& t) {
    int status = 0;
    t.ExchangeCodeForToken(status);
};
const auto kRefresh = [](CTransaction& t) {
    std::string access;
    t.ExchangeRefreshTokenForToken(access);
};
const auto kObligations = [](CTransaction& t) { t.RetrieveObligations(); };
const auto kSubmission = [](CTransaction& t) {
    int status = 0;
    t.SubmitReturn(status);
};
const auto kJourney = [](CTransaction& t) { t.StartJouney(); };
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Operations, MethodAfterOperationTest,
    ::testing::Values(OperationRow{"CodeExchangeAnswered", true, kCodeExchange},
                      OperationRow{"CodeExchangeWithoutConnection", false, kCodeExchange},
                      OperationRow{"RefreshAnswered", true, kRefresh},
                      OperationRow{"RefreshWithoutConnection", false, kRefresh},
                      OperationRow{"ObligationsAnswered", true, kObligations},
                      OperationRow{"ObligationsWithoutConnection", false, kObligations},
                      OperationRow{"SubmissionAnswered", true, kSubmission},
                      OperationRow{"SubmissionWithoutConnection", false, kSubmission},
                      OperationRow{"JourneyWithoutConnection", false, kJourney}),
    [](const auto& info) { return std::string(info.param.name); });
