#pragma once

#include <curl/curl.h>

#include <optional>
#include <string>
#include <vector>

#include "SandboxServer.h"

// A plain libcurl client for talking to the sandbox the way the filer does: one easy handle,
// so consecutive requests reuse the connection.
namespace calvenor::sandbox::test {

struct HttpAnswer {
    CURLcode result = CURLE_OK;
    long status = 0;
    std::vector<std::string> headerLines;  // without CR LF, status lines included
    std::string body;

    std::optional<std::string> Header(const std::string& name) const;  // any case, last answer
};

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
    void SetMaxBodyBytes(long long bytes) { m_maxBody = bytes; }

private:
    HttpAnswer Perform(const std::string& url, const std::string* body,
                       const std::vector<std::string>& headers);
    CURL* m_curl;
    long m_timeoutMs = 0;
    long long m_maxBody = 0;
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

}  // namespace calvenor::sandbox::test
