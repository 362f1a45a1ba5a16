#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// An HTTP server on 127.0.0.1 for the sandbox and for tests: cpp-httplib answers through the
// routes it is given, and this class records every request, counts connections, stops promptly
// with clients still connected, and can end an answer the way a failing network would.
namespace calvenor::sandbox {

// One request as the server library parsed it.
struct ReceivedRequest {
    std::string method;  // "GET", "POST"
    std::string target;  // path with query, as sent ("/oauth/authorize?...")
    // "Name: value", ordered by name as the library keeps them, with values percent-decoded and
    // lines with an empty value left out. The order and the bytes a client sent are checked on
    // the client side (CCurl keeps the lines it handed to libcurl).
    std::vector<std::string> headerLines;
    std::string body;
    int clientPort = 0;  // the client's end of the connection: one connection, one port

    // The value of the first header with this name (any case); nullopt when there is none.
    std::optional<std::string> Header(std::string_view name) const;
    // The path without the query.
    std::string Path() const;
};

// The request's header lines as ReceivedRequest keeps them.
std::vector<std::string> HeaderLinesOf(const httplib::Request& req);

class CRecordingServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    CRecordingServer();
    ~CRecordingServer();  // stops the server
    CRecordingServer(const CRecordingServer&) = delete;
    CRecordingServer& operator=(const CRecordingServer&) = delete;

    // Routes, error and pre-routing handlers are set here before Start. The post-routing handler
    // is this class's own: SetBeforeAnswer adds to it.
    httplib::Server& Http();
    // Runs on every answer just before it is written (after the request was recorded).
    void SetBeforeAnswer(Handler handler);
    // Requests whose path this answers false for are not recorded.
    void SetRecordFilter(std::function<bool(std::string_view path)> record);

    // Serves on 127.0.0.1:`port` (0: a free port) on a thread of its own; false when the port
    // cannot be had. Once only per object.
    bool Start(int port = 0);
    // Returns promptly even while clients hold connections open (they are shut down).
    void Stop();
    bool IsRunning() const;
    int Port() const;
    std::string BaseUrl() const;  // "http://127.0.0.1:PORT"

    std::vector<ReceivedRequest> Received() const;
    void ClearReceived();
    // Connections that carried at least one request since Start.
    int ConnectionCount() const;

    // Ways to end the answer a handler is making. Cut: the status line, the header block and the
    // first `bodyBytes` bytes of the body go out, then the connection is closed.
    static void CutAnswer(httplib::Response& res, std::size_t bodyBytes);
    // The whole answer goes out, then the connection is closed.
    static void CloseAfterAnswer(httplib::Response& res);
    // The request was handled, but the client gets nothing: the connection is shut down.
    static void DropAnswer();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace calvenor::sandbox
