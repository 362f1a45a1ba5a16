#include "HttpCore.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace calvenor::sandbox::detail {
namespace {

// A request head larger than this is refused: no client of HMRC's API needs more, and reading
// without a limit would let one request exhaust memory.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr std::size_t kReadChunk = 16 * 1024;
// Waits are cut into slices this long so a stopping server is noticed promptly.
constexpr int kSliceMs = 50;

// >0 ready, 0 timed out or stopping, <0 error.
int PollSliced(int fd, short events, long long timeoutMs, const std::atomic<bool>& stopping) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stopping)
            return 0;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return 0;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 0)
            return n;
    }
}

void DescribeAddress(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    ip = text;
}

}  // namespace

// One accepted connection: buffered reads that also keep the bytes of the request head, and
// writes that can be cut short on request.
class CConnectionStream final : public httplib::Stream {
public:
    CConnectionStream(int fd, const std::atomic<bool>& stopping, long long readTimeoutMs,
                      long long writeTimeoutMs)
        : m_fd(fd),
          m_stopping(stopping),
          m_readTimeoutMs(readTimeoutMs),
          m_writeTimeoutMs(writeTimeoutMs) {}

    bool is_readable() const override {
        return m_pos < m_buffer.size() || PollSliced(m_fd, POLLIN, m_readTimeoutMs, m_stopping) > 0;
    }
    bool is_writable() const override {
        return !m_aborted && PollSliced(m_fd, POLLOUT, m_writeTimeoutMs, m_stopping) > 0;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (m_pos >= m_buffer.size()) {
            m_buffer.clear();
            m_pos = 0;
            if (PollSliced(m_fd, POLLIN, m_readTimeoutMs, m_stopping) <= 0)
                return -1;
            m_buffer.resize(kReadChunk);
            ssize_t n;
            do {
                n = ::recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) {
                m_buffer.clear();
                return n < 0 ? -1 : 0;
            }
            m_buffer.resize(static_cast<std::size_t>(n));
        }
        const std::size_t n = std::min(size, m_buffer.size() - m_pos);
        if (m_recording) {
            if (m_recorded.size() + n > kMaxHeadBytes) {
                m_headTooLarge = true;
                return -1;
            }
            m_recorded.append(m_buffer.data() + m_pos, n);
        }
        std::memcpy(ptr, m_buffer.data() + m_pos, n);
        m_pos += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (m_aborted || m_suppress) {
            m_aborted = true;
            return -1;
        }
        std::size_t allowed = size;
        if (m_cut) {
            std::size_t bodyStart = 0;
            if (!m_headerEndSeen) {
                // httplib writes the status line and header block in one piece.
                const std::string_view data(ptr, size);
                const auto end = data.find("\r\n\r\n");
                if (end == std::string_view::npos) {
                    bodyStart = size;
                } else {
                    m_headerEndSeen = true;
                    bodyStart = end + 4;
                }
            }
            if (m_headerEndSeen) {
                const std::size_t budget = m_cutBodyBytes - std::min(m_cutBodyBytes, m_bodySent);
                const std::size_t body = std::min(size - bodyStart, budget);
                m_bodySent += body;
                allowed = bodyStart + body;
            }
        }
        if (!SendAll(ptr, allowed)) {
            m_aborted = true;
            return -1;
        }
        if (allowed < size) {
            m_aborted = true;
            return -1;
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            DescribeAddress(address, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            DescribeAddress(address, ip, port);
    }
    socket_t socket() const override { return m_fd; }

    bool HasBufferedBytes() const { return m_pos < m_buffer.size(); }

    void BeginRequest() {
        m_recording = true;
        m_recorded.clear();
        m_headValid = false;
        m_head = {};
        m_cut = m_suppress = m_headerEndSeen = m_closeAfter = false;
        m_cutBodyBytes = m_bodySent = 0;
    }

    // httplib has read the request line and the header block: keep them as received.
    void EndHead() {
        m_recording = false;
        std::vector<std::string> lines;
        std::size_t from = 0;
        while (from < m_recorded.size()) {
            auto nl = m_recorded.find('\n', from);
            if (nl == std::string::npos)
                nl = m_recorded.size();
            std::string line = m_recorded.substr(from, nl - from);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            from = nl + 1;
            if (line.empty())
                break;
            lines.push_back(std::move(line));
        }
        if (lines.empty())
            return;
        const std::string& requestLine = lines.front();
        const auto sp1 = requestLine.find(' ');
        const auto sp2 = requestLine.rfind(' ');
        if (sp1 == std::string::npos || sp2 <= sp1)
            return;
        m_head.method = requestLine.substr(0, sp1);
        m_head.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
        m_head.headerLines.assign(lines.begin() + 1, lines.end());
        m_headValid = true;
    }

    const RawRequestHead* Head() const { return m_headValid ? &m_head : nullptr; }
    void Cut(std::size_t bodyBytes) {
        m_cut = true;
        m_cutBodyBytes = bodyBytes;
    }
    void Suppress() { m_suppress = true; }
    void CloseAfterAnswer() { m_closeAfter = true; }
    // The connection must not carry another request.
    bool MustClose() const {
        return m_aborted || m_cut || m_suppress || m_headTooLarge || m_closeAfter;
    }

private:
    bool SendAll(const char* ptr, std::size_t size) {
        while (size > 0) {
            if (PollSliced(m_fd, POLLOUT, m_writeTimeoutMs, m_stopping) <= 0)
                return false;
            // MSG_NOSIGNAL: a client that went away must not raise SIGPIPE in the server.
            const ssize_t n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return false;
            }
            ptr += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int m_fd;
    const std::atomic<bool>& m_stopping;
    long long m_readTimeoutMs;
    long long m_writeTimeoutMs;
    std::string m_buffer;
    std::size_t m_pos = 0;

    bool m_recording = false;
    bool m_headTooLarge = false;
    std::string m_recorded;
    RawRequestHead m_head;
    bool m_headValid = false;

    bool m_cut = false;
    bool m_suppress = false;
    bool m_closeAfter = false;
    bool m_aborted = false;
    bool m_headerEndSeen = false;
    std::size_t m_cutBodyBytes = 0;
    std::size_t m_bodySent = 0;
};

namespace {

thread_local CConnectionStream* t_stream = nullptr;

// One thread per connection, joined at shutdown: a kept-alive connection holds its thread while
// idle, so a fixed pool would make the next client wait.
class CThreadPerConnection final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override {
        std::lock_guard lock(m_mutex);
        Reap();
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
    void Reap() {
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (*it->done) {
                it->thread.join();
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::mutex m_mutex;
    std::vector<Worker> m_workers;
};

}  // namespace

CRecordingServer::CRecordingServer() {
    new_task_queue = [] { return new CThreadPerConnection; };
    // httplib's default also sets SO_REUSEPORT, which would let a second server share the port
    // silently; only SO_REUSEADDR is wanted (a restart need not wait for TIME_WAIT).
    set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

const RawRequestHead* CRecordingServer::CurrentHead() {
    return t_stream ? t_stream->Head() : nullptr;
}

void CRecordingServer::CutCurrentAnswer(std::size_t bodyBytes) {
    if (t_stream)
        t_stream->Cut(bodyBytes);
}

void CRecordingServer::SuppressCurrentAnswer() {
    if (t_stream)
        t_stream->Suppress();
}

void CRecordingServer::CloseAfterCurrentAnswer() {
    if (t_stream)
        t_stream->CloseAfterAnswer();
}

bool CRecordingServer::process_and_close_socket(socket_t sock) {
    if (onConnection)
        onConnection();
    // Answers go out whole at once; without this, Nagle's algorithm and the client's delayed
    // acknowledgement hold every answer on a reused connection back by about 40 ms.
    const int noDelay = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    CConnectionStream stream(sock, m_stopping,
                             read_timeout_sec_ * 1000LL + read_timeout_usec_ / 1000,
                             write_timeout_sec_ * 1000LL + write_timeout_usec_ / 1000);
    t_stream = &stream;
    bool result = false;
    std::size_t remaining = keep_alive_max_count_;
    while (remaining > 0 && !m_stopping &&
           (stream.HasBufferedBytes() ||
            PollSliced(sock, POLLIN, keep_alive_timeout_sec_ * 1000LL, m_stopping) > 0)) {
        const bool lastOnThisConnection = remaining == 1;
        bool connectionClosed = false;
        stream.BeginRequest();
        result = process_request(stream, lastOnThisConnection, connectionClosed,
                                 [&stream](httplib::Request&) { stream.EndHead(); });
        if (!result || connectionClosed || stream.MustClose())
            break;
        --remaining;
    }
    t_stream = nullptr;
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return result;
}

}  // namespace calvenor::sandbox::detail
