// Behaviours that take more than one request: the sign-in page, token lifetimes, a filed return
// seen again, and the fraud-prevention feedback.
#include <regex>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

using Sequence = SandboxFixture;

TEST_F(Sequence, SignInGrantsOneCodeOrDeniesAndEachLinkAndCodeWorksOnce) {
    for (const std::string decision : {"deny", "grant"}) {
        const auto redirect = m_client->Get(
            "/oauth/authorize?response_type=code&client_id=calvenor-demo-client&scope=read:vat+"
            "write:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
        const std::string location = redirect->get_header_value("Location");
        ASSERT_TRUE(location.starts_with(m_server->BaseUrl() + "/oauth/start?auth_id="))
            << location;
        const std::string page =
            m_client->Get(location.substr(location.find("/oauth")).c_str())->body;
        for (const char* text : {"Calvenor (demo)", "read:vat", "write:vat", "Grant authority"})
            EXPECT_NE(page.find(text), std::string::npos) << text;
        const std::string form = "auth_id=" + location.substr(location.find('=') + 1);
        const std::string answer = Form("/oauth/grant", form + "&decision=" + decision)->body;
        EXPECT_EQ(Form("/oauth/grant", form + "&decision=grant")->status, 400);
        std::smatch code;
        const bool granted =
            std::regex_search(answer, code, std::regex("<title>Success code=([0-9a-f]{32})<"));
        ASSERT_EQ(granted, decision == "grant") << answer;
        if (!granted) {
            EXPECT_NE(answer.find("error=access_denied"), std::string::npos);
            continue;
        }
        EXPECT_EQ(Form("/oauth/token", kCodeForm + code[1].str())->status, 200);
        EXPECT_EQ(Member(Form("/oauth/token", kCodeForm + code[1].str())->body, "error"),
                  "invalid_grant");
    }
}

TEST_F(Sequence, TokensLiveAsLongAsHmrcsAndRefreshIsSingleUse) {
    const auto obligations = [this](const std::string& token) {
        return m_client->Get("/organisations/vat/100000001/obligations?status=O", Vat(token))
            ->status;
    };
    const auto refresh = [this](const std::string& token) {
        return Form("/oauth/token",
                    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-client&grant_"
                    "type=refresh_token&refresh_token=" +
                        token)
            ->body;
    };
    const std::string lateCode = m_server->GrantCode();
    Advance(std::chrono::seconds(10 * 60 + 1));
    EXPECT_EQ(Member(Form("/oauth/token", kCodeForm + lateCode)->body, "error"), "invalid_grant");

    const std::string first = Form("/oauth/token", kCodeForm + m_server->GrantCode())->body;
    Advance(std::chrono::seconds(4 * 60 * 60 - 1));
    EXPECT_EQ(obligations(Member(first, "access_token")), 200);
    Advance(std::chrono::seconds(2));
    EXPECT_EQ(obligations(Member(first, "access_token")), 401);
    const std::string second = refresh(Member(first, "refresh_token"));
    EXPECT_EQ(obligations(Member(second, "access_token")), 200);
    EXPECT_EQ(Member(refresh(Member(first, "refresh_token")), "error"), "invalid_grant");

    const std::string third = refresh(Member(second, "refresh_token"));
    EXPECT_EQ(obligations(Member(second, "access_token")), 401);  // retired by the refresh
    m_server->ExpireAccessTokens();
    EXPECT_EQ(obligations(Member(third, "access_token")), 401);
    m_server->RevokeAllTokens();
    EXPECT_EQ(Member(refresh(Member(third, "refresh_token")), "error"), "invalid_grant");
}

TEST_F(Sequence, AFiledReturnFulfilsItsPeriodAndIsViewedByItsKey) {
    const auto headers = Vat(Token());
    const auto filed = m_client->Post("/organisations/vat/100000003/returns", headers,
                                      ValidReturn("#604"), "application/json");
    ASSERT_EQ(filed->status, 201) << filed->body;
    EXPECT_EQ(m_server->FiledReturns().at(0).receiptId, filed->get_header_value("Receipt-ID"));
    EXPECT_NE(m_client
                  ->Get("/organisations/vat/100000003/obligations?status=F&from=2026-01-01&to="
                        "2026-12-31",
                        headers)
                  ->body.find(R"("periodKey":"#604","received":"2026-05-15")"),
              std::string::npos);
    // Figures come back as JSON numbers, without "finalised".
    EXPECT_EQ(
        m_client->Get("/organisations/vat/100000003/returns/%23604", headers)->body,
        R"({"periodKey":"#604","vatDueSales":1234.50,"vatDueAcquisitions":0.00,"totalVatDue":1234.50,)"
        R"("vatReclaimedCurrPeriod":100.00,"netVatDue":1134.50,"totalValueSalesExVAT":6172,)"
        R"("totalValuePurchasesExVAT":500,"totalValueGoodsSuppliedExVAT":0,"totalAcquisitionsExVAT":0})");
}

// The headers a conforming filer sends, as it sends them (percent-encoded).
const httplib::Headers kConforming = {
    {"Gov-Client-Connection-Method", "DESKTOP_APP_DIRECT"},
    {"Gov-Client-MAC-Addresses", "0A%3A1B%3A2C%3A3D%3A4E%3A5F"},
    {"Gov-Client-Device-ID", "beec798b-b366-47fa-b1f8-92cede14a1ce"},
    {"Gov-Client-Local-IPs-Timestamp", "2026-03-07T09:05:03.042Z"},
    {"Gov-Client-Local-IPs", "192.168.1.10,2001%3Adb8%3A%3A1"},
    {"Gov-Vendor-Version", "Calvenor=2.12.2"},
    {"Gov-Client-User-Agent",
     "os-family=Linux&os-version=Debian%2012&device-manufacturer=Dell%20Inc.&device-model=XPS"},
    {"Gov-Client-User-IDs", "os=Zo%C3%AB%20O%22Brien"},
    {"Gov-Client-Timezone", "UTC+01:00"},
    {"Gov-Client-Screens", "width=1920&height=1080&scaling-factor=1.25&colour-depth=24"},
    {"Gov-Client-Window-Size", "width=363&height=411"},
    {"Gov-Vendor-License-IDs",
     "Calvenor=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"},
    {"Gov-Vendor-Product-Name", "Calvenor"}};

TEST_F(Sequence, FeedbackReportsTheLastRequestToEachEndpoint) {
    const char* feedback =
        "/test/fraud-prevention-headers/vat-mtd/validation-feedback?connectionMethod=";
    EXPECT_EQ(m_client->Get(std::string(feedback) + "DESKTOP_APP_DIRECT")->status, 404);
    EXPECT_EQ(m_client->Get(std::string(feedback) + "WEB_APP_VIA_SERVER")->status, 400);
    auto good = Vat(Token());
    good.insert(kConforming.begin(), kConforming.end());
    auto bad = good;
    bad.erase("Gov-Client-Timezone");
    const char* path = "/organisations/vat/100000001/obligations?status=O";
    EXPECT_EQ(m_client->Get(path, bad)->status, 200);
    EXPECT_EQ(m_client->Get(path, good)->status, 200);  // the last one counts
    m_client->Post("/organisations/vat/100000001/returns", bad, ValidReturn(), "application/json");

    const auto answer = m_client->Get(std::string(feedback) + "DESKTOP_APP_DIRECT");
    rapidjson::Document doc;
    doc.Parse(answer->body.c_str());
    ASSERT_TRUE(doc.IsObject() && doc["requests"].Size() == 2) << answer->body;
    for (const auto& request : doc["requests"].GetArray()) {
        const bool get = std::string(request["method"].GetString()) == "GET";
        EXPECT_STREQ(request["endpoint"].GetString(), get ? "/organisations/vat/{vrn}/obligations"
                                                          : "/organisations/vat/{vrn}/returns");
        EXPECT_STREQ(request["code"].GetString(),
                     get ? "POTENTIALLY_INVALID_HEADERS" : "INVALID_HEADERS");
        const auto& finding = request[get ? "warnings" : "errors"][0];
        EXPECT_STREQ(finding["code"].GetString(),
                     get ? "POTENTIALLY_INVALID_HEADER" : "INVALID_HEADER");
        EXPECT_STREQ(finding["headers"][0].GetString(),
                     get ? "gov-client-multi-factor" : "gov-client-timezone");
        EXPECT_EQ(request["errors"].Size() + request["warnings"].Size(), get ? 1u : 2u);
    }
}

}  // namespace
}  // namespace calvenor::sandbox::test
