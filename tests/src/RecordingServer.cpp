#include "RecordingServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <stdexcept>

namespace calvenor::test {
namespace {

int ListenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

// Takes one complete request off the front of `buffer`; false while it is incomplete.
bool TakeRequest(std::string& buffer, RecordedRequest& request) {
    const auto headerEnd = buffer.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return false;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < headerEnd) {
        const auto end = buffer.find("\r\n", start);
        lines.push_back(buffer.substr(start, end - start));
        start = end + 2;
    }
    std::size_t contentLength = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string name = lines[i].substr(0, lines[i].find(':'));
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "content-length")
            contentLength = std::strtoul(lines[i].c_str() + name.size() + 1, nullptr, 10);
    }
    const std::size_t total = headerEnd + 4 + contentLength;
    if (buffer.size() < total)
        return false;

    const std::string& requestLine = lines.front();
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.headerLines.assign(lines.begin() + 1, lines.end());
    request.body = buffer.substr(headerEnd + 4, contentLength);
    buffer.erase(0, total);
    return true;
}

}  // namespace

Answer Answer::Http(int status, const std::string& reason, const std::vector<std::string>& headers,
                    const std::string& body) {
    Answer answer;
    answer.bytes = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const auto& line : headers)
        answer.bytes += line + "\r\n";
    answer.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return answer;
}

RecordingServer::RecordingServer(Responder responder) : m_responder(std::move(responder)) {
    m_listenFd = ListenOnLoopback(m_port);
    m_thread = std::thread([this] { Run(); });
}

RecordingServer::~RecordingServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listenFd);
}

std::vector<RecordedRequest> RecordingServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void RecordingServer::Run() {
    struct Client {
        std::string buffer;
        int number = 0;
        bool stalled = false;
    };
    std::map<int, Client> clients;
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listenFd, POLLIN, 0}};
        for (const auto& [fd, client] : clients)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;

        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                clients[fd].number = ++m_connections;
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            const int fd = fds[i].fd;
            Client& client = clients[fd];
            char chunk[16384];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                ::close(fd);
                clients.erase(fd);
                continue;
            }
            client.buffer.append(chunk, static_cast<std::size_t>(n));
            RecordedRequest request;
            while (!client.stalled && TakeRequest(client.buffer, request)) {
                request.connection = client.number;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                }
                const Answer answer = m_responder(request);
                if (answer.stall) {
                    client.stalled = true;
                    break;
                }
                SendAll(fd, answer.bytes);
                if (answer.close) {
                    ::close(fd);
                    clients.erase(fd);
                    break;
                }
            }
        }
    }
    for (const auto& [fd, client] : clients)
        ::close(fd);
}

int UnusedPort() {
    int port = 0;
    const int fd = ListenOnLoopback(port);
    ::close(fd);
    return port;
}

}  // namespace calvenor::test
