// Behaviours that take more than one request: the sign-in page, token lifetimes and the
// fraud-prevention feedback.
#include <regex>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

using Sequence = SandboxFixture;

TEST_F(Sequence, SignInGrantsOneCodeOrDeniesAndEachLinkAndCodeWorksOnce) {
    for (const std::string decision : {"deny", "grant"}) {
        const std::string location =
            m_client
                ->Get(
                    "/oauth/authorize?response_type=code&client_id=calvenor-demo-client&scope="
                    "read:vat+write:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob")
                ->get_header_value("Location");
        ASSERT_TRUE(location.starts_with(m_server->BaseUrl() + "/oauth/start?auth_id="))
            << location;
        const std::string page = m_client->Get(location.substr(location.find("/oauth")))->body;
        for (const char* text : {"Calvenor (demo)", "read:vat", "write:vat", "Grant authority"})
            EXPECT_NE(page.find(text), std::string::npos) << text;
        const std::string form = "auth_id=" + location.substr(location.find('=') + 1);
        const std::string answer = Form("/oauth/grant", form + "&decision=" + decision)->body;
        EXPECT_EQ(Form("/oauth/grant", form + "&decision=grant")->status, 400);
        std::smatch code;
        const bool granted = std::regex_search(answer, code, std::regex("code=([0-9a-f]{32})<"));
        ASSERT_EQ(granted, decision == "grant") << answer;
        EXPECT_EQ(answer.find("error=access_denied") != std::string::npos, !granted);
        if (granted) {
            EXPECT_EQ(Form("/oauth/token", kCodeForm + code[1].str())->status, 200);
            EXPECT_EQ(Form("/oauth/token", kCodeForm + code[1].str())->status, 400);
        }
    }
}

TEST_F(Sequence, TokensLiveAsLongAsHmrcsAndRefreshIsSingleUse) {
    const auto use = [this](const std::string& tokens) {
        const std::string access = Member(tokens, "access_token");
        return m_client->Get("/organisations/vat/100000001/obligations?status=O", Vat(access))
            ->status;
    };
    const auto refresh = [this](const std::string& tokens) {
        return Form("/oauth/token",
                    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-"
                    "client&grant_type=refresh_token&refresh_token=" +
                        Member(tokens, "refresh_token"))
            ->body;
    };
    const std::string lateCode = m_server->GrantCode();
    m_now = m_now.load() + std::chrono::seconds(10 * 60 + 1);
    EXPECT_EQ(Form("/oauth/token", kCodeForm + lateCode)->status, 400);
    const std::string first = Form("/oauth/token", kCodeForm + m_server->GrantCode())->body;
    m_now = m_now.load() + std::chrono::seconds(4 * 60 * 60 - 1);
    EXPECT_EQ(use(first), 200);
    m_now = m_now.load() + std::chrono::seconds(2);
    EXPECT_EQ(use(first), 401);
    const std::string second = refresh(first);
    EXPECT_EQ(use(second), 200);
    EXPECT_EQ(Member(refresh(first), "error"), "invalid_grant");
    const std::string third = refresh(second);
    EXPECT_EQ(use(second), 401);  // retired by the refresh
    m_server->ExpireAccessTokens();
    EXPECT_EQ(use(third), 401);
    m_server->RevokeAllTokens();
    EXPECT_EQ(Member(refresh(third), "error"), "invalid_grant");
}

// The feedback judges the headers as the server library hands them over (decoded), so a
// conforming set sent percent-encoded passes.
TEST_F(Sequence, FeedbackReportsTheLastRequestToEachEndpoint) {
    const std::string feedback =
        "/test/fraud-prevention-headers/vat-mtd/validation-feedback?connectionMethod=";
    EXPECT_EQ(m_client->Get(feedback + "DESKTOP_APP_DIRECT")->status, 404);
    EXPECT_EQ(m_client->Get(feedback + "WEB_APP_VIA_SERVER")->status, 400);
    auto good = Vat(Token());
    for (const auto& line : ConformingHeaders())
        good.emplace(line.substr(0, line.find(':')), line.substr(line.find(':') + 2));
    auto bad = good;
    bad.erase("Gov-Client-Timezone");
    const char* path = "/organisations/vat/100000001/obligations?status=O";
    m_client->Get(path, bad);
    m_client->Get(path, good);  // the last one counts
    m_client->Post("/organisations/vat/100000001/returns", bad, ValidReturn(), "application/json");

    rapidjson::Document doc;
    doc.Parse(m_client->Get(feedback + "DESKTOP_APP_DIRECT")->body.c_str());
    ASSERT_TRUE(doc.IsObject() && doc["requests"].Size() == 2);
    for (const auto& request : doc["requests"].GetArray()) {
        const bool get = std::string(request["method"].GetString()) == "GET";
        EXPECT_STREQ(request["endpoint"].GetString(), get ? "/organisations/vat/{vrn}/obligations"
                                                          : "/organisations/vat/{vrn}/returns");
        EXPECT_STREQ(request["code"].GetString(),
                     get ? "POTENTIALLY_INVALID_HEADERS" : "INVALID_HEADERS");
        const auto& finding = request[get ? "warnings" : "errors"][0];
        EXPECT_STREQ(finding["headers"][0].GetString(),
                     get ? "gov-client-multi-factor" : "gov-client-timezone");
        EXPECT_EQ(request["errors"].Size() + request["warnings"].Size(), get ? 1u : 2u);
    }
}

}  // namespace
}  // namespace calvenor::sandbox::test
