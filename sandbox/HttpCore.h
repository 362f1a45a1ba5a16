#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// cpp-httplib's server with its connection loop replaced by ours, so the sandbox can see what
// the library hides: every accepted connection, the request line and header lines exactly as
// they arrived (httplib keeps headers in a sorted map), and a way to cut an answer short the
// way a failing network would.
namespace calvenor::sandbox::detail {

// The request line and header lines of one request, as received.
struct RawRequestHead {
    std::string method;
    std::string target;
    std::vector<std::string> headerLines;  // without CR LF
};

class CConnectionStream;

class CRecordingServer : public httplib::Server {
public:
    CRecordingServer();

    // Called once per accepted TCP connection, on the connection's thread.
    std::function<void()> onConnection;

    // Makes connection loops, reads and writes give up promptly; call before stop().
    void BeginStopping() { m_stopping = true; }
    bool Stopping() const { return m_stopping; }

    // The head of the request being handled on the calling thread; null outside a handler or
    // when the request could not be parsed.
    static const RawRequestHead* CurrentHead();
    // Cuts the answer being written on the calling thread: only its status line and header
    // block plus `bodyBytes` bytes of body reach the client, then the connection is closed.
    static void CutCurrentAnswer(std::size_t bodyBytes);
    // Nothing of the answer is sent; the connection is closed.
    static void SuppressCurrentAnswer();
    // The answer is sent whole, then the connection is closed (its request body was not read).
    static void CloseAfterCurrentAnswer();

private:
    bool process_and_close_socket(socket_t sock) override;

    std::atomic<bool> m_stopping{false};
};

}  // namespace calvenor::sandbox::detail
