#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace calvenor::test {

// A tiny HMRC stand-in for answers the sandbox never gives (a 201 token answer, a 500, an HTML
// page): every request is answered by `answer`. Serves on a free port of 127.0.0.1 and stops at
// scope end.
class CStubHmrc {
public:
    using Answer = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit CStubHmrc(Answer answer) : m_answer(std::move(answer)) {
        // One request per connection, so stopping never waits for an idle keep-alive connection.
        m_server.set_keep_alive_max_count(1);
        m_server.set_pre_routing_handler(
            [this](const httplib::Request& request, httplib::Response& response) {
                ++m_requests;
                m_answer(request, response);
                return httplib::Server::HandlerResponse::Handled;
            });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 5000 && !m_server.is_running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~CStubHmrc() {
        m_server.stop();
        m_thread.join();
    }
    CStubHmrc(const CStubHmrc&) = delete;
    CStubHmrc& operator=(const CStubHmrc&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int Requests() const { return m_requests.load(); }

private:
    Answer m_answer;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<int> m_requests{0};
};

// A profile for `baseUrl` with the demo application's credentials and the named clients.
inline std::string ProfileFor(const std::string& baseUrl) {
    return R"({"client_id":"calvenor-demo-client","client_secret":"calvenor-demo-secret",
        "service_base_url":")" +
           baseUrl + R"(","clients":[
        {"company_name":"Ashcombe Joinery Ltd","vrn":"100000001"},
        {"company_name":"Brightwater Bakery Ltd","vrn":"100000002"},
        {"company_name":"Dunmore Estates Ltd","vrn":"100000004"},
        {"company_name":"Elmstead Trading Ltd","vrn":"100000005"}]})";
}

}  // namespace calvenor::test
