#include "SandboxServer.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "ApiJson.h"
#include "AtomicFile.h"
#include "HttpCore.h"
#include "ReturnValidation.h"
#include "SandboxModel.h"
#include "TestScenarios.h"
#include "Text.h"

namespace calvenor::sandbox {

using detail::CRecordingServer;

// ---------------------------------------------------------------------------------------------
// ReceivedRequest

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
    for (const auto& line : headerLines) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon != name.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < colon && same; ++i)
            same = std::tolower(static_cast<unsigned char>(line[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (!same)
            continue;
        std::size_t from = colon + 1;
        while (from < line.size() && (line[from] == ' ' || line[from] == '\t'))
            ++from;
        std::size_t to = line.size();
        while (to > from && (line[to - 1] == ' ' || line[to - 1] == '\t'))
            --to;
        return line.substr(from, to - from);
    }
    return std::nullopt;
}

std::string ReceivedRequest::Path() const {
    return target.substr(0, target.find('?'));
}

namespace {

constexpr const char* kJson = "application/json";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kOob = "urn:ietf:wg:oauth:2.0:oob";
constexpr const char* kVatAccept = "application/vnd.hmrc.1.0+json";
constexpr long long kRefreshTokenLifetimeSeconds = 18LL * 30 * 24 * 60 * 60;
constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
constexpr std::size_t kMaxReceived = 10000;

const std::map<std::string, std::string>& KnownScopes() {
    static const std::map<std::string, std::string> scopes = {
        {"read:vat", "View your VAT information"},
        {"write:vat", "Change your VAT information"},
    };
    return scopes;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// application/x-www-form-urlencoded decoding ('+' is a space).
std::string FormDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Name to values; a parameter sent twice keeps both so it can be refused.
using FormParams = std::map<std::string, std::vector<std::string>>;

FormParams ParseForm(std::string_view text) {
    FormParams params;
    std::size_t from = 0;
    while (from <= text.size()) {
        auto amp = text.find('&', from);
        if (amp == std::string_view::npos)
            amp = text.size();
        const std::string_view pair = text.substr(from, amp - from);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            const std::string name = FormDecode(pair.substr(0, eq));
            const std::string value =
                eq == std::string_view::npos ? std::string() : FormDecode(pair.substr(eq + 1));
            params[name].push_back(value);
        }
        from = amp + 1;
    }
    return params;
}

std::string HttpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

std::string IsoTime(std::chrono::system_clock::time_point when, bool millis, const char* zone) {
    const auto seconds = std::chrono::time_point_cast<std::chrono::seconds>(when);
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::string out = text;
    if (millis) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(ms));
        out += frac;
    }
    return out + zone;
}

std::string PenceText(long long pence, bool whole) {
    const bool negative = pence < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(pence)
                                                  : static_cast<unsigned long long>(pence);
    char text[40];
    if (whole)
        std::snprintf(text, sizeof text, "%s%llu", negative ? "-" : "", magnitude / 100);
    else
        std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100,
                      magnitude % 100);
    return text;
}

bool HasScope(const std::string& scopes, std::string_view wanted) {
    std::size_t from = 0;
    while (from <= scopes.size()) {
        auto space = scopes.find(' ', from);
        if (space == std::string::npos)
            space = scopes.size();
        if (std::string_view(scopes).substr(from, space - from) == wanted)
            return true;
        from = space + 1;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

struct SandboxServer::Impl {
    explicit Impl(SandboxOptions o) : options(std::move(o)) {
        if (!options.clock)
            options.clock = [] { return std::chrono::system_clock::now(); };
        std::random_device device;
        random.seed((static_cast<std::uint64_t>(device()) << 32) ^ device());
        if (options.seedDemoData && options.stateFile.empty())
            model.SeedDemo(Today());
    }

    SandboxOptions options;
    mutable std::mutex mutex;  // guards model, received, random
    SandboxModel model;
    std::vector<ReceivedRequest> received;
    std::mt19937_64 random;
    std::atomic<int> connections{0};

    std::map<std::string, std::deque<Fault>> faults;     // by path; guarded by mutex
    std::map<std::string, EndpointValidation> feedback;  // by method and endpoint
    bool stateReady = false;  // the state file was loaded or created: saving may replace it
    bool stopping = false;    // guarded by mutex; wakes stalled answers
    std::condition_variable stopSignal;

    std::unique_ptr<CRecordingServer> http;
    std::thread thread;
    int port = 0;
    std::string lastError;

    // ---- time and randomness ----

    std::chrono::system_clock::time_point Now() const { return options.clock(); }
    long long NowSeconds() const {
        return std::chrono::duration_cast<std::chrono::seconds>(Now().time_since_epoch()).count();
    }
    CivilDate Today() const {
        if (options.today)
            return *options.today;
        return CivilDate::FromSysDays(std::chrono::floor<std::chrono::days>(Now()));
    }

    // Callers hold the mutex.
    std::string RandomHex(std::size_t length) {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        while (out.size() < length)
            out += digits[random() & 15];
        return out;
    }
    std::string RandomDigits(std::size_t length) {
        std::string out;
        while (out.size() < length)
            out += static_cast<char>('0' + random() % 10);
        return out;
    }
    std::string RandomUuid() {
        std::string hex = RandomHex(32);
        hex[12] = '4';
        hex[16] = "89ab"[random() & 3];
        return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
               hex.substr(16, 4) + "-" + hex.substr(20);
    }
    std::string RandomBase64(std::size_t bytes) {
        static const char alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < bytes / 3 * 4; ++i)
            out += alphabet[random() & 63];
        return out;
    }
    std::string RandomAlphanumeric(std::size_t length) {
        static const char alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string out;
        while (out.size() < length)
            out += alphabet[random() % 62];
        return out;
    }

    // ---- saved state ----

    // Callers hold the mutex.
    bool SaveLocked() {
        // Never write over a state file that was not loaded (or created) first.
        if (options.stateFile.empty() || !stateReady)
            return true;
        std::string error;
        if (WriteFileAtomically(options.stateFile, model.ToJson(), 0600, &error))
            return true;
        std::fprintf(stderr, "calvenor-sandbox: could not save the state file %s: %s\n",
                     options.stateFile.c_str(), error.c_str());
        return false;
    }

    bool LoadOrCreateState() {
        std::lock_guard lock(mutex);
        std::error_code ec;
        const auto& path = options.stateFile;
        if (std::filesystem::exists(path, ec)) {
            std::string bytes, error;
            if (!ReadWholeFile(path, bytes, &error, 64u * 1024u * 1024u)) {
                lastError = "The state file " + path.string() + " cannot be read: " + error;
                return false;
            }
            SandboxModel loaded;
            if (!SandboxModel::FromJson(bytes, loaded, error)) {
                lastError = "The state file " + path.string() + " cannot be used: " + error +
                            ". It has been left unchanged; move it away or name another file.";
                return false;
            }
            model = std::move(loaded);
            stateReady = true;
            return true;
        }
        model = {};
        if (options.seedDemoData)
            model.SeedDemo(Today());
        std::string error;
        if (!WriteFileAtomically(path, model.ToJson(), 0600, &error)) {
            lastError = "The state file " + path.string() + " cannot be written: " + error;
            return false;
        }
        stateReady = true;
        return true;
    }

    // ---- answers ----

    void Json(httplib::Response& res, int status, const std::string& body) {
        res.status = status;
        res.set_content(body, kJson);
    }
    void ApiError(httplib::Response& res, int status, std::string_view code,
                  std::string_view message) {
        Json(res, status, ErrorBody(code, message));
    }
    void OAuthError(httplib::Response& res, int status, std::string_view error,
                    std::string_view description) {
        Json(res, status, OAuthErrorBody(error, description));
        res.set_header("Cache-Control", "no-store");
        res.set_header("Pragma", "no-cache");
    }
    void Html(httplib::Response& res, int status, const std::string& title,
              const std::string& content) {
        res.status = status;
        res.set_content(
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\"><title>" +
                HtmlEscape(title) + "</title></head>\n<body>\n" + content + "\n</body>\n</html>\n",
            kHtml);
    }

    // Query of a GET as sent (httplib's parsed params lose repeats' order).
    static FormParams QueryOf(const httplib::Request& req) {
        const auto* head = CRecordingServer::CurrentHead();
        const std::string& target = head ? head->target : req.target;
        const auto q = target.find('?');
        return q == std::string::npos ? FormParams{}
                                      : ParseForm(std::string_view(target).substr(q + 1));
    }

    // ---- OAuth ----

    void Authorize(const httplib::Request& req, httplib::Response& res) {
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
                        kHtml);
    }

    // The page a browser lands on after the redirect; callers hold the mutex.
    const PendingAuthorisation* FindPending(const std::string& authId) {
        const auto it = model.pending.find(authId);
        if (it == model.pending.end())
            return nullptr;
        if (it->second.expiresAt <= NowSeconds()) {
            model.pending.erase(it);
            return nullptr;
        }
        return &it->second;
    }

    void ExpiredSignIn(httplib::Response& res) {
        Html(res, 400, "Sign-in link not valid",
             "<h1>This sign-in link is not valid</h1>\n<p>It has expired or has already been "
             "used. Start the authorisation again from Calvenor.</p>");
    }

    void SignInPage(const httplib::Request& req, httplib::Response& res) {
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
            scopes += "<li><code>" + HtmlEscape(one) +
                      "</code>: " + HtmlEscape(KnownScopes().at(one)) + "</li>\n";
            from = space + 1;
        }
        Html(res, 200, "Grant authority - HMRC sandbox",
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

    // Callers hold the mutex.
    // Sign-ins, codes and access tokens nobody used before they expired; callers hold the mutex.
    void PruneExpiredLocked() {
        const long long now = NowSeconds();
        std::erase_if(model.pending, [now](const auto& p) { return p.second.expiresAt <= now; });
        std::erase_if(model.codes, [now](const auto& c) { return c.second.expiresAt <= now; });
        std::erase_if(model.accessTokens,
                      [now](const auto& t) { return t.second.expiresAt <= now; });
        std::erase_if(model.refreshTokens,
                      [now](const auto& t) { return t.second.expiresAt <= now; });
    }

    std::string IssueCodeLocked(const std::string& clientId, const std::string& scopes,
                                const std::string& redirectUri) {
        const std::string code = RandomHex(32);
        model.codes[code] = {clientId, scopes, redirectUri,
                             NowSeconds() + kAuthorisationCodeLifetimeSeconds};
        return code;
    }

    void Grant(const httplib::Request& req, httplib::Response& res) {
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
            return Html(
                res, 200, "Denied error=access_denied",
                "<h1>Authority not granted</h1>\n<p>You did not grant authority. Close this "
                "page and return to Calvenor.</p>");
        }
        const std::string code =
            IssueCodeLocked(granted.clientId, granted.scopes, granted.redirectUri);
        Html(res, 200, "Success code=" + code,
             "<h1>Authority granted</h1>\n<p>Copy this code and paste it into Calvenor. It can be "
             "used once, within 10 minutes.</p>\n<p><input id=\"code\" readonly size=\"40\" "
             "value=\"" +
                 code + "\" onfocus=\"this.select()\"></p>");
    }

    // Callers hold the mutex.
    void IssueTokensLocked(httplib::Response& res, const std::string& clientId,
                           const std::string& scopes) {
        PruneExpiredLocked();
        const std::string access = RandomHex(32);
        const std::string refresh = RandomHex(32);
        model.accessTokens[access] = {clientId, scopes, NowSeconds() + kAccessTokenLifetimeSeconds,
                                      ""};
        model.refreshTokens[refresh] = {clientId, scopes,
                                        NowSeconds() + kRefreshTokenLifetimeSeconds, access};
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
        Json(res, 200, buffer.GetString());
        res.set_header("Cache-Control", "no-store");
        res.set_header("Pragma", "no-cache");
    }

    void Token(const httplib::Request& req, httplib::Response& res) {
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

    // ---- VAT API ----

    // The API gateway's checks, in its order: Accept, credentials, scope. Callers hold the
    // mutex. False when an error answer has been set.
    bool Gate(const httplib::Request& req, httplib::Response& res, std::string_view scope) {
        if (Trim(req.get_header_value("Accept")) != kVatAccept) {
            ApiError(res, 406, "ACCEPT_HEADER_INVALID", "The accept header is missing or invalid");
            return false;
        }
        if (!req.has_header("Authorization")) {
            ApiError(res, 401, "MISSING_CREDENTIALS", "Authentication information is not provided");
            return false;
        }
        const std::string authorization = Trim(req.get_header_value("Authorization"));
        std::string token;
        if (authorization.size() > 7) {
            std::string scheme = authorization.substr(0, 7);
            std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (scheme == "bearer ")
                token = Trim(authorization.substr(7));
        }
        const auto it = model.accessTokens.find(token);
        if (token.empty() || it == model.accessTokens.end() ||
            it->second.expiresAt <= NowSeconds()) {
            ApiError(res, 401, "INVALID_CREDENTIALS",
                     "Invalid Authentication information provided");
            return false;
        }
        if (!HasScope(it->second.scopes, scope)) {
            ApiError(res, 401, "INVALID_SCOPE",
                     "Can not access the required resource. Ensure this token has all the "
                     "required scopes.");
            return false;
        }
        return true;
    }

    // The client the agent acts for; null (with the answer set) when it may not.
    ClientCompany* ClientFor(const std::string& vrn, httplib::Response& res) {
        if (!IsNineDigits(vrn)) {
            ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
            return nullptr;
        }
        const auto it = model.clients.find(vrn);
        if (it == model.clients.end() || !it->second.authorised) {
            ApiError(res, 403, "CLIENT_OR_AGENT_NOT_AUTHORISED",
                     "The client and/or agent is not authorised");
            return nullptr;
        }
        return &it->second;
    }

    static std::string ObligationsBody(const std::vector<Obligation>& list) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
        w.StartObject();
        w.Key("obligations");
        w.StartArray();
        for (const auto& o : list) {
            w.StartObject();
            w.Key("start");
            w.String(o.start.ToString().c_str());
            w.Key("end");
            w.String(o.end.ToString().c_str());
            w.Key("due");
            w.String(o.due.ToString().c_str());
            w.Key("status");
            w.String(o.fulfilled ? "F" : "O");
            w.Key("periodKey");
            w.String(o.periodKey.c_str());
            if (o.received) {
                w.Key("received");
                w.String(o.received->ToString().c_str());
            }
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        return buffer.GetString();
    }

    void GetObligations(const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        if (!Gate(req, res, "read:vat"))
            return;
        const std::string vrn = req.matches[1];
        if (!IsNineDigits(vrn))
            return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");

        const FormParams query = QueryOf(req);
        auto param = [&query](const char* name) -> std::optional<std::string> {
            const auto it = query.find(name);
            if (it == query.end())
                return std::nullopt;
            return it->second.front();
        };
        const auto status = param("status");
        if (status && *status != "O" && *status != "F")
            return ApiError(res, 400, "INVALID_STATUS",
                            "The provided data is failed validation, invalid status");
        const bool datesRequired = !status || *status != "O";
        const auto fromText = param("from");
        const auto toText = param("to");
        std::optional<CivilDate> from, to;
        if (fromText || datesRequired) {
            from = fromText ? CivilDate::Parse(*fromText) : std::nullopt;
            if (!from)
                return ApiError(res, 400, "INVALID_DATE_FROM", "The provided from date is invalid");
        }
        if (toText || datesRequired) {
            to = toText ? CivilDate::Parse(*toText) : std::nullopt;
            if (!to)
                return ApiError(res, 400, "INVALID_DATE_TO", "The provided to date is invalid");
        }
        if (from && to && (*to < *from || (to->ToSysDays() - from->ToSysDays()).count() > 366))
            return ApiError(res, 400, "INVALID_DATE_RANGE",
                            "Invalid date range, must be 366 days or less");

        std::vector<Obligation> source;
        const auto scenario = ObligationsScenario(Trim(req.get_header_value("Gov-Test-Scenario")));
        if (scenario) {
            if (scenario->status != 200)
                return ApiError(res, scenario->status, scenario->code, scenario->message);
            source = scenario->obligations;
        } else {
            const ClientCompany* client = ClientFor(vrn, res);
            if (!client)
                return;
            source = client->obligations;
        }
        std::vector<Obligation> list;
        for (const auto& o : source) {
            if (status && o.fulfilled != (*status == "F"))
                continue;
            if (from && o.end < *from)
                continue;
            if (to && *to < o.start)
                continue;
            list.push_back(o);
        }
        if (list.empty())
            return ApiError(res, 404, "NOT_FOUND", "The requested resource could not be found");
        std::sort(list.begin(), list.end(),
                  [](const Obligation& a, const Obligation& b) { return a.start < b.start; });
        Json(res, 200, ObligationsBody(list));
    }

    void SubmitReturn(const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        if (!Gate(req, res, "write:vat"))
            return;
        if (!IsNineDigits(req.matches[1].str()))
            return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
        if (const auto scenario =
                SubmitReturnScenario(Trim(req.get_header_value("Gov-Test-Scenario"))))
            return ApiError(res, scenario->status, scenario->code, scenario->message);
        ClientCompany* client = ClientFor(req.matches[1], res);
        if (!client)
            return;

        const ReturnCheck check = CheckReturnBody(req.body);
        if (check.status != 0)
            return Json(res, check.status, check.body);

        const auto period =
            std::find_if(client->obligations.begin(), client->obligations.end(),
                         [&](const Obligation& o) { return o.periodKey == check.periodKey; });
        if (period == client->obligations.end())
            return ApiError(res, 400, "PERIOD_KEY_INVALID", "Invalid period key");
        if (period->fulfilled)
            return ApiError(res, 403, "DUPLICATE_SUBMISSION",
                            "The VAT return was already submitted for the given period");
        if (!(period->end < Today()))
            return ApiError(res, 403, "TAX_PERIOD_NOT_ENDED",
                            "The remote endpoint has indicated that the submission is for a tax "
                            "period that has not ended");

        const auto now = Now();
        FiledReturn filed;
        filed.vrn = client->vrn;
        filed.periodKey = check.periodKey;
        filed.requestBody = req.body;
        filed.processingDate = IsoTime(now, true, "+0000");
        filed.formBundleNumber = RandomDigits(12);
        filed.receiptId = RandomUuid();
        filed.correlationId = res.get_header_value("X-CorrelationId");
        filed.receiptTimestamp = IsoTime(now, false, "Z");
        const long long owed = check.pence[2] - check.pence[3];
        if (owed > 0) {
            filed.paymentIndicator = "DD";
            filed.chargeRefNumber = RandomAlphanumeric(16);
        } else if (owed < 0) {
            filed.paymentIndicator = "BANK";
        }
        filed.boxesInPence.assign(check.pence.begin(), check.pence.end());
        period->fulfilled = true;
        period->received = Today();
        model.filed.push_back(filed);
        SaveLocked();

        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
        w.StartObject();
        w.Key("processingDate");
        w.String(filed.processingDate.c_str());
        if (!filed.paymentIndicator.empty()) {
            w.Key("paymentIndicator");
            w.String(filed.paymentIndicator.c_str());
        }
        w.Key("formBundleNumber");
        w.String(filed.formBundleNumber.c_str());
        if (!filed.chargeRefNumber.empty()) {
            w.Key("chargeRefNumber");
            w.String(filed.chargeRefNumber.c_str());
        }
        w.EndObject();
        Json(res, 201, buffer.GetString());
        res.set_header("Receipt-ID", filed.receiptId);
        res.set_header("Receipt-Timestamp", filed.receiptTimestamp);
        res.set_header("Receipt-Signature", RandomBase64(256));
    }

    void ViewReturn(const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        if (!Gate(req, res, "read:vat"))
            return;
        const std::string vrn = req.matches[1];
        const std::string periodKey = req.matches[2];
        if (!IsNineDigits(vrn))
            return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
        if (periodKey.size() != 4 || !std::all_of(periodKey.begin(), periodKey.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '#';
            }))
            return ApiError(res, 400, "PERIOD_KEY_INVALID", "Invalid period key");
        if (const auto scenario =
                ViewReturnScenario(Trim(req.get_header_value("Gov-Test-Scenario"))))
            return ApiError(res, scenario->status, scenario->code, scenario->message);
        if (!ClientFor(vrn, res))
            return;
        const auto filed = std::find_if(
            model.filed.rbegin(), model.filed.rend(),
            [&](const FiledReturn& f) { return f.vrn == vrn && f.periodKey == periodKey; });
        if (filed == model.filed.rend() || filed->boxesInPence.size() != 9)
            return ApiError(res, 404, "NOT_FOUND", "The requested resource could not be found");
        static const char* names[9] = {"vatDueSales",
                                       "vatDueAcquisitions",
                                       "totalVatDue",
                                       "vatReclaimedCurrPeriod",
                                       "netVatDue",
                                       "totalValueSalesExVAT",
                                       "totalValuePurchasesExVAT",
                                       "totalValueGoodsSuppliedExVAT",
                                       "totalAcquisitionsExVAT"};
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
        w.StartObject();
        w.Key("periodKey");
        w.String(periodKey.c_str());
        for (int box = 0; box < 9; ++box) {
            w.Key(names[box]);
            const std::string number = PenceText(filed->boxesInPence[box], box >= 5);
            w.RawValue(number.c_str(), number.size(), rapidjson::kNumberType);
        }
        w.EndObject();
        Json(res, 200, buffer.GetString());
    }

    // ---- wiring ----

    std::string BaseUrlText() const { return "http://127.0.0.1:" + std::to_string(port); }

    static bool IsControlPath(std::string_view path) {
        return path.rfind("/_sandbox/", 0) == 0 || path.rfind("/test/", 0) == 0;
    }

    // ---- fraud-prevention feedback, faults ----

    void Validate(const std::string& method, const std::string& endpoint, const std::string& path) {
        const auto* head = CRecordingServer::CurrentHead();
        EndpointValidation v{
            method, endpoint, path, IsoTime(Now(), true, "Z"),
            ValidateFraudHeaders(head ? head->headerLines : std::vector<std::string>{})};
        std::lock_guard lock(mutex);
        feedback[method + " " + endpoint] = std::move(v);
    }

    void Feedback(const httplib::Request& req, httplib::Response& res) {
        const FormParams query = QueryOf(req);
        const auto method = query.find("connectionMethod");
        if (method == query.end() || method->second.front() != kDesktopAppDirect)
            return ApiError(res, 400, "INVALID_CONNECTION_METHOD",
                            "connectionMethod must be DESKTOP_APP_DIRECT: the sandbox checks the "
                            "headers of that connection method");
        std::lock_guard lock(mutex);
        if (feedback.empty())
            return ApiError(res, 404, "NO_DATA_FOUND",
                            "No requests to the VAT API have been received yet");
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
        auto findings = [&w](const char* name, const char* code,
                             const std::vector<HeaderFinding>& list) {
            w.Key(name);
            w.StartArray();
            for (const auto& f : list) {
                w.StartObject();
                w.Key("code");
                w.String(code);
                w.Key("message");
                w.String(f.message.c_str());
                w.Key("headers");
                w.StartArray();
                w.String(f.header.c_str());
                w.EndArray();
                w.EndObject();
            }
            w.EndArray();
        };
        w.StartObject();
        w.Key("specVersion");
        w.String("3.3");
        w.Key("connectionMethod");
        w.String(kDesktopAppDirect);
        w.Key("requests");
        w.StartArray();
        for (const auto& [key, v] : feedback) {
            w.StartObject();
            w.Key("method");
            w.String(v.method.c_str());
            w.Key("endpoint");
            w.String(v.endpoint.c_str());
            w.Key("path");
            w.String(v.path.c_str());
            w.Key("requestTimestamp");
            w.String(v.requestTimestamp.c_str());
            w.Key("code");
            w.String(v.result.code.c_str());
            w.Key("message");
            w.String(v.result.code == "VALID_HEADERS" ? "All headers appear to be valid"
                     : v.result.code == "INVALID_HEADERS"
                         ? "At least 1 header is invalid"
                         : "At least 1 header is potentially invalid");
            findings("errors", "INVALID_HEADER", v.result.errors);
            findings("warnings", "POTENTIALLY_INVALID_HEADER", v.result.warnings);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        Json(res, 200, buffer.GetString());
    }

    std::optional<Fault> TakeFault(const std::string& path) {
        std::lock_guard lock(mutex);
        for (const std::string& key : {path, std::string("*")}) {
            auto it = faults.find(key);
            if (it == faults.end() || it->second.empty())
                continue;
            Fault fault = it->second.front();
            if (--it->second.front().times <= 0)
                it->second.pop_front();
            if (it->second.empty())
                faults.erase(it);
            return fault;
        }
        return std::nullopt;
    }

    // Answers in place of the route; false when the route should still run.
    bool AnswerInstead(const Fault& fault, httplib::Response& res) {
        switch (fault.kind) {
            case Fault::Kind::Respond: {
                std::string type =
                    fault.body.empty() || fault.body[0] == '{' || fault.body[0] == '['
                        ? kJson
                        : "text/plain";
                for (const auto& [name, value] : fault.headers)
                    if (AsciiLower(name) == "content-type")
                        type = value;
                res.status = fault.status;
                res.set_content(fault.body, type);
                for (const auto& [name, value] : fault.headers)
                    if (AsciiLower(name) != "content-type")
                        res.set_header(name, value);
                return true;
            }
            case Fault::Kind::Throttle:
                ApiError(res, 429, "MESSAGE_THROTTLED_OUT",
                         "The request for the API is throttled as you have exceeded your quota.");
                return true;
            case Fault::Kind::OversizedBody: {
                res.status = fault.status;
                const std::size_t size = fault.bodyBytes;
                res.set_content_provider(
                    size, kJson,
                    [size](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                        static const std::string filler(64 * 1024, ' ');
                        std::string chunk = filler.substr(0, std::min(length, filler.size()));
                        // A JSON object whose padding never ends before the size does.
                        if (offset == 0 && !chunk.empty())
                            chunk[0] = '{';
                        if (offset + chunk.size() == size && !chunk.empty())
                            chunk.back() = '}';
                        return sink.write(chunk.data(), chunk.size());
                    });
                return true;
            }
            case Fault::Kind::Stall: {
                std::unique_lock lock(mutex);
                if (stopSignal.wait_for(lock, fault.delay, [this] { return stopping; })) {
                    CRecordingServer::SuppressCurrentAnswer();
                    return true;
                }
                return false;
            }
            default:
                return false;
        }
    }

    // Every route goes through here: faults are met, VAT API requests get their fraud-prevention
    // headers checked and their answers a correlation id.
    using Route = void (Impl::*)(const httplib::Request&, httplib::Response&);
    httplib::Server::Handler Serve(Route route, const char* vatEndpoint = nullptr) {
        return [this, route, vatEndpoint](const httplib::Request& req, httplib::Response& res) {
            const auto* head = CRecordingServer::CurrentHead();
            const std::string path =
                head ? head->target.substr(0, head->target.find('?')) : req.path;
            if (vatEndpoint) {
                Validate(req.method, vatEndpoint, path);
                std::string id;
                {
                    std::lock_guard lock(mutex);
                    id = RandomUuid();
                }
                res.set_header("X-CorrelationId", id);
            }
            const std::optional<Fault> fault = IsControlPath(path) ? std::nullopt : TakeFault(path);
            if (fault && AnswerInstead(*fault, res))
                return;
            (this->*route)(req, res);
            if (!fault)
                return;
            if (fault->kind == Fault::Kind::DropAfterHeaders)
                CRecordingServer::CutCurrentAnswer(0);
            if (fault->kind == Fault::Kind::DropMidBody)
                CRecordingServer::CutCurrentAnswer(res.body.size() / 2);
            if (fault->kind == Fault::Kind::DropWithoutAnswer)
                CRecordingServer::SuppressCurrentAnswer();
        };
    }

    // POST /_sandbox/faults
    // {"path","kind","status","headers":{…},"body","delay_ms","body_bytes","times"}
    void ArmFaultRequest(const httplib::Request& req, httplib::Response& res) {
        if (req.remote_addr != "127.0.0.1")
            return ApiError(res, 403, "FORBIDDEN", "Faults are armed from this machine only");
        rapidjson::Document doc;
        doc.Parse(req.body.c_str(), req.body.size());
        if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("path") ||
            !doc["path"].IsString() || !doc.HasMember("kind") || !doc["kind"].IsString())
            return ApiError(res, 400, "INVALID_REQUEST",
                            "Send a JSON object with at least path and kind");
        static const std::map<std::string, Fault::Kind> kinds = {
            {"respond", Fault::Kind::Respond},
            {"stall", Fault::Kind::Stall},
            {"drop-after-headers", Fault::Kind::DropAfterHeaders},
            {"drop-mid-body", Fault::Kind::DropMidBody},
            {"drop-without-answer", Fault::Kind::DropWithoutAnswer},
            {"oversized-body", Fault::Kind::OversizedBody},
            {"throttle", Fault::Kind::Throttle},
        };
        const auto kind = kinds.find(doc["kind"].GetString());
        if (kind == kinds.end())
            return ApiError(res, 400, "INVALID_REQUEST",
                            "kind must be respond, stall, drop-after-headers, drop-mid-body, "
                            "drop-without-answer, oversized-body or throttle");
        Fault fault;
        fault.kind = kind->second;
        auto integer = [&doc](const char* name, long long fallback, long long low, long long high) {
            if (!doc.HasMember(name) || !doc[name].IsInt64())
                return fallback;
            return std::clamp<long long>(doc[name].GetInt64(), low, high);
        };
        fault.status = static_cast<int>(
            integer("status", fault.kind == Fault::Kind::OversizedBody ? 200 : 500, 100, 599));
        fault.delay = std::chrono::milliseconds(integer("delay_ms", 0, 0, 600000));
        fault.bodyBytes = static_cast<std::size_t>(integer("body_bytes", 16 << 20, 0, 1LL << 32));
        fault.times = static_cast<int>(integer("times", 1, 1, 1000000));
        if (doc.HasMember("body") && doc["body"].IsString())
            fault.body = doc["body"].GetString();
        if (doc.HasMember("headers") && doc["headers"].IsObject())
            for (const auto& m : doc["headers"].GetObject())
                if (m.value.IsString())
                    fault.headers.emplace_back(m.name.GetString(), m.value.GetString());
        {
            std::lock_guard lock(mutex);
            faults[doc["path"].GetString()].push_back(fault);
        }
        res.status = 204;
    }

    void ClearFaultsRequest(const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(mutex);
        faults.clear();
        res.status = 204;
    }

    void Record(const httplib::Request& req) {
        const auto* head = CRecordingServer::CurrentHead();
        if (!head)
            return;
        ReceivedRequest r{head->method, head->target, head->headerLines, req.body};
        if (IsControlPath(r.Path()))
            return;
        std::lock_guard lock(mutex);
        received.push_back(std::move(r));
        // A sandbox left running for days keeps only the most recent requests.
        if (received.size() > kMaxReceived)
            received.erase(received.begin(), received.begin() + (received.size() - kMaxReceived));
    }

    void Index(const httplib::Request&, httplib::Response& res) {
        Html(res, 200, "calvenor-sandbox",
             "<h1>calvenor-sandbox</h1>\n<p>A local stand-in for HMRC's OAuth and VAT (MTD) "
             "endpoints. Point Calvenor's profile at <code>" +
                 BaseUrlText() + "</code>.</p>");
    }

    void Configure(CRecordingServer& server) {
        server.onConnection = [this] { ++connections; };
        // Enough for a whole filing on one connection, idle long enough for a user to type.
        server.set_keep_alive_max_count(100);
        server.set_keep_alive_timeout(60);
        server.set_read_timeout(10);
        server.set_write_timeout(10);
        server.set_payload_max_length(kMaxBodyBytes);

        server.Get("/", Serve(&Impl::Index));
        server.Get("/oauth/authorize", Serve(&Impl::Authorize));
        server.Get("/oauth/start", Serve(&Impl::SignInPage));
        server.Post("/oauth/grant", Serve(&Impl::Grant));
        server.Post("/oauth/token", Serve(&Impl::Token));
        server.Get(R"(/organisations/vat/([^/]*)/obligations)",
                   Serve(&Impl::GetObligations, "/organisations/vat/{vrn}/obligations"));
        server.Post(R"(/organisations/vat/([^/]*)/returns)",
                    Serve(&Impl::SubmitReturn, "/organisations/vat/{vrn}/returns"));
        server.Get(R"(/organisations/vat/([^/]*)/returns/([^/]*))",
                   Serve(&Impl::ViewReturn, "/organisations/vat/{vrn}/returns/{periodKey}"));
        server.Get("/test/fraud-prevention-headers/vat-mtd/validation-feedback",
                   Serve(&Impl::Feedback));
        server.Post("/_sandbox/faults", Serve(&Impl::ArmFaultRequest));
        server.Delete("/_sandbox/faults", Serve(&Impl::ClearFaultsRequest));

        // Answers the routes did not make (unknown paths, unreadable requests) get HMRC-style
        // bodies.
        server.set_error_handler(httplib::Server::HandlerWithResponse([this](
                                                                          const httplib::Request&,
                                                                          httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            switch (res.status) {
                case 404:
                    ApiError(res, 404, "MATCHING_RESOURCE_NOT_FOUND",
                             "A resource with the name in the request can not be found in the API");
                    break;
                case 413:
                    ApiError(res, 413, "REQUEST_ENTITY_TOO_LARGE", "The request body is too large");
                    break;
                case 414:
                    ApiError(res, 414, "URI_TOO_LONG", "The request URI is too long");
                    break;
                default:
                    ApiError(res, res.status, res.status == 400 ? "INVALID_REQUEST" : "ERROR",
                             res.status == 400 ? "Invalid request" : "The request failed");
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
        // A body announced larger than any request needs is refused before it is read, and the
        // connection closed, rather than read and thrown away.
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            if (!req.has_header("Content-Length"))
                return httplib::Server::HandlerResponse::Unhandled;
            const std::string length = Trim(req.get_header_value("Content-Length"));
            const bool digits = !length.empty() && length.size() <= 18 &&
                                std::all_of(length.begin(), length.end(),
                                            [](char c) { return c >= '0' && c <= '9'; });
            if (digits && std::stoull(length) <= kMaxBodyBytes)
                return httplib::Server::HandlerResponse::Unhandled;
            CRecordingServer::CloseAfterCurrentAnswer();
            if (digits)
                ApiError(res, 413, "REQUEST_ENTITY_TOO_LARGE", "The request body is too large");
            else
                ApiError(res, 400, "INVALID_REQUEST", "Invalid request");
            return httplib::Server::HandlerResponse::Handled;
        });
        server.set_post_routing_handler(
            [this](const httplib::Request& req, httplib::Response& res) {
                res.set_header("Date", HttpDate(std::chrono::system_clock::to_time_t(Now())));
                Record(req);
            });
    }
};

// ---------------------------------------------------------------------------------------------

SandboxServer::SandboxServer(SandboxOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

SandboxServer::~SandboxServer() {
    Stop();
}

bool SandboxServer::Start(int port) {
    Impl& d = *m_impl;
    if (d.thread.joinable()) {
        d.lastError = "The sandbox is already running.";
        return false;
    }
    d.lastError.clear();
    if (!d.options.stateFile.empty() && !d.LoadOrCreateState())
        return false;

    auto server = std::make_unique<CRecordingServer>();
    d.Configure(*server);
    if (port == 0) {
        d.port = server->bind_to_any_port("127.0.0.1");
        if (d.port <= 0) {
            d.lastError = "No free port could be opened on 127.0.0.1.";
            return false;
        }
    } else {
        if (!server->bind_to_port("127.0.0.1", port)) {
            d.lastError = "Port " + std::to_string(port) +
                          " on 127.0.0.1 cannot be used (is another sandbox running?).";
            return false;
        }
        d.port = port;
    }
    d.connections = 0;
    {
        std::lock_guard lock(d.mutex);
        d.stopping = false;
    }
    d.http = std::move(server);
    auto listenerEnded = std::make_shared<std::atomic<bool>>(false);
    d.thread = std::thread([&d, listenerEnded] {
        d.http->listen_after_bind();
        *listenerEnded = true;
    });
    // Stop() must not race the listener's start: httplib ignores a stop before it runs.
    while (!d.http->is_running() && !*listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void SandboxServer::Stop() {
    Impl& d = *m_impl;
    if (!d.thread.joinable())
        return;
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
    }
    d.stopSignal.notify_all();
    d.http->BeginStopping();
    d.http->stop();
    d.thread.join();
    d.http.reset();
}

bool SandboxServer::IsRunning() const {
    return m_impl->thread.joinable();
}
const std::string& SandboxServer::LastError() const {
    return m_impl->lastError;
}
int SandboxServer::Port() const {
    return m_impl->port;
}
std::string SandboxServer::BaseUrl() const {
    return m_impl->BaseUrlText();
}

std::vector<ReceivedRequest> SandboxServer::Received() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received;
}

void SandboxServer::ClearReceived() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->received.clear();
}

int SandboxServer::ConnectionCount() const {
    return m_impl->connections;
}

std::string SandboxServer::GrantCode(std::string_view clientId, std::string_view scopes) {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->IssueCodeLocked(std::string(clientId), std::string(scopes), kOob);
}

void SandboxServer::AddApplication(std::string_view clientId, std::string_view clientSecret,
                                   std::string_view name) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.applications[std::string(clientId)] = {
        std::string(clientId), std::string(clientSecret), std::string(name)};
    m_impl->SaveLocked();
}

void SandboxServer::AddClient(std::string_view vrn, std::string_view companyName,
                              Frequency frequency) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.AddSeededClient(vrn, companyName, frequency, m_impl->Today());
    m_impl->SaveLocked();
}

void SandboxServer::SetObligations(std::string_view vrn, std::vector<Obligation> obligations) {
    std::lock_guard lock(m_impl->mutex);
    ClientCompany& client = m_impl->model.clients[std::string(vrn)];
    if (client.vrn.empty()) {
        client.vrn = vrn;
        client.companyName = "Client " + std::string(vrn);
    }
    std::sort(obligations.begin(), obligations.end(),
              [](const Obligation& a, const Obligation& b) { return a.start < b.start; });
    client.obligations = std::move(obligations);
    m_impl->SaveLocked();
}

std::vector<Obligation> SandboxServer::Obligations(std::string_view vrn) const {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    return it == m_impl->model.clients.end() ? std::vector<Obligation>{} : it->second.obligations;
}

void SandboxServer::SetClientAuthorised(std::string_view vrn, bool authorised) {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    if (it == m_impl->model.clients.end())
        return;
    it->second.authorised = authorised;
    m_impl->SaveLocked();
}

void SandboxServer::ClearOpenObligations(std::string_view vrn) {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    if (it == m_impl->model.clients.end())
        return;
    std::erase_if(it->second.obligations, [](const Obligation& o) { return !o.fulfilled; });
    m_impl->SaveLocked();
}

void SandboxServer::ExpireAccessTokens() {
    std::lock_guard lock(m_impl->mutex);
    for (auto& [token, issued] : m_impl->model.accessTokens)
        issued.expiresAt = 0;
    m_impl->SaveLocked();
}

void SandboxServer::RevokeAllTokens() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.accessTokens.clear();
    m_impl->model.refreshTokens.clear();
    m_impl->SaveLocked();
}

void SandboxServer::ExpireAuthorisationCodes() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.codes.clear();
}

void SandboxServer::ArmFault(std::string path, Fault fault) {
    if (fault.times < 1)
        return;
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[std::move(path)].push_back(std::move(fault));
}

void SandboxServer::ClearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::vector<EndpointValidation> SandboxServer::FraudFeedback() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<EndpointValidation> list;
    for (const auto& [key, v] : m_impl->feedback)
        list.push_back(v);
    return list;
}

std::vector<SandboxServer::ClientSummary> SandboxServer::Clients() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<ClientSummary> list;
    for (const auto& [vrn, client] : m_impl->model.clients)
        list.push_back({client.vrn, client.companyName, client.authorised});
    return list;
}

std::vector<FiledReturn> SandboxServer::FiledReturns() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->model.filed;
}

}  // namespace calvenor::sandbox
