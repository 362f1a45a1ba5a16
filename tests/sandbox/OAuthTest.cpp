#include <regex>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::string kOobEncoded = "urn%3Aietf%3Awg%3Aoauth%3A2.0%3Aoob";

std::string CodeBody(const std::string& code,
                     const std::string& secret = std::string(kDemoClientSecret)) {
    return "client_secret=" + secret + "&client_id=" + std::string(kDemoClientId) +
           "&grant_type=authorization_code&redirect_uri=" + kOobEncoded + "&code=" + code;
}

std::string RefreshBody(const std::string& refresh) {
    return "client_secret=" + std::string(kDemoClientSecret) +
           "&client_id=" + std::string(kDemoClientId) +
           "&grant_type=refresh_token&refresh_token=" + refresh;
}

class OAuth : public SandboxFixture {};

TEST_F(OAuth, JourneyThroughTheSignInPageEndsWithWorkingTokens) {
    const HttpAnswer redirect = m_client.Get(
        Url("/oauth/authorize?response_type=code&client_id=") + std::string(kDemoClientId) +
        "&scope=read:vat+write:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
    ASSERT_EQ(redirect.status, 302);
    const std::string location = redirect.Header("Location").value_or("");
    ASSERT_EQ(location.rfind(Url("/oauth/start?auth_id="), 0), 0u) << location;

    const HttpAnswer page = m_client.Get(location);
    EXPECT_EQ(page.status, 200);
    for (const char* text : {"Calvenor (demo)", "read:vat", "write:vat", "Grant authority"})
        EXPECT_NE(page.body.find(text), std::string::npos) << text;

    const std::string authId = location.substr(location.find('=') + 1);
    const HttpAnswer granted =
        m_client.Post(Url("/oauth/grant"), "auth_id=" + authId + "&decision=grant");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(granted.body, match,
                                  std::regex("<title>Success code=([0-9a-f]{32})</title>")))
        << granted.body;
    const std::string code = match[1];
    EXPECT_NE(granted.body.find("value=\"" + code + "\""), std::string::npos);
    // The sign-in link is spent.
    EXPECT_EQ(m_client.Post(Url("/oauth/grant"), "auth_id=" + authId + "&decision=grant").status,
              400);

    const HttpAnswer tokens = m_client.Post(Url("/oauth/token"), CodeBody(code));
    ASSERT_EQ(tokens.status, 200) << tokens.body;
    const auto doc = Parse(tokens.body);
    ASSERT_TRUE(doc.IsObject());
    EXPECT_TRUE(doc["access_token"].IsString());
    EXPECT_TRUE(doc["refresh_token"].IsString());
    EXPECT_EQ(doc["expires_in"].GetInt(), 14400);
    EXPECT_STREQ(doc["scope"].GetString(), "read:vat write:vat");
    EXPECT_STREQ(doc["token_type"].GetString(), "bearer");
    EXPECT_EQ(
        m_client
            .Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(doc["access_token"].GetString()))
            .status,
        200);

    // Codes are single-use.
    const HttpAnswer again = m_client.Post(Url("/oauth/token"), CodeBody(code));
    EXPECT_EQ(again.status, 400);
    EXPECT_EQ(Member(again.body, "error"), "invalid_grant");
}

TEST_F(OAuth, DenyingGivesNoCode) {
    const HttpAnswer redirect = m_client.Get(
        Url("/oauth/authorize?response_type=code&client_id=") + std::string(kDemoClientId) +
        "&scope=read:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob");
    const std::string location = redirect.Header("Location").value_or("");
    const std::string authId = location.substr(location.find('=') + 1);
    const HttpAnswer denied =
        m_client.Post(Url("/oauth/grant"), "auth_id=" + authId + "&decision=deny");
    EXPECT_NE(denied.body.find("access_denied"), std::string::npos);
    EXPECT_EQ(denied.body.find("Success code="), std::string::npos);
}

TEST_F(OAuth, RefreshIsSingleUseAndRetiresThePreviousAccessToken) {
    const TokenSet first = Authorise(*m_server, m_client);
    const HttpAnswer refreshed =
        m_client.Post(Url("/oauth/token"), RefreshBody(first.refreshToken));
    ASSERT_EQ(refreshed.status, 200) << refreshed.body;
    const std::string newAccess = Member(refreshed.body, "access_token");
    EXPECT_NE(newAccess, first.accessToken);
    EXPECT_NE(Member(refreshed.body, "refresh_token"), first.refreshToken);

    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(newAccess)).status,
              200);
    const HttpAnswer old =
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(first.accessToken));
    EXPECT_EQ(old.status, 401);
    EXPECT_EQ(Member(old.body, "code"), "INVALID_CREDENTIALS");

    const HttpAnswer reused = m_client.Post(Url("/oauth/token"), RefreshBody(first.refreshToken));
    EXPECT_EQ(reused.status, 400);
    EXPECT_EQ(Member(reused.body, "error"), "invalid_grant");
}

TEST_F(OAuth, CodesExpireAfterTenMinutesAndAccessTokensAfterFourHours) {
    const std::string lateCode = m_server->GrantCode();
    Advance(std::chrono::seconds(10 * 60 + 1));
    EXPECT_EQ(Member(m_client.Post(Url("/oauth/token"), CodeBody(lateCode)).body, "error"),
              "invalid_grant");

    const TokenSet tokens = Authorise(*m_server, m_client);
    Advance(std::chrono::seconds(4 * 60 * 60 - 1));
    EXPECT_EQ(
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(tokens.accessToken)).status,
        200);
    Advance(std::chrono::seconds(2));
    EXPECT_EQ(
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(tokens.accessToken)).status,
        401);
    // The refresh token outlives the access token.
    EXPECT_EQ(m_client.Post(Url("/oauth/token"), RefreshBody(tokens.refreshToken)).status, 200);
}

TEST_F(OAuth, TestHelpersExpireAndRevoke) {
    const TokenSet tokens = Authorise(*m_server, m_client);
    m_server->ExpireAccessTokens();
    EXPECT_EQ(
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(tokens.accessToken)).status,
        401);
    const HttpAnswer refreshed =
        m_client.Post(Url("/oauth/token"), RefreshBody(tokens.refreshToken));
    ASSERT_EQ(refreshed.status, 200);

    m_server->RevokeAllTokens();
    EXPECT_EQ(
        Member(
            m_client.Post(Url("/oauth/token"), RefreshBody(Member(refreshed.body, "refresh_token")))
                .body,
            "error"),
        "invalid_grant");

    const std::string code = m_server->GrantCode();
    m_server->ExpireAuthorisationCodes();
    EXPECT_EQ(Member(m_client.Post(Url("/oauth/token"), CodeBody(code)).body, "error"),
              "invalid_grant");
}

TEST_F(OAuth, PercentEncodedFormValuesAreDecoded) {
    // A secret holding form separators only survives when the client encodes it.
    m_server->AddApplication("second-app", "s3cr&t=x+y z", "Second");
    const std::string code = m_server->GrantCode("second-app");
    const HttpAnswer answer =
        m_client.Post(Url("/oauth/token"),
                      "client_secret=s3cr%26t%3Dx%2By%20z&client_id=second-app"
                      "&grant_type=authorization_code&redirect_uri=" +
                          kOobEncoded + "&code=" + code);
    EXPECT_EQ(answer.status, 200) << answer.body;
    const HttpAnswer raw = m_client.Post(Url("/oauth/token"),
                                         "client_secret=s3cr&t=x+y z&client_id=second-app"
                                         "&grant_type=refresh_token&refresh_token=x");
    EXPECT_EQ(raw.status, 401);
}

struct AuthorizeCase {
    const char* name;
    const char* query;
    const char* error;
};

class AuthorizeErrors : public SandboxFixture,
                        public ::testing::WithParamInterface<AuthorizeCase> {};

TEST_P(AuthorizeErrors, AnswerFourHundredWithOAuthBody) {
    const HttpAnswer answer = m_client.Get(Url("/oauth/authorize?") + GetParam().query);
    EXPECT_EQ(answer.status, 400) << answer.body;
    EXPECT_EQ(Member(answer.body, "error"), GetParam().error);
    EXPECT_NE(Member(answer.body, "error_description"), "<absent>");
    EXPECT_FALSE(answer.Header("Location"));
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, AuthorizeErrors,
    ::testing::Values(
        AuthorizeCase{"UnknownClient",
                      "response_type=code&client_id=nobody&scope=read:vat&redirect_uri=urn:ietf:wg:"
                      "oauth:2.0:oob",
                      "invalid_client"},
        AuthorizeCase{"MissingClient",
                      "response_type=code&scope=read:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob",
                      "invalid_request"},
        AuthorizeCase{"TokenResponseType",
                      "response_type=token&client_id=calvenor-demo-client&scope=read:vat&redirect_"
                      "uri=urn:ietf:wg:oauth:2.0:oob",
                      "unsupported_response_type"},
        AuthorizeCase{"ForeignRedirect",
                      "response_type=code&client_id=calvenor-demo-client&scope=read:vat&redirect_"
                      "uri=https://evil.example/",
                      "invalid_request"},
        AuthorizeCase{"UnknownScope",
                      "response_type=code&client_id=calvenor-demo-client&scope=read:vat+write:"
                      "everything&redirect_uri=urn:ietf:wg:oauth:2.0:oob",
                      "invalid_scope"},
        AuthorizeCase{"MissingScope",
                      "response_type=code&client_id=calvenor-demo-client&redirect_uri=urn:ietf:wg:"
                      "oauth:2.0:oob",
                      "invalid_request"},
        AuthorizeCase{"RepeatedParameter",
                      "response_type=code&client_id=calvenor-demo-client&client_id=other&scope="
                      "read:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob",
                      "invalid_request"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TokenCase {
    const char* name;
    std::string body;  // "{CODE}" becomes a freshly granted code
    int status;
    const char* error;
};

class TokenErrors : public SandboxFixture, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(TokenErrors, AnswerWithOAuthError) {
    std::string body = GetParam().body;
    const auto at = body.find("{CODE}");
    if (at != std::string::npos)
        body.replace(at, 6, m_server->GrantCode());
    const HttpAnswer answer = m_client.Post(Url("/oauth/token"), body);
    EXPECT_EQ(answer.status, GetParam().status) << answer.body;
    EXPECT_EQ(Member(answer.body, "error"), GetParam().error);
    EXPECT_EQ(Member(answer.body, "access_token"), "<absent>");
}

const std::string kApp = "client_id=calvenor-demo-client&client_secret=calvenor-demo-secret";
INSTANTIATE_TEST_SUITE_P(
    Sandbox, TokenErrors,
    ::testing::Values(
        TokenCase{"WrongSecret",
                  "client_id=calvenor-demo-client&client_secret=wrong&grant_type=authorization_"
                  "code&redirect_uri=" +
                      kOobEncoded + "&code={CODE}",
                  401, "invalid_client"},
        TokenCase{"UnknownClient",
                  "client_id=nobody&client_secret=x&grant_type=authorization_code&redirect_uri=" +
                      kOobEncoded + "&code={CODE}",
                  401, "invalid_client"},
        TokenCase{"MissingSecret",
                  "client_id=calvenor-demo-client&grant_type=authorization_code&redirect_uri=" +
                      kOobEncoded + "&code={CODE}",
                  401, "invalid_client"},
        TokenCase{"MissingGrantType", kApp + "&redirect_uri=" + kOobEncoded + "&code={CODE}", 400,
                  "invalid_request"},
        TokenCase{"PasswordGrant", kApp + "&grant_type=password&username=a&password=b", 400,
                  "unsupported_grant_type"},
        TokenCase{"MissingCode",
                  kApp + "&grant_type=authorization_code&redirect_uri=" + kOobEncoded, 400,
                  "invalid_request"},
        TokenCase{"MissingRedirect", kApp + "&grant_type=authorization_code&code={CODE}", 400,
                  "invalid_request"},
        TokenCase{
            "UnknownCode",
            kApp + "&grant_type=authorization_code&redirect_uri=" + kOobEncoded + "&code=0123", 400,
            "invalid_grant"},
        TokenCase{
            "OtherRedirect",
            kApp +
                "&grant_type=authorization_code&redirect_uri=https%3A%2F%2Fx.example&code={CODE}",
            400, "invalid_grant"},
        TokenCase{"InjectedCode",
                  kApp + "&grant_type=authorization_code&redirect_uri=" + kOobEncoded +
                      "&code={CODE}&client_id=other",
                  400, "invalid_request"},
        TokenCase{"MissingRefreshToken", kApp + "&grant_type=refresh_token", 400,
                  "invalid_request"},
        TokenCase{"UnknownRefreshToken", kApp + "&grant_type=refresh_token&refresh_token=feed", 400,
                  "invalid_grant"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::sandbox::test
