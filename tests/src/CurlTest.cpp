#include "Curl.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <ostream>
#include <thread>

#include "Log.h"
#include "RecordingServer.h"
#include "TestSupport.h"

using namespace calvenor::test;
using calvenor::sandbox::CRecordingServer;

namespace {

// A server whose answers the test gives as routes, recording what arrived.
class CurlTest : public ::testing::Test {
protected:
    void SetUp() override { CLog::ResetForTesting(); }
    ~CurlTest() override { m_release = true; }  // ends stalled answers before the server stops
    void Start() { ASSERT_TRUE(m_server.Start()); }
    std::string Url(const std::string& path) const { return m_server.BaseUrl() + path; }
    std::string Log() const { return ReadFile(m_home.LogPath()); }

    IsolatedHome m_home;
    std::atomic<bool> m_release{false};
    CRecordingServer m_server;
};

}  // namespace

// What the filer reads from an answer's header lines: the status of its final status line
// (interim 1xx answers and a proxy's CONNECT answer passed over), and a redirect target only
// when it is an absolute address secrets may travel to.
struct AnswerRow {
    const char* name;
    std::vector<std::string> lines;
    int status;
    std::string target;  // empty: no usable Location
    friend void PrintTo(const AnswerRow& row, std::ostream* os) { *os << row.name; }
};

class AnswerTest : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(AnswerTest, StatusAndRedirectTargetComeFromTheFinalAnswer) {
    std::vector<std::string> lines;
    for (const auto& line : GetParam().lines)
        lines.push_back(line + "\r\n");
    EXPECT_EQ(HttpStatusOfHeaderLines(lines), GetParam().status);
    std::string target = "previous";
    EXPECT_EQ(LocationOfHeaderLines(lines, target), !GetParam().target.empty());
    EXPECT_EQ(target, GetParam().target);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, AnswerTest, ::testing::Values(
    AnswerRow{"Created", {"HTTP/1.1 201 Created", ""}, 201, ""},
    AnswerRow{"Http2StatusLine", {"HTTP/2 200", ""}, 200, ""},
    AnswerRow{"NoReasonText", {"HTTP/1.1 404", ""}, 404, ""},
    AnswerRow{"ProxyBeforeTheAnswer", {"HTTP/1.1 200 Connection established", "", "HTTP/1.1 401 Unauthorized", ""}, 401, ""},
    AnswerRow{"HttpsWithQuery", {"HTTP/1.1 302 Found", "Location: https://h.example/start?a=1&b=2", ""}, 302, "https://h.example/start?a=1&b=2"},
    AnswerRow{"LowerCaseName", {"HTTP/1.1 302 Found", "location:  https://h.example/x ", ""}, 302, "https://h.example/x"},
    AnswerRow{"LoopbackHttp", {"HTTP/1.1 302 Found", "Location: http://127.0.0.1:8787/sign-in", ""}, 302, "http://127.0.0.1:8787/sign-in"},
    AnswerRow{"Relative", {"HTTP/1.1 303 See Other", "Location: /oauth/start", ""}, 303, ""},
    AnswerRow{"PlainHttpElsewhere", {"HTTP/1.1 302 Found", "Location: http://evil.example/x?https://h.example", ""}, 302, ""},
    AnswerRow{"HttpsNotAtTheStart", {"HTTP/1.1 302 Found", "Location: javascript:https://h.example", ""}, 302, ""},
    AnswerRow{"EarlyHintsBeforeTheRedirect", {"HTTP/1.1 103 Early Hints", "Location: https://early.example/", "", "HTTP/1.1 302 Found", "Location: https://final.example/", ""}, 302, "https://final.example/"},
    AnswerRow{"EarlyHintsBeforeAnAnswerWithoutTarget", {"HTTP/1.1 103 Early Hints", "Location: https://early.example/", "", "HTTP/1.1 200 OK", ""}, 200, ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Through libcurl: a 100 Continue the server sends before its answer is passed over.
TEST_F(CurlTest, TheStatusIsTheOneAfterAnInterimAnswer) {
    m_server.Http().Post("/", [](const httplib::Request&, httplib::Response& res) {
        res.status = 400;
        res.set_header("Location", "https://h.example/after");
    });
    Start();
    CCurl curl;
    curl.SetUrl(Url("/"));
    curl.AppendHeader("Expect: 100-continue");
    curl.SetPostBody("{}");
    ASSERT_TRUE(curl.DoTransaction());
    ASSERT_TRUE(curl.GetHeaderLines().front().starts_with("HTTP/1.1 100 "));
    EXPECT_EQ(curl.GetHttpCode(), 400);
    std::string target;
    EXPECT_TRUE(curl.GetLocation(target));
}

TEST_F(CurlTest, KeepsTheAnswerAsReceivedAndFindsHeaderLinesByNameOnly) {
    m_server.Http().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.status = 201;
        res.set_header("A-Note", "Receipt-ID: not this one");
        res.set_header("receipt-id", "42");
        res.set_content(std::string("a\0b\xff", 4), "application/octet-stream");
    });
    Start();
    CCurl curl;
    curl.SetUrl(Url("/"));
    ASSERT_TRUE(curl.DoTransaction());
    const auto& lines = curl.GetHeaderLines();
    EXPECT_EQ(lines.front(), "HTTP/1.1 201 Created\r\n");
    EXPECT_EQ(lines.at(1), "A-Note: Receipt-ID: not this one\r\n");
    EXPECT_EQ(lines.back(), "\r\n");
    EXPECT_EQ(curl.GetResponseBody(), std::string("a\0b\xff", 4));
    std::string line;
    ASSERT_TRUE(curl.FindHeader("Receipt-Id:", line));
    EXPECT_EQ(line, "receipt-id: 42\r\n");
    line = "unchanged";
    EXPECT_FALSE(curl.FindHeader("Receipt-Timestamp:", line));
    EXPECT_EQ(line, "unchanged");
}

// Header lines go out with one transfer only, in the order given, and a line that would smuggle
// in another is dropped. A body makes a POST, and POST stays until GET is asked for.
TEST_F(CurlTest, RequestLinesAndMethodsGoOutAsSetForOneTransferOnly) {
    m_server.Http().Get("/first", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-First", "yes");
        res.set_content("first body", "text/plain");
    });
    m_server.Http().Post(".*",
                         [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    m_server.Http().Get("/c",
                        [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    Start();
    CCurl curl;
    curl.SetUrl(Url("/first"));
    curl.AppendHeader("X-Custom: one");
    curl.AppendHeader("Authorization: Bearer abc\r\nX-Injected: 1");
    curl.AppendHeader("X-Other: two");
    ASSERT_TRUE(curl.DoTransaction());
    EXPECT_EQ(curl.GetSentHeaderLines(),
              (std::vector<std::string>{"X-Custom: one", "X-Other: two"}));
    for (const char* path : {"/a", "/b"}) {
        curl.SetUrl(Url(path));
        curl.SetPostBody(path == std::string("/a") ? "x=1" : "");  // "/b": an empty POST
        ASSERT_TRUE(curl.DoTransaction());
    }
    EXPECT_TRUE(curl.GetSentHeaderLines().empty());
    EXPECT_EQ(curl.GetHttpCode(), 204);
    EXPECT_EQ(curl.GetResponseBody(), "");
    for (const auto& line : curl.GetHeaderLines())
        EXPECT_EQ(line.find("X-First"), std::string::npos) << line;
    curl.UseGet();
    curl.SetUrl(Url("/c"));
    ASSERT_TRUE(curl.DoTransaction());

    const auto requests = m_server.Received();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].Header("X-Custom"), "one");
    EXPECT_FALSE(requests[0].Header("Authorization") || requests[0].Header("X-Injected"));
    EXPECT_FALSE(requests[1].Header("X-Custom"));
    std::string sent;
    for (const auto& r : requests)
        sent += r.method + " " + r.target + " " + r.body + ";";
    EXPECT_EQ(sent, "GET /first ;POST /a x=1;POST /b ;GET /c ;");
}

// Transfers that end without a whole answer: each is a communication error, logged, with no more
// body than the limit. A body cut off by the limit still leaves the status line that came first.
struct FailureRow {
    const char* name;
    std::string url;  // a path on the test's server, or a whole address
    int result;
    int code;
    int status;
    std::string logged = {};  // an entry the log must hold besides the result's
    friend void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }
};

class FailedTransferTest : public CurlTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedTransferTest, EndsAsACommunicationError) {
    m_server.Http().Get("/stall", [this](const httplib::Request&, httplib::Response&) {
        while (!m_release)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    m_server.Http().Get("/long", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(5000, 'x'), "text/plain");
    });
    m_server.Http().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
            for (int i = 0; i < 5; ++i)
                sink.write(std::string(1000, 'y').data(), 1000);
            sink.done();
            return true;
        });
    });
    Start();
    const FailureRow& row = GetParam();
    CurlLimits limits;
    limits.totalTimeoutMs = 1000;
    limits.maxBodyBytes = 1000;
    CCurl curl(limits);
    curl.SetUrl(row.url.starts_with("/") ? Url(row.url) : row.url);
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetLastResult(), row.result);
    EXPECT_EQ(curl.GetErrorCode(), row.code);
    EXPECT_EQ(curl.GetHttpCode(), row.status);
    EXPECT_LE(curl.GetResponseBody().size(), 1000u);
    const std::string log = Log();
    EXPECT_NE(log.find(" : src/Curl.cpp : "), std::string::npos) << log;
    EXPECT_NE(log.find("CCurl::DoTransaction : curl_easy_perform Result = " +
                       std::to_string(row.result) + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CCurl::DoTransaction : CurlErrBuff : "), std::string::npos) << log;
    EXPECT_NE(log.find(row.logged), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, FailedTransferTest,
    ::testing::Values(FailureRow{"RefusedConnection", "http://127.0.0.1:1/", 7, 5, 0},
                      FailureRow{"PortOutOfRange", "http://127.0.0.1:99999999/", 3, 2, 0},
                      FailureRow{"NoUrl", "", 3, 2, 0},
                      FailureRow{"FileScheme", "file:///etc/passwd", 1, 11, 0},
                      FailureRow{"StalledServer", "/stall", 28, 11, 0},
                      FailureRow{"BodyOverTheLimitByLength", "/long", 63, 11, 200},
                      FailureRow{"ChunkedBodyOverTheLimit", "/chunked", 23, 11, 200},
                      // Over libcurl's limit for a text option: refused, so nothing is sent.
                      FailureRow{"UrlLibcurlRefuses",
                                 "http://127.0.0.1:1/" + std::string(9'000'000, 'a'), 43, 11, 0,
                                 "CCurl::DoTransaction : curl_easy_setopt CURLOPT_URL refused: A "
                                 "libcurl function was given a bad argument\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// libcurl's global state belongs to one transport at a time: a second one fails its transfers
// and leaves the first working, and a reset hands the first a new handle in GET mode.
TEST_F(CurlTest, OneTransportHoldsLibcurlAndAResetKeepsItWorking) {
    m_server.Http().Get("/", [](const httplib::Request&, httplib::Response&) {});
    Start();
    CCurl first;
    {
        CCurl second;
        EXPECT_FALSE(second.OwnsTransport());
        second.SetUrl(Url("/"));
        EXPECT_FALSE(second.DoTransaction());
        EXPECT_EQ(second.GetLastResult(), 43);
        EXPECT_EQ(second.GetErrorCode(), 11);
    }
    first.UsePost();
    first.Reset();
    EXPECT_TRUE(first.OwnsTransport());
    first.SetUrl(Url("/"));
    ASSERT_TRUE(first.DoTransaction());
    ASSERT_EQ(m_server.Received().size(), 1u);
    EXPECT_EQ(m_server.Received()[0].method, "GET");
}

// A connection that dies after the request was sent: libcurl resends a request whose reused
// connection died, and only a fresh connection prevents it.
TEST_F(CurlTest, AFreshConnectionIsNeverResentWhenItDrops) {
    m_server.Http().Get("/warm", [](const httplib::Request&, httplib::Response&) {});
    m_server.Http().Post("/post", [](const httplib::Request&, httplib::Response&) {
        CRecordingServer::DropAnswer();
    });
    Start();
    for (const bool fresh : {false, true}) {
        m_server.ClearReceived();
        CCurl curl;
        curl.SetUrl(Url("/warm"));
        ASSERT_TRUE(curl.DoTransaction());
        curl.SetUrl(Url("/post"));
        curl.SetPostBody("{}");
        if (fresh)
            curl.UseFreshConnection();
        EXPECT_FALSE(curl.DoTransaction());
        EXPECT_EQ(curl.GetLastResult(), 52);  // nothing came back
        EXPECT_EQ(m_server.Received().size(), fresh ? 2u : 3u) << (fresh ? "fresh" : "reused");
    }
}

TEST_F(CurlTest, ThisMachineIsNeverReachedThroughAProxy) {
    m_server.Http().Get("/direct", [](const httplib::Request&, httplib::Response&) {});
    Start();
    const std::string deadProxy = "http://127.0.0.1:1";
    ScopedEnv http("http_proxy", deadProxy), https("https_proxy", deadProxy),
        all("ALL_PROXY", deadProxy);
    ScopedEnv none("no_proxy", "example.invalid");
    CCurl curl;
    curl.SetUrl(Url("/direct"));
    ASSERT_TRUE(curl.DoTransaction()) << curl.GetLastResult();
    EXPECT_EQ(m_server.Received().at(0).target, "/direct");
}
