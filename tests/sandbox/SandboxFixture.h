#pragma once

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SandboxServer.h"

namespace calvenor::sandbox::test {

struct HttpAnswer {
    CURLcode result = CURLE_OK;
    long status = 0;
    std::vector<std::string> headerLines;  // without CR LF, status lines included
    std::string body;

    std::optional<std::string> Header(const std::string& name) const;  // any case, last answer
};

// A plain libcurl client for talking to the sandbox the way the filer does: one easy handle,
// so consecutive requests reuse the connection.
class CHttpClient {
public:
    CHttpClient();
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    HttpAnswer Get(const std::string& url, const std::vector<std::string>& headers = {}) {
        return Perform(url, nullptr, headers);
    }
    HttpAnswer Post(const std::string& url, const std::string& body,
                    const std::vector<std::string>& headers = {}) {
        return Perform(url, &body, headers);
    }
    void SetTimeoutMs(long ms) { m_timeoutMs = ms; }  // for answers that stall

private:
    HttpAnswer Perform(const std::string& url, const std::string* body,
                       const std::vector<std::string>& headers);
    CURL* m_curl;
    long m_timeoutMs = 0;
};

// The filer's VAT API header lines with a bearer token.
std::vector<std::string> VatHeaders(const std::string& accessToken);

struct TokenSet {
    std::string accessToken;
    std::string refreshToken;
};
// Exchanges a code granted by the sandbox for tokens, as the filer does.
TokenSet Authorise(SandboxServer& server, CHttpClient& client,
                   const std::string& scopes = "read:vat write:vat");

// Sends raw bytes on a fresh connection and returns everything the server answered before it
// closed the connection (or a second passed in silence).
std::string RawExchange(int port, const std::string& bytes);

// A complete, valid return body for the period key (VAT owed: 1134.50).
std::string ValidReturnBody(const std::string& periodKey);

// 15 May 2026: the quarterly demo client's open periods are 26A1 (Jan-Mar, ended) and 26A2
// (Apr-Jun, not ended); the monthly client's are 26M4 and 26M5.
inline constexpr CivilDate kToday{2026, 5, 15};

// A sandbox on a free port with the demo data seeded around kToday, and a libcurl client.
class SandboxFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SandboxOptions options;
        options.today = kToday;
        options.clock = [this] { return m_now.load(); };
        m_server = std::make_unique<SandboxServer>(options);
        ASSERT_TRUE(m_server->Start()) << m_server->LastError();
    }

    std::string Url(const std::string& path) const { return m_server->BaseUrl() + path; }
    std::string ObligationsUrl(std::string_view vrn, const std::string& query = "?status=O") const {
        return Url("/organisations/vat/" + std::string(vrn) + "/obligations" + query);
    }
    std::string ReturnsUrl(std::string_view vrn) const {
        return Url("/organisations/vat/" + std::string(vrn) + "/returns");
    }
    std::string Token() {
        if (m_tokens.accessToken.empty())
            m_tokens = Authorise(*m_server, m_client);
        return m_tokens.accessToken;
    }
    // The VAT API lines with this fixture's token, and the test scenario when one is named.
    std::vector<std::string> Headers(const char* scenario = nullptr) {
        auto headers = VatHeaders(Token());
        if (scenario)
            headers.push_back(std::string("Gov-Test-Scenario: ") + scenario);
        return headers;
    }

    static rapidjson::Document Parse(const std::string& body) {
        rapidjson::Document doc;
        doc.Parse(body.c_str());
        return doc;
    }
    static std::string Member(const std::string& body, const char* name) {
        const auto doc = Parse(body);
        if (!doc.IsObject() || !doc.HasMember(name) || !doc[name].IsString())
            return "<absent>";
        return doc[name].GetString();
    }
    // The period keys of an obligations answer, comma-separated.
    static std::string Keys(const std::string& body) {
        std::string keys;
        const auto doc = Parse(body);
        if (doc.IsObject() && doc.HasMember("obligations"))
            for (const auto& o : doc["obligations"].GetArray())
                keys += (keys.empty() ? "" : ",") + std::string(o["periodKey"].GetString());
        return keys;
    }

    void Advance(std::chrono::seconds by) { m_now = m_now.load() + by; }

    std::atomic<std::chrono::system_clock::time_point> m_now{
        std::chrono::sys_days{std::chrono::year(2026) / std::chrono::May / std::chrono::day(15)} +
        std::chrono::hours(10)};
    std::unique_ptr<SandboxServer> m_server;
    CHttpClient m_client;
    TokenSet m_tokens;
};

}  // namespace calvenor::sandbox::test
