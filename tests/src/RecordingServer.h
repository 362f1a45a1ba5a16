#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calvenor::test {

// One request exactly as it arrived.
struct RecordedRequest {
    std::string method;
    std::string target;                    // path and query
    std::vector<std::string> headerLines;  // in arrival order, without CR LF
    std::string body;
    int connection = 0;  // 1 for the first connection accepted, and so on
};

// What the server does with one request.
struct Answer {
    std::string bytes;   // sent as they are (status line, headers, body)
    bool close = false;  // close the connection after sending (with no bytes: drop it unanswered)
    bool stall = false;  // never answer; the connection stays open until the server stops

    static Answer Http(int status, const std::string& reason,
                       const std::vector<std::string>& headers = {}, const std::string& body = {});
};

// An HTTP/1.1 server on 127.0.0.1 and a free port that records every request byte for byte and
// answers with whatever the test gives it, odd answers included. Connections are kept alive
// unless an answer closes them.
class RecordingServer {
public:
    using Responder = std::function<Answer(const RecordedRequest&)>;

    explicit RecordingServer(Responder responder);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int Port() const { return m_port; }
    std::vector<RecordedRequest> Requests() const;
    int ConnectionCount() const { return m_connections; }

private:
    void Run();

    Responder m_responder;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
    std::thread m_thread;
};

// A port on 127.0.0.1 where nothing listens.
int UnusedPort();

}  // namespace calvenor::test
