// What the service object keeps for itself, against the sandbox: the transport is ready for a GET
// after every operation, and a token answer that is not a complete set issued by HMRC replaces
// nothing in use. What an exchange gives the agent is in tests/data/exchanges.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "Log.h"
#include "ReturnData.h"
#include "SandboxHome.h"
#include "Transaction.h"

namespace calvenor::test {
namespace {

class TransactionTest : public SandboxHomeTest {
protected:
    void SetUp() override {
        SandboxHomeTest::SetUp();
        CLog::ResetForTesting();
        T.SetClientCredentials(std::string(sandbox::kDemoClientId),
                               std::string(sandbox::kDemoClientSecret));
        T.SetServiceBaseUrl(m_sandbox.BaseUrl());
        T.SetVrn("100000001");
        T.SetReturnBody("{}");
    }
    int Exchange(const std::string& code) {
        T.SetAuthorisationCode(code);
        int status = -1;
        EXPECT_TRUE(T.ExchangeCodeForToken(status));
        return status;
    }

    CTransaction T;
};

// Every operation, answered or not, leaves the transport so that the next request (here an
// authorisation request) is a GET without a body.
TEST_F(TransactionTest, EveryOperationLeavesTheTransportReadyForAGet) {
    std::string access;
    int status = 0;
    const std::function<void()> operations[] = {
        [&] { T.ExchangeCodeForToken(status); }, [&] { T.ExchangeRefreshTokenForToken(access); },
        [&] { T.RetrieveObligations(); }, [&] { T.SubmitReturn(status); },
        [&] { T.StartJouney(); }};
    for (const auto& operation : operations) {
        for (const bool answered : {true, false}) {
            T.SetServiceBaseUrl(answered ? m_sandbox.BaseUrl() : "http://127.0.0.1:1");
            operation();
            EXPECT_FALSE(T.GetTransport().IsPostMode());
            T.SetServiceBaseUrl(m_sandbox.BaseUrl());
            T.StartJouney();
            ASSERT_FALSE(m_sandbox.Received().empty());
            EXPECT_EQ(m_sandbox.Received().back().method, "GET");
            EXPECT_EQ(m_sandbox.Received().back().body, "");
        }
    }
}

// None of these answers is a complete token set that can be stored, so the token file keeps the
// set of the exchange before; an answer that issued no access token leaves that set in use.
TEST_F(TransactionTest, AnIncompleteOrRefusedTokenAnswerReplacesNothingInUse) {
    struct Row {
        const char* name;
        int status;
        std::string body;
        bool issued;  // the access token "a" is in use after the answer
        std::int32_t expires;
    };
    const Row rows[] = {
        {"NoRefreshToken", 200, R"({"access_token":"a","expires_in":14400})", true, 14400},
        {"ExpiryAsText", 200, R"({"access_token":"a","refresh_token":"r","expires_in":"9"})", true,
         0},
        {"ExpiryTooLarge", 200,
         R"({"access_token":"a","refresh_token":"r","expires_in":4294967296})", true, 0},
        {"AccessTokenWithLineBreak", 200, R"({"access_token":"a\r\nX-Evil: 1","expires_in":5})",
         false, 14400},
        {"NotJson", 200, "<html>oops</html>", false, 14400},
        {"DeeplyNested", 200, std::string(100000, '[') + std::string(100000, ']'), false, 14400},
        {"Refused", 400, R"({"error":"invalid_request"})", false, 14400},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(Exchange(m_sandbox.GrantCode()), 200);
        const std::string inUse = T.GetAccessToken(), stored = ReadFile(TokenFile());
        sandbox::Fault answer;
        answer.status = row.status;
        answer.body = row.body;
        m_sandbox.ArmFault("/oauth/token", answer);
        EXPECT_EQ(Exchange("any"), row.status);
        EXPECT_EQ(T.GetAccessToken(), row.issued ? "a" : inUse);
        EXPECT_EQ(T.HasIssuedTokens(), row.issued);
        EXPECT_EQ(T.GetExpiresIn(), row.expires);
        EXPECT_EQ(ReadFile(TokenFile()), stored);
    }
    // A refused renewal keeps the tokens in use too.
    const std::string inUse = T.GetAccessToken();
    std::string access = "unchanged";
    T.SetStoredRefreshToken("spent");
    EXPECT_FALSE(T.ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(access, "unchanged");
    EXPECT_EQ(T.GetAccessToken(), inUse);
}

// The account queries ask for the client's resource over the dates given, as the VAT calls they
// are: the access token in use and the fraud-prevention headers; no answer is status 0.
TEST_F(TransactionTest, AccountQueriesAskForTheDatesGivenWithTheTokenInUse) {
    ASSERT_EQ(Exchange(m_sandbox.GrantCode()), 200);
    const std::pair<std::function<int()>, std::string> queries[] = {
        {[&] { return T.RetrieveFulfilledObligations("2025-01-01", "2025-12-31"); },
         "obligations?from=2025-01-01&to=2025-12-31&status=F"},
        {[&] { return T.RetrieveLiabilities("2025-01-01", "2025-12-31"); },
         "liabilities?from=2025-01-01&to=2025-12-31"},
        {[&] { return T.RetrievePayments("2025-01-01", "2025-12-31"); },
         "payments?from=2025-01-01&to=2025-12-31"},
    };
    for (const auto& [query, target] : queries) {
        EXPECT_NE(query(), 0) << target;
        const auto sent = m_sandbox.Received().back();
        EXPECT_EQ(sent.target, "/organisations/vat/100000001/" + target);
        EXPECT_EQ(sent.Header("Authorization"), "Bearer " + T.GetAccessToken());
        EXPECT_TRUE(sent.Header("Gov-Client-Connection-Method").has_value()) << target;
        T.SetServiceBaseUrl("http://127.0.0.1:1");
        EXPECT_EQ(query(), 0) << target;
        EXPECT_NE(T.GetCommErrorCode(), 0);
        T.SetServiceBaseUrl(m_sandbox.BaseUrl());
    }
}

TEST(ReturnData, FiguresBecomeStringMembersInHmrcOrderWithTextsEscaped) {
    ReturnFigures figures;
    SetBoxTexts(figures,
                {"1234.50", "0.00", "1234.50", "100.00", "1134.50", "6172", "500", "0", "-0"});
    figures.periodKey = "#0\"1\\/\n\x01";
    CReturnData data;
    data.BuildJson(figures);
    EXPECT_EQ(
        data.GetJson(),
        R"({"periodKey":"#0\"1\\/\n\u0001","vatDueSales":"1234.50","vatDueAcquisitions":"0.00",)"
        R"("totalVatDue":"1234.50","vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50",)"
        R"("totalValueSalesExVAT":"6172","totalValuePurchasesExVAT":"500",)"
        R"("totalValueGoodsSuppliedExVAT":"0","totalAcquisitionsExVAT":"-0","finalised":true})");
}

}  // namespace
}  // namespace calvenor::test
