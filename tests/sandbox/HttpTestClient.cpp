#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "SandboxFixture.h"
#include "Text.h"

namespace calvenor::sandbox::test {
namespace {}  // namespace

std::optional<std::string> HttpAnswer::Header(const std::string& name) const {
    std::optional<std::string> found;
    const std::string wanted = calvenor::AsciiLower(name) + ":";
    for (const auto& line : headerLines) {
        if (line.rfind("HTTP/", 0) == 0)
            found.reset();  // a new answer starts
        else if (!found && calvenor::AsciiLower(line.substr(0, wanted.size())) == wanted)
            found = line.substr(std::min(line.find_first_not_of(' ', wanted.size()), line.size()));
    }
    return found;
}

CHttpClient::CHttpClient() : m_curl(curl_easy_init()) {
    if (!m_curl)
        throw std::runtime_error("curl_easy_init failed");
}

CHttpClient::~CHttpClient() {
    curl_easy_cleanup(m_curl);
}

HttpAnswer CHttpClient::Perform(const std::string& url, const std::string* body,
                                const std::vector<std::string>& headers) {
    HttpAnswer answer;
    curl_slist* list = nullptr;
    for (const auto& h : headers)
        list = curl_slist_append(list, h.c_str());
    curl_write_callback onBody = [](char* data, size_t size, size_t count, void* user) {
        static_cast<HttpAnswer*>(user)->body.append(data, size * count);
        return size * count;
    };
    curl_write_callback onHeader = [](char* data, size_t size, size_t count, void* user) {
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            static_cast<HttpAnswer*>(user)->headerLines.push_back(line);
        return size * count;
    };
    curl_easy_reset(m_curl);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &answer);
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, m_timeoutMs);
    if (body) {
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body->c_str());
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, (curl_off_t)body->size());
    }
    answer.result = curl_easy_perform(m_curl);
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(list);
    return answer;
}

std::vector<std::string> VatHeaders(const std::string& accessToken) {
    return {"Accept: application/vnd.hmrc.1.0+json", "Content-Type: application/json",
            "Authorization: Bearer " + accessToken};
}

TokenSet Authorise(SandboxServer& server, CHttpClient& client, const std::string& scopes) {
    const HttpAnswer answer =
        client.Post(server.BaseUrl() + "/oauth/token",
                    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-client&grant_type="
                    "authorization_code&redirect_uri=urn%3Aietf%3Awg%3Aoauth%3A2.0%3Aoob&code=" +
                        server.GrantCode(kDemoClientId, scopes));
    rapidjson::Document doc;
    doc.Parse(answer.body.c_str());
    if (answer.status != 200 || !doc.IsObject())
        throw std::runtime_error("token exchange failed");
    return {doc["access_token"].GetString(), doc["refresh_token"].GetString()};
}

std::string RawExchange(int port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        char buffer[4096];
        for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 1000) > 0;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

std::string ValidReturnBody(const std::string& periodKey) {
    return R"({"periodKey":")" + periodKey +
           R"(","vatDueSales":"1234.50","vatDueAcquisitions":"0.00","totalVatDue":"1234.50",)"
           R"("vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50","totalValueSalesExVAT":"6172",)"
           R"("totalValuePurchasesExVAT":"500","totalValueGoodsSuppliedExVAT":"0",)"
           R"("totalAcquisitionsExVAT":"0","finalised":true})";
}

}  // namespace calvenor::sandbox::test
