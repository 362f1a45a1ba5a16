// The real header set, from this machine's facts, as HMRC's stand-in receives it.
#include <gtest/gtest.h>

#include <httplib.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <iostream>

#include "DeviceFacts.h"
#include "FraudHeaders.h"
#include "ReturnData.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "Transaction.h"

namespace {

using calvenor::sandbox::SandboxServer;

// The lines libcurl puts on the wire: it leaves out a header whose value is empty.
std::vector<std::string> LinesSent(const std::vector<std::string>& lines) {
    std::vector<std::string> sent;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(sent), [](const std::string& l) {
        return l.find_first_not_of(' ', l.find(':') + 1) != std::string::npos;
    });
    return sent;
}

bool IsFraudLine(const std::string& line) {
    return line.rfind("Gov-", 0) == 0;
}

class FraudHeadersSandboxTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sandbox.Start()) << m_sandbox.LastError();
        SetScreenFacts({1920, 1080, 96, 24});
        m_transaction = std::make_unique<CTransaction>(kProfile);
        m_transaction->SetClientCredentials(std::string(calvenor::sandbox::kDemoClientId),
                                            std::string(calvenor::sandbox::kDemoClientSecret));
        m_transaction->SetServiceBaseUrl(m_sandbox.BaseUrl());
        m_transaction->SetVrn(std::string(calvenor::sandbox::kQuarterlyClient.vrn));
        m_transaction->SetAuthorisationCode(m_sandbox.GrantCode());
        int status = 0;
        ASSERT_TRUE(m_transaction->ExchangeCodeForToken(status));
        ASSERT_EQ(status, 200);
    }
    void TearDown() override { SetScreenFacts({}); }

    // Obligations, then a return for the earliest open period.
    void FileOnce() {
        ASSERT_TRUE(m_transaction->RetrieveObligations());
        ASSERT_FALSE(m_transaction->GetObligations().empty());
        ReturnFigures figures{
            "100.00", "0.00", "100.00", "40.00", "60.00",
            "500",    "200",  "0",      "0",     m_transaction->GetObligations().front().periodKey};
        CReturnData body;
        body.BuildJson(figures);
        m_transaction->SetReturnBody(body.GetJson());
        int status = 0;
        ASSERT_TRUE(m_transaction->SubmitReturn(status));
        EXPECT_EQ(status, 201) << m_transaction->GetResponseBody();
    }

    static constexpr char kProfile[] =
        R"({"client_id":"calvenor-demo-client","client_secret":"calvenor-demo-secret"})";
    calvenor::test::IsolatedHome m_home;
    SandboxServer m_sandbox;
    std::unique_ptr<CTransaction> m_transaction;
};

TEST_F(FraudHeadersSandboxTest, VatCallsCarryTheSetRightAfterAuthorizationAndTokenCallsNone) {
    FileOnce();
    const auto expected = LinesSent(m_transaction->GetFraudHeaderLines());
    ASSERT_GE(expected.size(), 8u);
    int vatCalls = 0;
    for (const auto& request : m_sandbox.Received()) {
        const auto& lines = request.headerLines;
        if (request.Path().rfind("/organisations/vat/", 0) != 0) {
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), IsFraudLine), 0) << request.target;
            continue;
        }
        ++vatCalls;
        const auto auth = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("Authorization: ", 0) == 0;
        });
        ASSERT_NE(auth, lines.end()) << request.target;
        ASSERT_GE(static_cast<std::size_t>(lines.end() - auth), expected.size() + 1);
        EXPECT_EQ(std::vector<std::string>(auth + 1, auth + 1 + expected.size()), expected)
            << request.target;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), IsFraudLine),
                  static_cast<long>(expected.size()));
    }
    EXPECT_EQ(vatCalls, 2);
}

TEST_F(FraudHeadersSandboxTest, TheLicenceLineNamesTheProfileOnlyByItsDigest) {
    FileOnce();
    for (const auto& request : m_sandbox.Received()) {
        for (const auto& line : request.headerLines) {
            if (IsFraudLine(line)) {
                EXPECT_EQ(line.find("calvenor-demo-secret"), std::string::npos) << line;
                EXPECT_EQ(line.find("client_id"), std::string::npos) << line;
            }
        }
        const auto licence = request.Header("Gov-Vendor-License-IDs");
        if (licence) {
            EXPECT_EQ(*licence, "Calvenor=" + Sha256Hex(kProfile));
        }
    }
}

TEST_F(FraudHeadersSandboxTest, HmrcsFeedbackFindsNoErrorInTheRealSet) {
    FileOnce();
    httplib::Client client("127.0.0.1", m_sandbox.Port());
    const auto answer = client.Get(
        "/test/fraud-prevention-headers/vat-mtd/validation-feedback?connectionMethod="
        "DESKTOP_APP_DIRECT");
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200) << answer->body;
    rapidjson::Document feedback;
    feedback.Parse(answer->body.c_str(), answer->body.size());
    ASSERT_FALSE(feedback.HasParseError()) << answer->body;
    ASSERT_TRUE(feedback.IsObject() && feedback.HasMember("requests") &&
                feedback["requests"].IsArray())
        << answer->body;
    const auto& requests = feedback["requests"].GetArray();
    EXPECT_EQ(requests.Size(), 2u) << answer->body;
    for (const auto& request : requests) {
        const std::string endpoint =
            request["method"].GetString() + std::string(" ") + request["endpoint"].GetString();
        EXPECT_NE(std::string(request["code"].GetString()), "INVALID_HEADERS") << endpoint;
        ASSERT_TRUE(request["errors"].IsArray());
        for (const auto& error : request["errors"].GetArray()) {
            ADD_FAILURE() << endpoint << ": " << error["headers"][0].GetString() << ": "
                          << error["message"].GetString();
        }
        // Warnings are expected (headers this program does not send by design); list them so
        // a run shows what HMRC would query.
        for (const auto& warning : request["warnings"].GetArray()) {
            std::cout << "[ warning ] " << endpoint << ": " << warning["headers"][0].GetString()
                      << ": " << warning["message"].GetString() << "\n";
        }
    }
}

}  // namespace
