#include "RecordingServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "Text.h"

namespace calvenor::sandbox {
namespace {

// A request a handler asked to drop, on this connection's thread; taken when the answer is
// about to be written.
thread_local bool t_dropAnswer = false;

// The library adds the connection's addresses to the request headers; they were never sent.
bool IsAddedByTheLibrary(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

// One thread per connection, joined at shutdown: a kept-alive connection holds its thread while
// idle, so a fixed pool would make the next client wait.
class CThreadPerConnection final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_workers, [](Worker& worker) {
            if (!*worker.done)
                return false;
            worker.thread.join();
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_workers.push_back({std::thread([fn = std::move(fn), done] {
                                 fn();
                                 *done = true;
                             }),
                             done});
    }
    void shutdown() override {
        std::lock_guard lock(m_mutex);
        for (auto& worker : m_workers)
            worker.thread.join();
        m_workers.clear();
    }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex m_mutex;
    std::vector<Worker> m_workers;
};

bool PortOf(const sockaddr_storage& address, std::string* ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    } else {
        return false;
    }
    if (ip)
        *ip = text;
    return true;
}

// Shuts down this process's accepted connections on `localPort` (those from `peerIp`:`peerPort`
// only, when given). The library does not hand out its sockets, so they are found among the open
// descriptors by their addresses; each is checked and shut down through a duplicate, so a
// descriptor closed and reused meanwhile is never touched.
void ShutDownConnections(int localPort, const std::string* peerIp = nullptr, int peerPort = 0) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = -1;
        try {
            fd = std::stoi(entry.path().filename().string());
        } catch (const std::exception&) {
            continue;
        }
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        std::string ip;
        int port = 0, remotePort = 0;
        const bool ours =
            ::getsockname(copy, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            PortOf(local, nullptr, port) && port == localPort &&
            ::getpeername(copy, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            PortOf(peer, &ip, remotePort) && (!peerIp || (ip == *peerIp && remotePort == peerPort));
        if (ours)
            ::shutdown(copy, SHUT_RDWR);
        ::close(copy);
    }
}

}  // namespace

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
    const std::string wanted = AsciiLower(name) + ":";
    for (const auto& line : headerLines)
        if (AsciiLower(line.substr(0, wanted.size())) == wanted)
            return Trim(line.substr(wanted.size()));
    return std::nullopt;
}

std::string ReceivedRequest::Path() const {
    return target.substr(0, target.find('?'));
}

std::vector<std::string> HeaderLinesOf(const httplib::Request& req) {
    std::vector<std::string> lines;
    for (const auto& [name, value] : req.headers)
        if (!IsAddedByTheLibrary(name))
            lines.push_back(name + ": " + value);
    return lines;
}

struct CRecordingServer::Impl {
    httplib::Server http;
    Handler beforeAnswer;
    std::function<bool(std::string_view)> recordFilter;
    std::thread thread;
    std::atomic<bool> listenerEnded{false};
    int port = 0;

    mutable std::mutex mutex;  // guards the two below
    std::vector<ReceivedRequest> received;
    std::set<std::pair<std::string, int>> connections;

    // A server left running for days keeps only the most recent requests.
    static constexpr std::size_t kMaxReceived = 10000;

    void BeforeAnswer(const httplib::Request& req, httplib::Response& res) {
        // An unreadable request line leaves the method empty: nothing to record.
        if (!req.method.empty()) {
            ReceivedRequest r{req.method, req.target, HeaderLinesOf(req), req.body,
                              req.remote_port};
            std::lock_guard lock(mutex);
            if (req.remote_port > 0)
                connections.emplace(req.remote_addr, req.remote_port);
            if (!recordFilter || recordFilter(r.Path())) {
                received.push_back(std::move(r));
                if (received.size() > kMaxReceived)
                    received.erase(received.begin());
            }
        }
        if (beforeAnswer)
            beforeAnswer(req, res);
        if (std::exchange(t_dropAnswer, false) && req.remote_port > 0)
            ShutDownConnections(req.local_port, &req.remote_addr, req.remote_port);
    }
};

CRecordingServer::CRecordingServer() : m_impl(std::make_unique<Impl>()) {
    httplib::Server& http = m_impl->http;
    http.new_task_queue = [] { return new CThreadPerConnection; };
    // The library's default also sets SO_REUSEPORT, which would let a second server share the
    // port silently; only SO_REUSEADDR is wanted (a restart need not wait for TIME_WAIT).
    http.set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Answers go out whole at once; with Nagle's algorithm and the client's delayed
    // acknowledgement every answer on a reused connection would wait about 40 ms.
    http.set_tcp_nodelay(true);
    http.set_post_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        m_impl->BeforeAnswer(req, res);
    });
}

CRecordingServer::~CRecordingServer() {
    Stop();
}

httplib::Server& CRecordingServer::Http() {
    return m_impl->http;
}

void CRecordingServer::SetBeforeAnswer(Handler handler) {
    m_impl->beforeAnswer = std::move(handler);
}

void CRecordingServer::SetRecordFilter(std::function<bool(std::string_view)> record) {
    m_impl->recordFilter = std::move(record);
}

bool CRecordingServer::Start(int port) {
    Impl& d = *m_impl;
    if (d.thread.joinable() || d.port != 0)
        return false;
    if (port == 0)
        port = d.http.bind_to_any_port("127.0.0.1");
    else if (!d.http.bind_to_port("127.0.0.1", port))
        port = -1;
    if (port <= 0)
        return false;
    d.port = port;
    d.thread = std::thread([&d] {
        d.http.listen_after_bind();
        d.listenerEnded = true;
    });
    // Stop() must not race the listener's start: the library ignores a stop before it runs.
    while (!d.http.is_running() && !d.listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void CRecordingServer::Stop() {
    Impl& d = *m_impl;
    if (!d.thread.joinable())
        return;
    d.http.stop();
    // Connections idle in keep-alive or waiting for a request would hold the listener's end for
    // their whole time-out; shutting them down ends them now. A connection accepted just before
    // the listener closed is caught by the next round.
    while (!d.listenerEnded) {
        ShutDownConnections(d.port);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    d.thread.join();
}

bool CRecordingServer::IsRunning() const {
    return m_impl->thread.joinable() && !m_impl->listenerEnded;
}

int CRecordingServer::Port() const {
    return m_impl->port;
}

std::string CRecordingServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_impl->port);
}

std::vector<ReceivedRequest> CRecordingServer::Received() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received;
}

void CRecordingServer::ClearReceived() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->received.clear();
}

int CRecordingServer::ConnectionCount() const {
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(m_impl->connections.size());
}

void CRecordingServer::CutAnswer(httplib::Response& res, std::size_t bodyBytes) {
    if (res.body.empty())
        return;  // nothing to cut: the answer is whole either way
    const std::string body = std::exchange(res.body, {});
    const std::string type = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    // The library writes the status line and headers, then asks for the body; a provider that
    // refuses ends the answer and the connection.
    res.set_content_provider(
        body.size(), type,
        [body, bodyBytes](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < bodyBytes && offset < body.size())
                sink.write(body.data() + offset, std::min(bodyBytes, body.size()) - offset);
            return false;
        });
}

void CRecordingServer::CloseAfterAnswer(httplib::Response& res) {
    CutAnswer(res, res.body.size());
}

void CRecordingServer::DropAnswer() {
    t_dropAnswer = true;
}

}  // namespace calvenor::sandbox
