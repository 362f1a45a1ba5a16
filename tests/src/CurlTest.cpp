#include "Curl.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "Log.h"
#include "RecordingServer.h"
#include "TestSupport.h"

using namespace calvenor::test;

namespace {

class CurlTest : public ::testing::Test {
protected:
    void SetUp() override { CLog::ResetForTesting(); }
    std::string Log() const { return ReadFile(m_home.LogPath()); }

    IsolatedHome m_home;
};

// Runs one GET against a server answering with `answer`.
struct OneAnswer {
    explicit OneAnswer(Answer answer)
        : server([answer](const RecordedRequest&) { return answer; }) {}
    bool Get(CCurl& curl, const std::string& path = "/") {
        curl.SetUrl(server.BaseUrl() + path);
        return curl.DoTransaction();
    }
    RecordingServer server;
};

}  // namespace

// What the filer reads from an answer: the status of its final status line (interim 1xx answers
// passed over), and a redirect target only when it is an absolute address secrets may travel to.
struct AnswerRow {
    const char* name;
    std::string bytes;
    int status;
    std::string target;  // empty: no usable Location
    friend void PrintTo(const AnswerRow& row, std::ostream* os) { *os << row.name; }
};

std::string Found(const std::string& locationLine) {
    return "HTTP/1.1 302 Found\r\n" + locationLine + "Content-Length: 0\r\n\r\n";
}

class AnswerTest : public CurlTest, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(AnswerTest, StatusAndRedirectTargetComeFromTheFinalAnswer) {
    Answer answer;
    answer.bytes = GetParam().bytes;
    OneAnswer stub(answer);
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    EXPECT_EQ(curl.GetHttpCode(), GetParam().status);
    std::string target = "previous";
    EXPECT_EQ(curl.GetLocation(target), !GetParam().target.empty());
    EXPECT_EQ(target, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerTest,
    ::testing::Values(
        AnswerRow{"Created", "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\n{}", 201, ""},
        AnswerRow{"ContinueBeforeTheRealStatus",
                  "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 400 Bad Request\r\nContent-Length: "
                  "0\r\n\r\n",
                  400, ""},
        AnswerRow{"Http2StatusLine", "HTTP/2 200\r\nContent-Length: 0\r\n\r\n", 200, ""},
        AnswerRow{"NoReasonText", "HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n", 404, ""},
        AnswerRow{"HttpsWithQuery",
                  Found("Location: https://test-www.tax.service.gov.uk/oauth/start?a=1&b=2\r\n"),
                  302, "https://test-www.tax.service.gov.uk/oauth/start?a=1&b=2"},
        AnswerRow{"LowerCaseName", Found("location: https://h.example/x\r\n"), 302,
                  "https://h.example/x"},
        AnswerRow{"LoopbackHttp", Found("Location: http://127.0.0.1:8787/sign-in\r\n"), 302,
                  "http://127.0.0.1:8787/sign-in"},
        AnswerRow{"SeeOtherRelative",
                  "HTTP/1.1 303 See Other\r\nLocation: /oauth/start\r\nContent-Length: "
                  "0\r\n\r\n",
                  303, ""},
        AnswerRow{"PlainHttpElsewhere",
                  Found("Location: http://evil.example/x?https://h.example\r\n"), 302, ""},
        AnswerRow{"HttpsNotAtTheStart", Found("Location: javascript:https://h.example\r\n"), 302,
                  ""},
        AnswerRow{"NoLocation", Found(""), 302, ""},
        AnswerRow{"EarlyHintsBeforeTheRedirect",
                  "HTTP/1.1 103 Early Hints\r\nLocation: https://early.example/\r\n\r\n" +
                      Found("Location: https://final.example/\r\n"),
                  302, "https://final.example/"},
        AnswerRow{"EarlyHintsBeforeAnAnswerWithoutTarget",
                  "HTTP/1.1 103 Early Hints\r\nLocation: https://early.example/\r\n\r\n"
                  "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
                  200, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlTest, KeepsTheAnswerAsReceivedAndFindsHeaderLinesByNameOnly) {
    OneAnswer stub(
        Answer::Http(201, "Created",
                     {"X-Note: Receipt-ID: not this one", "receipt-id: 42", "X-CorrelationId: c-1"},
                     std::string("a\0b\xff", 4)));
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    EXPECT_EQ(
        curl.GetHeaderLines(),
        (std::vector<std::string>{"HTTP/1.1 201 Created\r\n",
                                  "X-Note: Receipt-ID: not this one\r\n", "receipt-id: 42\r\n",
                                  "X-CorrelationId: c-1\r\n", "Content-Length: 4\r\n", "\r\n"}));
    EXPECT_EQ(curl.GetResponseBody(), std::string("a\0b\xff", 4));
    std::string line;
    ASSERT_TRUE(curl.FindHeader("Receipt-Id:", line));
    EXPECT_EQ(line, "receipt-id: 42\r\n");
    ASSERT_TRUE(curl.FindHeader("X-Correlationid:", line));
    EXPECT_EQ(line, "X-CorrelationId: c-1\r\n");
    line = "unchanged";
    EXPECT_FALSE(curl.FindHeader("Receipt-Timestamp:", line));
    EXPECT_EQ(line, "unchanged");
}

// Header lines go out with one transfer only, and a line that would smuggle in another is dropped.
TEST_F(CurlTest, RequestHeaderLinesGoOutOnceAndNeverWithALineBreak) {
    RecordingServer server([](const RecordedRequest& request) {
        return request.target == "/first" ? Answer::Http(200, "OK", {"X-First: yes"}, "first body")
                                          : Answer::Http(204, "No Content");
    });
    CCurl curl;
    curl.SetUrl(server.BaseUrl() + "/first");
    curl.AppendHeader("X-Custom: one");
    curl.AppendHeader("Authorization: Bearer abc\r\nX-Injected: 1");
    ASSERT_TRUE(curl.DoTransaction());
    curl.SetUrl(server.BaseUrl() + "/second");
    ASSERT_TRUE(curl.DoTransaction());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headerLines.back(), "X-Custom: one");
    for (const auto& line : requests[0].headerLines) {
        EXPECT_EQ(line.find("Injected"), std::string::npos) << line;
        EXPECT_EQ(line.find("Bearer"), std::string::npos) << line;
    }
    for (const auto& line : requests[1].headerLines)
        EXPECT_EQ(line.find("X-Custom"), std::string::npos) << line;
    for (const auto& line : curl.GetHeaderLines())
        EXPECT_EQ(line.find("X-First"), std::string::npos) << line;
    EXPECT_EQ(curl.GetResponseBody(), "");
    EXPECT_EQ(curl.GetHttpCode(), 204);
}

TEST_F(CurlTest, ABodyMakesAPostAndTheMethodStaysUntilGetIsAskedFor) {
    RecordingServer server([](const RecordedRequest&) { return Answer::Http(200, "OK"); });
    CCurl curl;
    curl.UseGet();
    curl.SetUrl(server.BaseUrl() + "/a");
    curl.SetPostBody("x=1");
    ASSERT_TRUE(curl.DoTransaction());
    curl.SetUrl(server.BaseUrl() + "/b");  // still in POST mode: an empty POST, never the old body
    ASSERT_TRUE(curl.DoTransaction());
    curl.UseGet();
    curl.SetUrl(server.BaseUrl() + "/c");
    ASSERT_TRUE(curl.DoTransaction());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "x=1");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].body, "");
}

// Transfers that end without a whole answer: each is a communication error, logged, with no more
// body than the limit. A body cut off by the limit still leaves the status line that came first.
struct FailureRow {
    const char* name;
    std::optional<Answer> answer;  // served at "/"; without one the transfer goes to `url`
    std::string url;               // "unused" stands for a port nothing listens on
    int result;
    int code;
    int status;
    std::string logged = {};  // an entry the log must hold besides the result's
    friend void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }
};

Answer Stalled() {
    Answer stall;
    stall.stall = true;
    return stall;
}

Answer Chunked(int chunks, std::size_t chunkBytes) {
    Answer answer;
    answer.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", chunkBytes);
    for (int i = 0; i < chunks; ++i)
        answer.bytes += std::string(size) + "\r\n" + std::string(chunkBytes, 'y') + "\r\n";
    answer.bytes += "0\r\n\r\n";
    return answer;
}

class FailedTransferTest : public CurlTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedTransferTest, EndsAsACommunicationError) {
    const FailureRow& row = GetParam();
    std::optional<RecordingServer> server;
    std::string url = row.url;
    if (row.answer) {
        server.emplace([answer = *row.answer](const RecordedRequest&) { return answer; });
        url = server->BaseUrl() + "/";
    } else if (url == "unused") {
        url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
    }
    CurlLimits limits;
    limits.totalTimeoutMs = 1000;
    limits.maxBodyBytes = 1000;
    CCurl curl(limits);
    curl.SetUrl(url);
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
    ::testing::Values(
        FailureRow{"RefusedConnection", std::nullopt, "unused", 7, 5, 0},
        FailureRow{"PortOutOfRange", std::nullopt, "http://127.0.0.1:99999999/", 3, 2, 0},
        FailureRow{"NoUrl", std::nullopt, "", 3, 2, 0},
        FailureRow{"FileScheme", std::nullopt, "file:///etc/passwd", 1, 11, 0},
        FailureRow{"StalledServer", Stalled(), "", 28, 11, 0},
        FailureRow{"BodyOverTheLimitByLength", Answer::Http(200, "OK", {}, std::string(5000, 'x')),
                   "", 63, 11, 200},
        FailureRow{"ChunkedBodyOverTheLimit", Chunked(5, 1000), "", 23, 11, 200},
        // Over libcurl's limit for a text option: refused, so nothing may be sent at all.
        FailureRow{"UrlLibcurlRefuses", std::nullopt,
                   "http://127.0.0.1:1/" + std::string(9'000'000, 'a'), 43, 11, 0,
                   "CCurl::DoTransaction : curl_easy_setopt CURLOPT_URL refused: A "
                   "libcurl function was given a bad argument\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// libcurl's global state belongs to one transport at a time: a second one fails its transfers
// and leaves the first working, and a reset hands the first a new handle in GET mode.
TEST_F(CurlTest, OneTransportHoldsLibcurlAndAResetKeepsItWorking) {
    RecordingServer server([](const RecordedRequest&) { return Answer::Http(200, "OK"); });
    CCurl first;
    {
        CCurl second;
        EXPECT_FALSE(second.OwnsTransport());
        second.SetUrl(server.BaseUrl() + "/");
        EXPECT_FALSE(second.DoTransaction());
        EXPECT_EQ(second.GetLastResult(), 43);
        EXPECT_EQ(second.GetErrorCode(), 11);
    }
    first.UsePost();
    first.Reset();
    EXPECT_TRUE(first.OwnsTransport());
    first.SetUrl(server.BaseUrl() + "/");
    ASSERT_TRUE(first.DoTransaction());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "GET");
}

// A connection that dies after the request was sent: libcurl resends a request whose reused
// connection died, and only a fresh connection prevents it.
TEST_F(CurlTest, AFreshConnectionIsNeverResentWhenItDrops) {
    for (const bool fresh : {false, true}) {
        RecordingServer server([](const RecordedRequest& request) {
            Answer drop;
            drop.close = true;
            return request.method == "GET" ? Answer::Http(200, "OK") : drop;
        });
        CCurl curl;
        curl.SetUrl(server.BaseUrl() + "/warm");
        ASSERT_TRUE(curl.DoTransaction());
        curl.SetUrl(server.BaseUrl() + "/post");
        curl.SetPostBody("{}");
        if (fresh)
            curl.UseFreshConnection();
        EXPECT_FALSE(curl.DoTransaction());
        int posts = 0;
        for (const auto& request : server.Requests())
            posts += request.method == "POST";
        EXPECT_EQ(posts, fresh ? 1 : 2) << (fresh ? "fresh" : "reused");
    }
}

struct ResultRow {
    int result;
    int code;
    friend void PrintTo(const ResultRow& row, std::ostream* os) {
        *os << row.result << " -> " << row.code;
    }
};

class ErrorCodeTest : public ::testing::TestWithParam<ResultRow> {};

TEST_P(ErrorCodeTest, MapsTheLibcurlResult) {
    EXPECT_EQ(CCurl::ErrorCodeForResult(GetParam().result), GetParam().code);
}

// Every result with a code of its own, and some that share the last one.
INSTANTIATE_TEST_SUITE_P(Table, ErrorCodeTest,
                         ::testing::Values(ResultRow{0, 0}, ResultRow{2, 1}, ResultRow{3, 2},
                                           ResultRow{5, 3}, ResultRow{6, 4}, ResultRow{7, 5},
                                           ResultRow{8, 6}, ResultRow{9, 7}, ResultRow{55, 8},
                                           ResultRow{56, 9}, ResultRow{58, 10}, ResultRow{60, 10},
                                           ResultRow{1, 11}, ResultRow{28, 11}, ResultRow{43, 11},
                                           ResultRow{63, 11}),
                         [](const auto& info) {
                             return "Result" + std::to_string(info.param.result) + "IsCode" +
                                    std::to_string(info.param.code);
                         });

TEST_F(CurlTest, ThisMachineIsNeverReachedThroughAProxy) {
    RecordingServer server([](const RecordedRequest&) { return Answer::Http(200, "OK"); });
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(UnusedPort());
    ScopedEnv http("http_proxy", deadProxy), https("https_proxy", deadProxy),
        all("ALL_PROXY", deadProxy);
    ScopedEnv none("no_proxy", "example.invalid");
    CCurl curl;
    curl.SetUrl(server.BaseUrl() + "/direct");
    ASSERT_TRUE(curl.DoTransaction()) << curl.GetLastResult();
    EXPECT_EQ(server.Requests().at(0).target, "/direct");
}
