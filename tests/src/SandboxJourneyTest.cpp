// The filer's service object against the in-process HMRC stand-in, through real libcurl and this
// machine's own device facts.
#include <gtest/gtest.h>

#include <algorithm>

#include "DeviceFacts.h"
#include "FactFormats.h"
#include "Log.h"
#include "ReturnData.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "Transaction.h"

using namespace calvenor::test;
namespace sandbox = calvenor::sandbox;

namespace {

const sandbox::CivilDate kToday{2026, 6, 15};
constexpr char kProfile[] =
    R"({"client_id":"calvenor-demo-client","client_secret":"calvenor-demo-secret"})";

ReturnFigures Figures(const std::string& periodKey, const std::string& box9 = "0") {
    ReturnFigures figures;
    SetBoxTexts(figures,
                {"1234.50", "0.00", "1234.50", "100.00", "1134.50", "6172", "500", "0", box9});
    figures.periodKey = periodKey;
    return figures;
}

std::string Json(const ReturnFigures& figures) {
    CReturnData data;
    data.BuildJson(figures);
    return data.GetJson();
}

}  // namespace

TEST(ReturnData, FiguresBecomeStringMembersInHmrcOrderWithTextsEscaped) {
    EXPECT_EQ(
        Json(Figures("18A1", "-0")),
        R"({"periodKey":"18A1","vatDueSales":"1234.50","vatDueAcquisitions":"0.00","totalVatDue":"1234.50",)"
        R"("vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50","totalValueSalesExVAT":"6172",)"
        R"("totalValuePurchasesExVAT":"500","totalValueGoodsSuppliedExVAT":"0","totalAcquisitionsExVAT":"-0",)"
        R"("finalised":true})");
    EXPECT_EQ(Json(Figures("#0\"1\\/\n\x01")).substr(0, 40),
              R"({"periodKey":"#0\"1\\/\n\u0001","vatDueS)");
}

class SandboxJourneyTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.LastError();
        m_transaction = std::make_unique<CTransaction>(kProfile);
        T().SetClientCredentials(std::string(sandbox::kDemoClientId),
                                 std::string(sandbox::kDemoClientSecret));
        T().SetServiceBaseUrl(m_sandbox.BaseUrl());
    }

    static sandbox::SandboxOptions Options() {
        sandbox::SandboxOptions options;
        options.today = kToday;
        return options;
    }
    std::string TokenFileText() const {
        return ReadFile(m_home.DataFolder() / "TokDir" / "tokens.tok");
    }
    CTransaction& T() { return *m_transaction; }

    IsolatedHome m_home;
    sandbox::SandboxServer m_sandbox{Options()};
    std::unique_ptr<CTransaction> m_transaction;
};

TEST_F(SandboxJourneyTest, AuthorisesRenewsFilesOnceAndExplainsEveryRefusal) {
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
    const std::string spentRefresh = T().GetRefreshToken();
    T().SetStoredRefreshToken(spentRefresh);
    T().SetAuthorisedByRefresh(true);
    std::string access;
    ASSERT_TRUE(T().ExchangeRefreshTokenForToken(access));
    const std::string renewed = TokenFileText();
    EXPECT_EQ(renewed, access + "|" + T().GetRefreshToken() + "|14400");
    EXPECT_EQ(T().GetAccessToken(), access);  // what the submission presents
    T().SetAuthorisationCode(access);

    T().SetVrn(std::string(sandbox::kQuarterlyClient.vrn));
    ASSERT_TRUE(T().RetrieveObligations());
    const auto open = T().GetObligations();
    const auto ended = std::find_if(open.begin(), open.end(), [](const CObligationData& o) {
        return o.end < kToday.ToString();
    });
    ASSERT_NE(ended, open.end());
    for (const auto& obligation : open)
        EXPECT_EQ(obligation.status, "O");

    T().SetReturnBody(Json(Figures(ended->periodKey)));
    ASSERT_TRUE(T().SubmitReturn(status));
    ASSERT_EQ(status, 201) << ::testing::PrintToString(T().GetReceiptLines());
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

    // The filed period leaves the open list; filing it again is refused and explained.
    ASSERT_TRUE(T().RetrieveObligations());
    for (const auto& obligation : T().GetObligations())
        EXPECT_NE(obligation.periodKey, ended->periodKey);
    ASSERT_TRUE(T().SubmitReturn(status));
    EXPECT_NE(status, 201);
    EXPECT_EQ(T().GetReceiptLines().at(0), "Submisssion FAILED");
    EXPECT_GE(T().GetReceiptLines().size(), 7u);

    // A client without open periods empties the list.
    T().SetVrn(std::string(sandbox::kNoOpenPeriodsClient.vrn));
    EXPECT_TRUE(T().RetrieveObligations());
    EXPECT_EQ(T().GetHttpCode(), 404);
    EXPECT_TRUE(T().GetObligations().empty());

    // The spent refresh token is refused and the stored set is kept.
    ASSERT_FALSE(T().ExchangeRefreshTokenForToken(access));
    EXPECT_EQ(T().GetHttpCode(), 400);
    EXPECT_EQ(TokenFileText(), renewed);

    // The fraud-prevention set names the profile only by its digest.
    const auto& lines = T().GetFraudHeaderLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Gov-Vendor-License-IDs: Calvenor=" + Sha256Hex(kProfile)),
              lines.end());

    const std::string log = ReadFile(m_home.LogPath());
    for (const std::string& secret :
         {std::string(sandbox::kDemoClientSecret), access, T().GetRefreshToken(), spentRefresh}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    }
}
