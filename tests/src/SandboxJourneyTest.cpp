#include <gtest/gtest.h>

#include <algorithm>

#include "Log.h"
#include "ReturnData.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "Tokens.h"
#include "Transaction.h"

using namespace calvenor::test;
namespace sandbox = calvenor::sandbox;

namespace {

const sandbox::CivilDate kToday{2026, 6, 15};

// The filer's service object against the in-process HMRC stand-in, through real libcurl.
class SandboxJourneyTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.LastError();
        m_transaction.emplace();
        m_transaction->SetClientCredentials(std::string(sandbox::kDemoClientId),
                                            std::string(sandbox::kDemoClientSecret));
        m_transaction->SetServiceBaseUrl(m_sandbox.BaseUrl());
    }

    static sandbox::SandboxOptions Options() {
        sandbox::SandboxOptions options;
        options.today = kToday;
        return options;
    }

    std::string TokenFileText() const {
        return ReadFile(m_home.DataFolder() / "TokDir" / "tokens.tok");
    }

    // Authorises with a granted code, as the user would after signing in.
    void Authorise() {
        ASSERT_TRUE(CTransaction::IsRedirectStatus(T().StartJouney()));
        T().SetAuthorisationCode(m_sandbox.GrantCode());
        int status = 0;
        ASSERT_TRUE(T().ExchangeCodeForToken(status));
        ASSERT_EQ(status, 200);
    }

    CTransaction& T() { return *m_transaction; }

    IsolatedHome m_home;
    sandbox::SandboxServer m_sandbox{Options()};
    std::optional<CTransaction> m_transaction;
};

}  // namespace

TEST_F(SandboxJourneyTest, AuthorisesListsFilesAndThePeriodLeavesTheOpenList) {
    // The sign-in address comes from the redirect of the authorisation request.
    EXPECT_EQ(T().StartJouney(), 302);
    EXPECT_EQ(T().GetAuthorisationUrl().rfind(m_sandbox.BaseUrl() + "/", 0), 0u)
        << T().GetAuthorisationUrl();

    T().SetAuthorisationCode(m_sandbox.GrantCode());
    int status = 0;
    ASSERT_TRUE(T().ExchangeCodeForToken(status));
    ASSERT_EQ(status, 200);
    EXPECT_EQ(T().GetExpiresIn(), 14400);
    EXPECT_EQ(TokenFileText(), T().GetAccessToken() + "|" + T().GetRefreshToken() + "|14400");

    // A later run renews the stored set and presents the refreshed token.
    T().SetStoredRefreshToken(T().GetRefreshToken());
    T().SetAuthorisedByRefresh(true);
    std::string refreshedAccess;
    ASSERT_TRUE(T().ExchangeRefreshTokenForToken(refreshedAccess));
    EXPECT_EQ(TokenFileText(), refreshedAccess + "|" + T().GetRefreshToken() + "|14400");
    T().SetAuthorisationCode(refreshedAccess);

    T().SetVrn(std::string(sandbox::kQuarterlyClient.vrn));
    ASSERT_TRUE(T().RetrieveObligations());
    const auto open = T().GetObligations();
    const auto ended = std::find_if(open.begin(), open.end(), [](const CObligationData& o) {
        return o.end < kToday.ToString();
    });
    ASSERT_NE(ended, open.end());
    for (const auto& obligation : open)
        EXPECT_EQ(obligation.status, "O");

    ReturnFigures figures;
    figures.periodKey = ended->periodKey;
    figures.box1 = "1234.50";
    figures.box2 = "0.00";
    figures.box3 = "1234.50";
    figures.box4 = "100.00";
    figures.box5 = "1134.50";
    figures.box6 = "6172";
    figures.box7 = "500";
    figures.box8 = "0";
    figures.box9 = "0";
    CReturnData body;
    body.BuildJson(figures);
    T().SetReturnBody(body.GetJson());
    m_sandbox.ClearReceived();
    ASSERT_TRUE(T().SubmitReturn(status));
    ASSERT_EQ(status, 201) << ::testing::PrintToString(T().GetReceiptLines());

    const auto received = m_sandbox.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].body, body.GetJson());
    EXPECT_EQ(received[0].Header("Authorization"), "Bearer " + refreshedAccess);
    const auto filed = m_sandbox.FiledReturns();
    ASSERT_EQ(filed.size(), 1u);
    const auto& receipt = T().GetReceiptLines();
    ASSERT_GE(receipt.size(), 9u);
    EXPECT_EQ(receipt[0], "Submisssion Successful");
    EXPECT_EQ(receipt[2], "Correlation Id : " + filed[0].correlationId);
    EXPECT_EQ(receipt[3], "Receipt Id : " + filed[0].receiptId);
    EXPECT_EQ(receipt[4], "Receipt Timestamp : " + filed[0].receiptTimestamp);
    EXPECT_EQ(receipt[5], "Processing Date : " + filed[0].processingDate);
    EXPECT_EQ(receipt[6], "Form Bundle Number : " + filed[0].formBundleNumber);
    EXPECT_EQ(receipt[7], "Payment Indicator : DD");

    ASSERT_TRUE(T().RetrieveObligations());
    for (const auto& obligation : T().GetObligations())
        EXPECT_NE(obligation.periodKey, ended->periodKey);

    // Filing the same period again is refused and explained.
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_NE(status, 201);
    EXPECT_EQ(T().GetReceiptLines().at(0), "Submisssion FAILED");
    EXPECT_GE(T().GetReceiptLines().size(), 7u);

    const std::string log = ReadFile(m_home.LogPath());
    for (const std::string& secret : {std::string(sandbox::kDemoClientSecret), refreshedAccess,
                                      T().GetRefreshToken(), T().GetAuthorisationCode()}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SandboxJourneyTest, AUsedRefreshTokenIsRefusedWithInvalidGrant) {
    Authorise();
    const std::string firstRefresh = T().GetRefreshToken();
    T().SetStoredRefreshToken(firstRefresh);
    std::string access;
    ASSERT_TRUE(T().ExchangeRefreshTokenForToken(access));
    const std::string stored = TokenFileText();

    ASSERT_FALSE(T().ExchangeRefreshTokenForToken(access));  // the same, now spent, token
    EXPECT_EQ(T().GetHttpCode(), 400);
    std::string error, description;
    ASSERT_TRUE(T().GetOAuthError(error, description));
    EXPECT_EQ(error, "invalid_grant");
    EXPECT_EQ(TokenFileText(), stored);
}

TEST_F(SandboxJourneyTest, ObligationAnswersForClientsWithoutPeriodsOrAuthority) {
    Authorise();
    T().SetVrn(std::string(sandbox::kQuarterlyClient.vrn));
    ASSERT_TRUE(T().RetrieveObligations());
    const auto previous = T().GetObligations();
    ASSERT_FALSE(previous.empty());

    T().SetVrn(std::string(sandbox::kNotAuthorisedClient.vrn));
    EXPECT_FALSE(T().RetrieveObligations());
    EXPECT_EQ(T().GetHttpCode(), 403);
    EXPECT_EQ(T().GetObligations(), previous);
    EXPECT_NE(ReadFile(m_home.LogPath()).find("ResponseCode Fail =  403"), std::string::npos);

    T().SetVrn(std::string(sandbox::kNoOpenPeriodsClient.vrn));
    EXPECT_TRUE(T().RetrieveObligations());
    EXPECT_EQ(T().GetHttpCode(), 404);
    EXPECT_TRUE(T().GetObligations().empty());
}

TEST_F(SandboxJourneyTest, AnInvalidReturnGivesTheDecodedRejection) {
    Authorise();
    T().SetVrn(std::string(sandbox::kQuarterlyClient.vrn));
    ASSERT_TRUE(T().RetrieveObligations());
    ASSERT_FALSE(T().GetObligations().empty());
    ReturnFigures figures;
    figures.periodKey = T().GetObligations().front().periodKey;
    figures.box1 = "10.00";
    figures.box2 = "0.00";
    figures.box3 = "99.00";  // not box 1 + box 2
    figures.box4 = "0.00";
    figures.box5 = "10.00";
    figures.box6 = figures.box7 = figures.box8 = figures.box9 = "0";
    CReturnData body;
    body.BuildJson(figures);
    T().SetReturnBody(body.GetJson());
    int status = 0;
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_EQ(status, 400);
    const auto& receipt = T().GetReceiptLines();
    ASSERT_GE(receipt.size(), 7u);
    EXPECT_EQ(receipt[0], "Submisssion FAILED");
    EXPECT_EQ(receipt[2].rfind("Submission Date : ", 0), 0u) << receipt[2];
    EXPECT_EQ(receipt[4], "Bad Request");
    const bool namesTheRule = std::any_of(
        receipt.begin(), receipt.end(),
        [](const std::string& line) { return line.find("VAT_TOTAL_VALUE") != std::string::npos; });
    EXPECT_TRUE(namesTheRule) << ::testing::PrintToString(receipt);
    EXPECT_TRUE(m_sandbox.FiledReturns().empty());
}

TEST_F(SandboxJourneyTest, VatRequestsCarryTheFraudPreventionLinesInOrder) {
    Authorise();
    m_sandbox.ClearReceived();
    T().SetVrn(std::string(sandbox::kQuarterlyClient.vrn));
    ASSERT_TRUE(T().RetrieveObligations());
    const auto received = m_sandbox.Received();
    ASSERT_EQ(received.size(), 1u);
    const auto& lines = received[0].headerLines;
    const auto& fraud = T().GetFraudHeaderLines();
    ASSERT_FALSE(fraud.empty());
    const auto at = std::search(lines.begin(), lines.end(), fraud.begin(), fraud.end());
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at - 1), "Authorization: Bearer " + T().GetAccessToken());
}
