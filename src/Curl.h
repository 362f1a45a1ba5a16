#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AnswerReaders.h"

// Bounds of one transfer. Tests lower them; the filer keeps the defaults.
struct CurlLimits {
    long connectTimeoutMs = 30'000;
    long totalTimeoutMs = 120'000;
    std::size_t maxBodyBytes = 8u * 1024u * 1024u;
    std::size_t maxHeaderBytes = 1024u * 1024u;
};

// The filer's only HTTP client: one libcurl easy handle, one blocking transfer at a time. It keeps
// what the last transfer produced (header lines, body bytes, libcurl result) and offers small
// readers over it. It knows nothing of OAuth, JSON or HMRC beyond the token answer reader.
class CCurl {
public:
    using Limits = CurlLimits;

    explicit CCurl(const Limits& limits = Limits{});
    virtual ~CCurl();
    CCurl(const CCurl&) = delete;
    CCurl& operator=(const CCurl&) = delete;

    // Takes the process's one transport when no other transport holds it, and with it libcurl's
    // global state and a handle. A transport without a handle fails every transfer; why it has
    // none is logged here.
    void Initialise();
    // Drops the handle (and with it every open connection) and takes the transport again; the
    // kept fields stay.
    void Reset();
    bool OwnsTransport() const { return m_ownsTransport; }

    void SetLimits(const Limits& limits) { m_limits = limits; }
    const Limits& GetLimits() const { return m_limits; }

    void SetUrl(const std::string& url) { m_url = url; }
    // A non-empty body makes the next transfer a POST with that body.
    void SetPostBody(const std::string& body) { m_postBody = body; }
    // One complete header line, "Name: value", without CR LF. A line holding CR or LF is refused.
    void AppendHeader(const std::string& line);
    void UseGet();
    void UsePost();
    bool IsPostMode() const { return m_postMode; }
    // The next transfer opens a new connection instead of reusing one. Used for the return
    // submission: libcurl resends a request whose reused connection died, and a return must never
    // reach HMRC twice.
    void UseFreshConnection() { m_freshConnection = true; }

    // True when libcurl reports success, whatever the HTTP status. An option libcurl refuses
    // fails the transfer before anything is sent.
    bool DoTransaction();

    // The status of the last response (its last status line, so interim 1xx answers are passed
    // over); 0 when none can be found.
    int GetHttpCode() const;
    // The first header line of the last response whose name is `name` (given with its colon,
    // compared without regard to case), whole with its CR LF. Unchanged output when not found.
    bool FindHeader(const std::string& name, std::string& line) const;
    // The redirect target: the Location value when it is an absolute https address (or http to
    // this machine). The output always receives the target, empty when there is none.
    bool GetLocation(std::string& target) const;
    const std::string& GetResponseBody();
    // The communication error code 0 to 11 of the last transfer.
    int GetErrorCode() const;
    static int ErrorCodeForResult(int curlResult);
    int GetLastResult() const { return m_lastResult; }
    const std::vector<std::string>& GetHeaderLines() const { return m_headerLines; }
    // The header lines of the last transfer's request as handed to libcurl, in order (libcurl
    // adds Host, Content-Length and its defaults around them).
    const std::vector<std::string>& GetSentHeaderLines() const { return m_sentHeaders; }

    // Reads an OAuth token answer from the last body. True when it is a JSON object with a string
    // "access_token"; members that are missing or of the wrong type leave their output unchanged.
    bool GetTokens(std::string& accessToken, std::string& refreshToken,
                   std::int32_t& expiresIn) const;

private:
    struct HandleDeleter {
        void operator()(void* handle) const;
    };

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    void Release();

    std::unique_ptr<void, HandleDeleter> m_handle;
    bool m_ownsTransport = false;
    std::string m_url;
    std::string m_body;
    std::vector<std::string> m_headerLines;
    std::vector<std::string> m_requestHeaders;
    std::vector<std::string> m_sentHeaders;
    std::string m_postBody;
    std::string m_responseText;
    int m_lastResult = 0;

    Limits m_limits;
    bool m_postMode = false;
    bool m_freshConnection = false;
    std::size_t m_headerBytes = 0;
};
