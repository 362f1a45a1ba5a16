#include <regex>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::string kAuthorizeQuery =
    "response_type=code&client_id=calvenor-demo-client&scope=read:vat+write:vat&redirect_uri=urn:"
    "ietf:wg:oauth:2.0:oob";
const std::string kCodeForm =
    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-client&grant_type=authorization_"
    "code&redirect_uri=urn%3Aietf%3Awg%3Aoauth%3A2.0%3Aoob&code={CODE}";
const std::string kRefreshForm =
    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-client&grant_type=refresh_token&"
    "refresh_token=";

// `text` ("a=1&b=2") without the parameter named `drop`, then with `add` appended.
std::string Edited(const std::string& text, const std::string& drop, const std::string& add) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t to = 0; to != std::string::npos; from = to + 1) {
        to = text.find('&', from);
        const std::string part = text.substr(from, to == std::string::npos ? to : to - from);
        if (drop.empty() || part.rfind(drop + "=", 0) != 0)
            out += (out.empty() ? "" : "&") + part;
    }
    return add.empty() ? out : out + "&" + add;
}

class OAuth : public SandboxFixture {
protected:
    std::string CodeForm(const std::string& code) {
        return Edited(kCodeForm, "code", "code=" + code);
    }
    HttpAnswer Redeem(const std::string& code) {
        return m_client.Post(Url("/oauth/token"), CodeForm(code));
    }
    HttpAnswer Refresh(const std::string& token) {
        return m_client.Post(Url("/oauth/token"), kRefreshForm + token);
    }
    long Use(const std::string& accessToken) {
        return m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(accessToken)).status;
    }
};

TEST_F(OAuth, SignInPageGrantsOneCodeOrDeniesAndEachLinkWorksOnce) {
    for (const std::string decision : {"deny", "grant"}) {
        const HttpAnswer redirect = m_client.Get(Url("/oauth/authorize?") + kAuthorizeQuery);
        EXPECT_EQ(redirect.status, 302);
        const std::string location = redirect.Header("Location").value_or("");
        ASSERT_EQ(location.rfind(Url("/oauth/start?auth_id="), 0), 0u) << location;
        const std::string page = m_client.Get(location).body;
        for (const char* text : {"Calvenor (demo)", "read:vat", "write:vat", "Grant authority"})
            EXPECT_NE(page.find(text), std::string::npos) << text;
        const std::string form = "auth_id=" + location.substr(location.find('=') + 1);
        const HttpAnswer answer =
            m_client.Post(Url("/oauth/grant"), form + "&decision=" + decision);
        EXPECT_EQ(m_client.Post(Url("/oauth/grant"), form + "&decision=grant").status, 400);
        std::smatch match;
        const bool granted = std::regex_search(
            answer.body, match, std::regex("<title>Success code=([0-9a-f]{32})</title>"));
        ASSERT_EQ(granted, decision == "grant") << answer.body;
        if (!granted) {
            EXPECT_NE(answer.body.find("access_denied"), std::string::npos);
            continue;
        }
        const std::string code = match[1];
        EXPECT_NE(answer.body.find("value=\"" + code + "\""), std::string::npos);
        const HttpAnswer tokens = Redeem(code);
        ASSERT_EQ(tokens.status, 200) << tokens.body;
        const auto doc = Parse(tokens.body);
        ASSERT_TRUE(doc.IsObject() && doc["access_token"].IsString() &&
                    doc["refresh_token"].IsString());
        EXPECT_EQ(doc["expires_in"].GetInt(), 14400);
        EXPECT_STREQ(doc["scope"].GetString(), "read:vat write:vat");
        EXPECT_STREQ(doc["token_type"].GetString(), "bearer");
        EXPECT_EQ(Use(doc["access_token"].GetString()), 200);
        EXPECT_EQ(Member(Redeem(code).body, "error"), "invalid_grant");  // codes are single-use
    }
}

TEST_F(OAuth, RefreshIsSingleUseAndRetiresThePreviousAccessToken) {
    const TokenSet first = Authorise(*m_server, m_client);
    const HttpAnswer refreshed = Refresh(first.refreshToken);
    ASSERT_EQ(refreshed.status, 200) << refreshed.body;
    EXPECT_NE(Member(refreshed.body, "refresh_token"), first.refreshToken);
    EXPECT_EQ(Use(Member(refreshed.body, "access_token")), 200);
    const HttpAnswer old =
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(first.accessToken));
    EXPECT_EQ(old.status, 401);
    EXPECT_EQ(Member(old.body, "code"), "INVALID_CREDENTIALS");
    EXPECT_EQ(Member(Refresh(first.refreshToken).body, "error"), "invalid_grant");
}

TEST_F(OAuth, CodesLastTenMinutesAndAccessTokensFourHours) {
    const std::string lateCode = m_server->GrantCode();
    Advance(std::chrono::seconds(10 * 60 + 1));
    EXPECT_EQ(Member(Redeem(lateCode).body, "error"), "invalid_grant");

    const TokenSet tokens = Authorise(*m_server, m_client);
    Advance(std::chrono::seconds(4 * 60 * 60 - 1));
    EXPECT_EQ(Use(tokens.accessToken), 200);
    Advance(std::chrono::seconds(2));
    EXPECT_EQ(Use(tokens.accessToken), 401);
    // The refresh token outlives the access token.
    EXPECT_EQ(Refresh(tokens.refreshToken).status, 200);
}

TEST_F(OAuth, TestHelpersExpireAndRevoke) {
    const TokenSet tokens = Authorise(*m_server, m_client);
    const std::string code = m_server->GrantCode();
    m_server->ExpireAccessTokens();
    m_server->ExpireAuthorisationCodes();
    EXPECT_EQ(Use(tokens.accessToken), 401);
    EXPECT_EQ(Member(Redeem(code).body, "error"), "invalid_grant");
    const HttpAnswer refreshed = Refresh(tokens.refreshToken);
    ASSERT_EQ(refreshed.status, 200);
    m_server->RevokeAllTokens();
    EXPECT_EQ(Use(Member(refreshed.body, "access_token")), 401);
    EXPECT_EQ(Member(Refresh(Member(refreshed.body, "refresh_token")).body, "error"),
              "invalid_grant");
}

TEST_F(OAuth, PercentEncodedFormValuesAreDecoded) {
    // A secret holding form separators only survives when the client encodes it.
    m_server->AddApplication("second-app", "s3cr&t=x+y z", "Second");
    const std::string form =
        Edited(CodeForm(m_server->GrantCode("second-app")), "client_id", "client_id=second-app");
    EXPECT_EQ(m_client
                  .Post(Url("/oauth/token"),
                        Edited(form, "client_secret", "client_secret=s3cr%26t%3Dx%2By%20z"))
                  .status,
              200);
    EXPECT_EQ(
        m_client
            .Post(Url("/oauth/token"), Edited(form, "client_secret", "client_secret=s3cr&t=x+y z"))
            .status,
        401);
}

// Each row takes the good authorisation query (or code form) apart: one parameter left out,
// another added.
struct Bad {
    const char* name;
    bool token;  // the token endpoint; otherwise the authorisation one
    const char* drop;
    const char* add;
    int status;
    const char* error;
};

class OAuthErrors : public OAuth, public ::testing::WithParamInterface<Bad> {};

TEST_P(OAuthErrors, AnswerWithTheOAuthErrorAndGiveNothingAway) {
    const Bad& c = GetParam();
    const HttpAnswer answer =
        c.token ? m_client.Post(Url("/oauth/token"),
                                Edited(CodeForm(m_server->GrantCode()), c.drop, c.add))
                : m_client.Get(Url("/oauth/authorize?") + Edited(kAuthorizeQuery, c.drop, c.add));
    EXPECT_EQ(answer.status, c.status) << answer.body;
    EXPECT_EQ(Member(answer.body, "error"), c.error);
    EXPECT_EQ(Member(answer.body, "access_token"), "<absent>");
    if (!c.token) {
        EXPECT_NE(Member(answer.body, "error_description"), "<absent>");
        EXPECT_FALSE(answer.Header("Location"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, OAuthErrors,
    ::testing::Values(
        Bad{"AuthorizeUnknownClient", false, "client_id", "client_id=nobody", 400,
            "invalid_client"},
        Bad{"AuthorizeMissingClient", false, "client_id", "", 400, "invalid_request"},
        Bad{"AuthorizeTokenResponseType", false, "response_type", "response_type=token", 400,
            "unsupported_response_type"},
        Bad{"AuthorizeForeignRedirect", false, "redirect_uri", "redirect_uri=https://evil.example/",
            400, "invalid_request"},
        Bad{"AuthorizeUnknownScope", false, "scope", "scope=read:vat+write:everything", 400,
            "invalid_scope"},
        Bad{"AuthorizeMissingScope", false, "scope", "", 400, "invalid_request"},
        Bad{"AuthorizeRepeatedParameter", false, "", "client_id=other", 400, "invalid_request"},
        Bad{"TokenWrongSecret", true, "client_secret", "client_secret=wrong", 401,
            "invalid_client"},
        Bad{"TokenUnknownClient", true, "client_id", "client_id=nobody", 401, "invalid_client"},
        Bad{"TokenMissingSecret", true, "client_secret", "", 401, "invalid_client"},
        Bad{"TokenMissingGrantType", true, "grant_type", "", 400, "invalid_request"},
        Bad{"TokenPasswordGrant", true, "grant_type", "grant_type=password&username=a&password=b",
            400, "unsupported_grant_type"},
        Bad{"TokenMissingCode", true, "code", "", 400, "invalid_request"},
        Bad{"TokenMissingRedirect", true, "redirect_uri", "", 400, "invalid_request"},
        Bad{"TokenUnknownCode", true, "code", "code=0123", 400, "invalid_grant"},
        Bad{"TokenOtherRedirect", true, "redirect_uri", "redirect_uri=https%3A%2F%2Fx.example", 400,
            "invalid_grant"},
        Bad{"TokenInjectedParameter", true, "", "client_id=other", 400, "invalid_request"},
        Bad{"TokenMissingRefreshToken", true, "grant_type", "grant_type=refresh_token", 400,
            "invalid_request"},
        Bad{"TokenUnknownRefreshToken", true, "grant_type",
            "grant_type=refresh_token&refresh_token=feed", 400, "invalid_grant"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::sandbox::test
