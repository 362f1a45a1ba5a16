#include "Curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Log.h"
#include "ServiceUrl.h"
#include "Text.h"

namespace {

// One transport per process: the flag says a transport holds it (and, once it has made its
// handle, the library's global state), and libcurl writes its error texts into the one buffer.
bool g_transportTaken = false;
char g_errorBuffer[512] = {};

// The hosts reached without a proxy: the user's own list, and always this machine, where only the
// local sandbox can be.
std::string NoProxyHosts() {
    const char* own = std::getenv("no_proxy");
    if (own == nullptr || *own == '\0')
        own = std::getenv("NO_PROXY");
    std::string hosts = own != nullptr ? own : "";
    if (!hosts.empty())
        hosts += ',';
    return hosts + "localhost,127.0.0.1,::1";
}

// Sets options on a handle in turn. The first one libcurl refuses (an option or protocol this
// libcurl was built without, a text over its length limit, no memory) ends the setting up: a
// request must never go out without an option it was meant to have.
class OptionSetter {
public:
    explicit OptionSetter(CURL* handle) : m_handle(handle) {}

    template <typename Value>
    OptionSetter& Set(CURLoption option, Value value) {
        if (m_result == CURLE_OK) {
            m_result = curl_easy_setopt(m_handle, option, value);
            m_option = option;
        }
        return *this;
    }

    CURLcode Result() const { return m_result; }

    // "CURLOPT_PROTOCOLS_STR refused: <libcurl's text>" for the option refused.
    std::string Refusal() const {
        const curl_easyoption* known = curl_easy_option_by_id(m_option);
        const std::string name = known != nullptr ? std::string("CURLOPT_") + known->name
                                                  : "option " + std::to_string(m_option);
        return name + " refused: " + curl_easy_strerror(m_result);
    }

private:
    CURL* m_handle;
    CURLcode m_result = CURLE_OK;
    CURLoption m_option{};
};

}  // namespace

void CCurl::HandleDeleter::operator()(void* handle) const {
    curl_easy_cleanup(handle);
}

CCurl::CCurl(const Limits& limits) : m_limits(limits) {
    Initialise();
}

CCurl::~CCurl() {
    Release();
}

void CCurl::Release() {
    // Only the transport that holds the library gives it back; a second transport that found the
    // flag set never took it.
    if (!m_ownsTransport)
        return;
    if (m_handle) {
        m_handle.reset();
        curl_global_cleanup();
    }
    m_ownsTransport = false;
    g_transportTaken = false;
}

void CCurl::Initialise() {
    if (g_transportTaken)
        return;
    g_transportTaken = true;
    m_ownsTransport = true;
    const CURLcode global = curl_global_init(CURL_GLOBAL_ALL);
    if (global != CURLE_OK) {
        LOG_ENTRY("curl_global_init failed: " << curl_easy_strerror(global));
        return;
    }
    CURL* handle = curl_easy_init();
    if (handle == nullptr) {
        curl_global_cleanup();
        LOG_ENTRY("curl_easy_init failed");
        return;
    }
    const CURLcode curlOk1 = curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CCurl::OnBody);
    const CURLcode curlOk2 = curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &CCurl::OnHeader);
    if (curlOk1 != CURLE_OK || curlOk2 != CURLE_OK) {
        curl_easy_cleanup(handle);
        curl_global_cleanup();
        LOG_ENTRY("curl init failed. CurlOK1 = " << curlOk1 << ", CurlOK2 = " << curlOk2);
        return;
    }
    OptionSetter data(handle);
    data.Set(CURLOPT_WRITEDATA, this).Set(CURLOPT_HEADERDATA, this);
    if (data.Result() != CURLE_OK) {
        curl_easy_cleanup(handle);
        curl_global_cleanup();
        LOG_ENTRY("curl init failed. " << data.Refusal());
        return;
    }
    m_handle.reset(handle);
}

void CCurl::Reset() {
    Release();
    m_postMode = false;
    Initialise();
}

void CCurl::AppendHeader(const std::string& line) {
    // A line break inside a value would start a header line of its own.
    if (line.find_first_of("\r\n") != std::string::npos) {
        LOG_ENTRY("Header line refused: it holds a line break");
        return;
    }
    m_requestHeaders.push_back(line);
}

void CCurl::UseGet() {
    m_postMode = false;
}

void CCurl::UsePost() {
    m_postMode = true;
}

std::size_t CCurl::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* curl = static_cast<CCurl*>(self);
    const std::size_t bytes = size * count;
    if (curl->m_body.size() + bytes > curl->m_limits.maxBodyBytes)
        return 0;  // ends the transfer
    curl->m_body.append(data, bytes);
    return bytes;
}

std::size_t CCurl::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* curl = static_cast<CCurl*>(self);
    const std::size_t bytes = size * count;
    curl->m_headerBytes += bytes;
    if (curl->m_headerBytes > curl->m_limits.maxHeaderBytes)
        return 0;
    curl->m_headerLines.emplace_back(data, bytes);
    return bytes;
}

bool CCurl::DoTransaction() {
    m_headerLines.clear();
    m_body.clear();
    m_headerBytes = 0;
    g_errorBuffer[0] = '\0';

    CURLcode result = !m_ownsTransport ? CURLE_BAD_FUNCTION_ARGUMENT
                      : !m_handle      ? CURLE_FAILED_INIT
                                       : CURLE_OK;
    if (result == CURLE_OK) {
        CURL* handle = m_handle.get();
        // The request's header lines as libcurl's list, freed when the transfer is over. A line
        // that cannot be added fails the transfer: a request must never go out without one.
        curl_slist* list = nullptr;
        for (const std::string& line : m_requestHeaders) {
            curl_slist* longer = curl_slist_append(list, line.c_str());
            if (longer == nullptr) {
                result = CURLE_OUT_OF_MEMORY;
                break;
            }
            list = longer;
        }
        const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(list,
                                                                            curl_slist_free_all);
        if (result == CURLE_OK) {
            OptionSetter options(handle);
            options.Set(CURLOPT_ERRORBUFFER, g_errorBuffer)
                .Set(CURLOPT_URL, m_url.c_str())
                .Set(CURLOPT_HTTPHEADER, list);
            if (!m_postBody.empty()) {
                options.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_postBody.size()))
                    .Set(CURLOPT_POSTFIELDS, m_postBody.c_str());
                m_postMode = true;
            } else if (m_postMode) {
                options.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0))
                    .Set(CURLOPT_POSTFIELDS, "");
            } else {
                // No body of an earlier transfer may linger on the handle.
                options.Set(CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr))
                    .Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1))
                    .Set(CURLOPT_HTTPGET, 1L);
            }
            const std::string noProxy = NoProxyHosts();
            options.Set(CURLOPT_NOSIGNAL, 1L)
                .Set(CURLOPT_CONNECTTIMEOUT_MS, m_limits.connectTimeoutMs)
                .Set(CURLOPT_TIMEOUT_MS, m_limits.totalTimeoutMs)
                .Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_limits.maxBodyBytes))
                .Set(CURLOPT_PROTOCOLS_STR, "http,https")
                .Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
                .Set(CURLOPT_FOLLOWLOCATION, 0L)
                .Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
                .Set(CURLOPT_NOPROXY, noProxy.c_str())
                .Set(CURLOPT_FRESH_CONNECT, m_freshConnection ? 1L : 0L);
            result = options.Result();
            if (result != CURLE_OK)
                LOG_ENTRY("curl_easy_setopt " << options.Refusal());
            else
                result = curl_easy_perform(handle);
        }
        // The list is freed below: the handle must not keep pointing at it.
        OptionSetter cleared(handle);
        if (cleared.Set(CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr)).Result() != CURLE_OK)
            LOG_ENTRY("curl_easy_setopt " << cleared.Refusal());
    }

    if (result != CURLE_OK) {
        LOG_ENTRY("curl_easy_perform Result = " << static_cast<int>(result));
        LOG_ENTRY("CurlErrBuff : " << g_errorBuffer);
    }
    m_sentHeaders = std::move(m_requestHeaders);
    m_requestHeaders.clear();
    m_url.clear();
    m_postBody.clear();
    m_freshConnection = false;
    m_lastResult = static_cast<int>(result);
    return result == CURLE_OK;
}

int CCurl::GetHttpCode() const {
    return HttpStatusOfHeaderLines(m_headerLines);
}

bool CCurl::FindHeader(const std::string& name, std::string& line) const {
    return FindHeaderLine(m_headerLines, name, line);
}

bool CCurl::GetLocation(std::string& target) const {
    return LocationOfHeaderLines(m_headerLines, target);
}

const std::string& CCurl::GetResponseBody() {
    m_responseText = m_body;
    return m_responseText;
}

int CCurl::ErrorCodeForResult(int curlResult) {
    switch (curlResult) {
        case CURLE_OK:
            return 0;
        case CURLE_FAILED_INIT:
            return 1;
        case CURLE_URL_MALFORMAT:
            return 2;
        case CURLE_COULDNT_RESOLVE_PROXY:
            return 3;
        case CURLE_COULDNT_RESOLVE_HOST:
            return 4;
        case CURLE_COULDNT_CONNECT:
            return 5;
        case CURLE_WEIRD_SERVER_REPLY:
            return 6;
        case CURLE_REMOTE_ACCESS_DENIED:
            return 7;
        case CURLE_SEND_ERROR:
            return 8;
        case CURLE_RECV_ERROR:
            return 9;
        case CURLE_SSL_CERTPROBLEM:
            return 10;
        case CURLE_PEER_FAILED_VERIFICATION:
            return 10;  // result 60: the certificate was not trusted
        default:
            return 11;
    }
}

int CCurl::GetErrorCode() const {
    return ErrorCodeForResult(m_lastResult);
}

bool CCurl::GetTokens(std::string& accessToken, std::string& refreshToken,
                      std::int32_t& expiresIn) const {
    return ReadTokenAnswer(m_body, accessToken, refreshToken, expiresIn);
}
