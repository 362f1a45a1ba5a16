#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <httplib.h>

#include "SandboxImpl.h"
#include "SandboxWire.h"
#include "Text.h"

namespace calvenor::sandbox {
namespace {

constexpr long long kRefreshTokenLifetimeSeconds = 18LL * 30 * 24 * 60 * 60;

const std::map<std::string, std::string>& KnownScopes() {
    static const std::map<std::string, std::string> scopes = {
        {"read:vat", "View your VAT information"},
        {"write:vat", "Change your VAT information"},
    };
    return scopes;
}

void ExpiredSignIn(httplib::Response& res) {
    HtmlAnswer(res, 400, "Sign-in link not valid",
               "<h1>This sign-in link is not valid</h1>\n<p>It has expired or has already been "
               "used. Start the authorisation again from Calvenor.</p>");
}

}  // namespace

void SandboxServer::Impl::Authorize(const httplib::Request& req, httplib::Response& res) {
    const FormParams query = QueryOf(req);
    for (const auto& [name, values] : query)
        if (values.size() > 1)
            return OAuthError(res, 400, "invalid_request", name + " is repeated");
    auto param = [&query](const char* name) -> std::optional<std::string> {
        const auto it = query.find(name);
        if (it == query.end())
            return std::nullopt;
        return it->second.front();
    };
    const auto clientId = param("client_id");
    if (!clientId || clientId->empty())
        return OAuthError(res, 400, "invalid_request", "client_id is required");
    std::lock_guard lock(mutex);
    if (!model.applications.count(*clientId))
        return OAuthError(res, 400, "invalid_client", "Unknown client_id");
    const auto responseType = param("response_type");
    if (!responseType)
        return OAuthError(res, 400, "invalid_request", "response_type is required");
    if (*responseType != "code")
        return OAuthError(res, 400, "unsupported_response_type", "response_type must be code");
    const auto redirectUri = param("redirect_uri");
    if (!redirectUri)
        return OAuthError(res, 400, "invalid_request", "redirect_uri is required");
    if (*redirectUri != kOob)
        return OAuthError(res, 400, "invalid_request",
                          "redirect_uri is not registered for this application");
    const auto scope = param("scope");
    if (!scope || Trim(*scope).empty())
        return OAuthError(res, 400, "invalid_request", "scope is required");
    std::string scopes;
    {
        std::size_t from = 0;
        const std::string& s = *scope;
        while (from <= s.size()) {
            auto space = s.find(' ', from);
            if (space == std::string::npos)
                space = s.size();
            const std::string one = s.substr(from, space - from);
            from = space + 1;
            if (one.empty())
                continue;
            if (!KnownScopes().count(one))
                return OAuthError(res, 400, "invalid_scope", "Unknown scope " + one);
            if (!HasScope(scopes, one))
                scopes += (scopes.empty() ? "" : " ") + one;
        }
    }
    PruneExpiredLocked();
    const std::string authId = RandomHex(32);
    model.pending[authId] = {*clientId, scopes, *redirectUri, param("state").value_or(""),
                             NowSeconds() + kAuthorisationCodeLifetimeSeconds};
    const std::string location = BaseUrlText() + "/oauth/start?auth_id=" + authId;
    res.status = 302;
    res.set_header("Location", location);
    res.set_content("<a href=\"" + HtmlEscape(location) + "\">Continue to sign in</a>\n",
                    "text/html; charset=utf-8");
}

// A sign-in still waiting for the user; callers hold the mutex.
const PendingAuthorisation* SandboxServer::Impl::FindPending(const std::string& authId) {
    const auto it = model.pending.find(authId);
    if (it == model.pending.end())
        return nullptr;
    if (it->second.expiresAt <= NowSeconds()) {
        model.pending.erase(it);
        return nullptr;
    }
    return &it->second;
}

void SandboxServer::Impl::SignInPage(const httplib::Request& req, httplib::Response& res) {
    const FormParams query = QueryOf(req);
    const auto it = query.find("auth_id");
    std::lock_guard lock(mutex);
    const PendingAuthorisation* pending =
        it == query.end() ? nullptr : FindPending(it->second.front());
    if (!pending)
        return ExpiredSignIn(res);
    const std::string appName = model.applications.count(pending->clientId)
                                    ? model.applications[pending->clientId].name
                                    : pending->clientId;
    std::string scopes;
    std::size_t from = 0;
    while (from < pending->scopes.size()) {
        auto space = pending->scopes.find(' ', from);
        if (space == std::string::npos)
            space = pending->scopes.size();
        const std::string one = pending->scopes.substr(from, space - from);
        scopes += "<li><code>" + HtmlEscape(one) + "</code>: " + HtmlEscape(KnownScopes().at(one)) +
                  "</li>\n";
        from = space + 1;
    }
    HtmlAnswer(res, 200, "Grant authority - HMRC sandbox",
               "<h1>Grant authority</h1>\n<p>The application <strong id=\"application\">" +
                   HtmlEscape(appName) +
                   "</strong> would like to be able to:</p>\n<ul id=\"scopes\">\n" + scopes +
                   "</ul>\n<p>This is calvenor-sandbox, a local stand-in for HMRC: no Government "
                   "Gateway sign-in is needed and nothing leaves this computer.</p>\n"
                   "<form method=\"post\" action=\"/oauth/grant\">\n<input type=\"hidden\" "
                   "name=\"auth_id\" value=\"" +
                   HtmlEscape(it->second.front()) +
                   "\">\n<button type=\"submit\" name=\"decision\" value=\"grant\">Grant "
                   "authority</button>\n<button type=\"submit\" name=\"decision\" "
                   "value=\"deny\">Do not grant authority</button>\n</form>");
}

// Sign-ins, codes and access tokens nobody used before they expired; callers hold the mutex.
void SandboxServer::Impl::PruneExpiredLocked() {
    const long long now = NowSeconds();
    std::erase_if(model.pending, [now](const auto& p) { return p.second.expiresAt <= now; });
    std::erase_if(model.codes, [now](const auto& c) { return c.second.expiresAt <= now; });
    std::erase_if(model.accessTokens, [now](const auto& t) { return t.second.expiresAt <= now; });
    std::erase_if(model.refreshTokens, [now](const auto& t) { return t.second.expiresAt <= now; });
}

std::string SandboxServer::Impl::IssueCodeLocked(const std::string& clientId,
                                                 const std::string& scopes,
                                                 const std::string& redirectUri) {
    const std::string code = RandomHex(32);
    model.codes[code] = {clientId, scopes, redirectUri,
                         NowSeconds() + kAuthorisationCodeLifetimeSeconds};
    return code;
}

void SandboxServer::Impl::Grant(const httplib::Request& req, httplib::Response& res) {
    const FormParams form = ParseForm(req.body);
    const auto authId = form.find("auth_id");
    const auto decision = form.find("decision");
    std::lock_guard lock(mutex);
    const PendingAuthorisation* pending =
        authId == form.end() ? nullptr : FindPending(authId->second.front());
    if (!pending)
        return ExpiredSignIn(res);
    const PendingAuthorisation granted = *pending;
    model.pending.erase(authId->second.front());
    if (decision != form.end() && decision->second.front() == "deny") {
        return HtmlAnswer(
            res, 200, "Denied error=access_denied",
            "<h1>Authority not granted</h1>\n<p>You did not grant authority. Close this "
            "page and return to Calvenor.</p>");
    }
    const std::string code = IssueCodeLocked(granted.clientId, granted.scopes, granted.redirectUri);
    HtmlAnswer(
        res, 200, "Success code=" + code,
        "<h1>Authority granted</h1>\n<p>Copy this code and paste it into Calvenor. It can be "
        "used once, within 10 minutes.</p>\n<p><input id=\"code\" readonly size=\"40\" "
        "value=\"" +
            code + "\" onfocus=\"this.select()\"></p>");
}

// Callers hold the mutex.
void SandboxServer::Impl::IssueTokensLocked(httplib::Response& res, const std::string& clientId,
                                            const std::string& scopes) {
    PruneExpiredLocked();
    const std::string access = RandomHex(32);
    const std::string refresh = RandomHex(32);
    model.accessTokens[access] = {clientId, scopes, NowSeconds() + kAccessTokenLifetimeSeconds, ""};
    model.refreshTokens[refresh] = {clientId, scopes, NowSeconds() + kRefreshTokenLifetimeSeconds,
                                    access};
    SaveLocked();
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("access_token");
    w.String(access.c_str());
    w.Key("refresh_token");
    w.String(refresh.c_str());
    w.Key("expires_in");
    w.Int(kAccessTokenLifetimeSeconds);
    w.Key("scope");
    w.String(scopes.c_str());
    w.Key("token_type");
    w.String("bearer");
    w.EndObject();
    JsonAnswer(res, 200, buffer.GetString());
    res.set_header("Cache-Control", "no-store");
    res.set_header("Pragma", "no-cache");
}

void SandboxServer::Impl::Token(const httplib::Request& req, httplib::Response& res) {
    const FormParams form = ParseForm(req.body);
    for (const auto& [name, values] : form)
        if (values.size() > 1)
            return OAuthError(res, 400, "invalid_request", name + " is repeated");
    auto param = [&form](const char* name) -> std::optional<std::string> {
        const auto it = form.find(name);
        if (it == form.end())
            return std::nullopt;
        return it->second.front();
    };
    const auto grantType = param("grant_type");
    if (!grantType)
        return OAuthError(res, 400, "invalid_request", "grant_type is required");
    if (*grantType != "authorization_code" && *grantType != "refresh_token")
        return OAuthError(res, 400, "unsupported_grant_type",
                          "grant_type must be authorization_code or refresh_token");
    const auto clientId = param("client_id");
    const auto clientSecret = param("client_secret");
    std::lock_guard lock(mutex);
    const auto app = clientId ? model.applications.find(*clientId) : model.applications.end();
    if (app == model.applications.end() || !clientSecret ||
        app->second.clientSecret != *clientSecret)
        return OAuthError(res, 401, "invalid_client", "invalid client id or secret");

    if (*grantType == "authorization_code") {
        const auto code = param("code");
        if (!code || code->empty())
            return OAuthError(res, 400, "invalid_request", "code is required");
        const auto redirectUri = param("redirect_uri");
        if (!redirectUri)
            return OAuthError(res, 400, "invalid_request", "redirect_uri is required");
        const auto it = model.codes.find(*code);
        if (it == model.codes.end() || it->second.clientId != *clientId ||
            it->second.expiresAt <= NowSeconds()) {
            if (it != model.codes.end() && it->second.expiresAt <= NowSeconds())
                model.codes.erase(it);
            return OAuthError(res, 400, "invalid_grant", "code is invalid");
        }
        if (it->second.redirectUri != *redirectUri)
            return OAuthError(res, 400, "invalid_grant", "redirect_uri does not match");
        const std::string scopes = it->second.scopes;
        model.codes.erase(it);  // single use
        return IssueTokensLocked(res, *clientId, scopes);
    }

    const auto refresh = param("refresh_token");
    if (!refresh || refresh->empty())
        return OAuthError(res, 400, "invalid_request", "refresh_token is required");
    const auto it = model.refreshTokens.find(*refresh);
    if (it == model.refreshTokens.end() || it->second.clientId != *clientId ||
        it->second.expiresAt <= NowSeconds())
        return OAuthError(res, 400, "invalid_grant", "refresh_token is invalid");
    const IssuedToken used = it->second;
    model.refreshTokens.erase(it);               // single use
    model.accessTokens.erase(used.accessToken);  // the old access token stops working
    IssueTokensLocked(res, *clientId, used.scopes);
}

}  // namespace calvenor::sandbox
