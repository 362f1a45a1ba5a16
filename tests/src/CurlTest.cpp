#include "Curl.h"

#include <gtest/gtest.h>

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

struct StatusRow {
    const char* name;
    std::string answer;
    int status;
    friend void PrintTo(const StatusRow& row, std::ostream* os) { *os << row.name; }
};

class StatusLineTest : public CurlTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(StatusLineTest, StatusComesFromTheFinalStatusLine) {
    Answer answer;
    answer.bytes = GetParam().answer;
    OneAnswer stub(answer);
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    EXPECT_EQ(curl.GetHttpCode(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, StatusLineTest,
    ::testing::Values(
        StatusRow{"SeeOther", "HTTP/1.1 303 See Other\r\nContent-Length: 0\r\n\r\n", 303},
        StatusRow{"Created", "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\n{}", 201},
        StatusRow{
            "ContinueBeforeTheRealStatus",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n",
            400},
        StatusRow{"EarlyHintsWithHeaders",
                  "HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\nHTTP/1.1 200 "
                  "OK\r\nContent-Length: 0\r\n\r\n",
                  200},
        StatusRow{"Http2StatusLine", "HTTP/2 200\r\nContent-Length: 0\r\n\r\n", 200},
        StatusRow{"NoReasonText", "HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n", 404}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlTest, NoAnswerAtAllGivesStatusZero) {
    CCurl curl;
    curl.SetUrl("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/");
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetHttpCode(), 0);
    EXPECT_TRUE(curl.GetHeaderLines().empty());
}

TEST_F(CurlTest, KeepsEveryHeaderLineAsReceivedAndTheBodyBytes) {
    OneAnswer stub(Answer::Http(200, "OK", {"X-One: 1"}, std::string("a\0b\xff", 4)));
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    const auto& lines = curl.GetHeaderLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(lines[1], "X-One: 1\r\n");
    EXPECT_EQ(lines[2], "Content-Length: 4\r\n");
    EXPECT_EQ(lines[3], "\r\n");
    EXPECT_EQ(curl.GetResponseBody(), std::string("a\0b\xff", 4));
}

TEST_F(CurlTest, FindsHeaderNamesInAnyCaseAndOnlyAsNames) {
    OneAnswer stub(Answer::Http(
        201, "Created",
        {"X-Note: Receipt-ID: not this one", "receipt-id: 42", "X-CorrelationId: c-1"}));
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    std::string line;
    ASSERT_TRUE(curl.FindHeader("Receipt-Id:", line));
    EXPECT_EQ(line, "receipt-id: 42\r\n");
    ASSERT_TRUE(curl.FindHeader("X-Correlationid:", line));
    EXPECT_EQ(line, "X-CorrelationId: c-1\r\n");
    line = "unchanged";
    EXPECT_FALSE(curl.FindHeader("Receipt-Timestamp:", line));
    EXPECT_EQ(line, "unchanged");
}

TEST_F(CurlTest, HeadersOfAnInterimAnswerAreNotTakenForTheFinalOnes) {
    Answer answer;
    answer.bytes =
        "HTTP/1.1 103 Early Hints\r\nLocation: https://early.example/\r\n\r\n"
        "HTTP/1.1 302 Found\r\nLocation: https://final.example/\r\nContent-Length: 0\r\n\r\n";
    OneAnswer stub(answer);
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    std::string target;
    ASSERT_TRUE(curl.GetLocation(target));
    EXPECT_EQ(target, "https://final.example/");
}

struct LocationRow {
    const char* name;
    std::string headerLine;
    bool found;
    std::string target;
    friend void PrintTo(const LocationRow& row, std::ostream* os) { *os << row.name; }
};

class LocationTest : public CurlTest, public ::testing::WithParamInterface<LocationRow> {};

TEST_P(LocationTest, OnlyAnAbsoluteAddressSecretsMayTravelToIsATarget) {
    std::vector<std::string> headers;
    if (!GetParam().headerLine.empty())
        headers.push_back(GetParam().headerLine);
    OneAnswer stub(Answer::Http(302, "Found", headers));
    CCurl curl;
    ASSERT_TRUE(stub.Get(curl));
    std::string target = "previous";
    EXPECT_EQ(curl.GetLocation(target), GetParam().found);
    EXPECT_EQ(target, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LocationTest,
    ::testing::Values(
        LocationRow{"HttpsWithQuery",
                    "Location: https://test-www.tax.service.gov.uk/oauth/start?a=1&b=2", true,
                    "https://test-www.tax.service.gov.uk/oauth/start?a=1&b=2"},
        LocationRow{"LowerCaseName", "location: https://h.example/x", true, "https://h.example/x"},
        LocationRow{"LoopbackHttp", "Location: http://127.0.0.1:8787/sign-in", true,
                    "http://127.0.0.1:8787/sign-in"},
        LocationRow{"Relative", "Location: /oauth/start", false, ""},
        LocationRow{"PlainHttpElsewhere", "Location: http://evil.example/x?https://h.example",
                    false, ""},
        LocationRow{"HttpsNotAtTheStart", "Location: javascript:https://h.example", false, ""},
        LocationRow{"Missing", "", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlTest, AFollowingTransferCarriesNoHeaderLinesOfTheFirst) {
    RecordingServer server([](const RecordedRequest& request) {
        return request.target == "/first" ? Answer::Http(200, "OK", {"X-First: yes"}, "first body")
                                          : Answer::Http(204, "No Content");
    });
    CCurl curl;
    curl.SetUrl(server.BaseUrl() + "/first");
    curl.AppendHeader("X-Custom: one");
    ASSERT_TRUE(curl.DoTransaction());
    curl.SetUrl(server.BaseUrl() + "/second");
    ASSERT_TRUE(curl.DoTransaction());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headerLines.back(), "X-Custom: one");
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

TEST_F(CurlTest, ALineBreakInAHeaderLineNeverReachesTheServer) {
    RecordingServer server([](const RecordedRequest&) { return Answer::Http(200, "OK"); });
    CCurl curl;
    curl.SetUrl(server.BaseUrl() + "/");
    curl.AppendHeader("Authorization: Bearer abc\r\nX-Injected: 1");
    ASSERT_TRUE(curl.DoTransaction());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    for (const auto& line : requests[0].headerLines) {
        EXPECT_EQ(line.find("Injected"), std::string::npos) << line;
        EXPECT_EQ(line.find("Bearer"), std::string::npos) << line;
    }
}

TEST_F(CurlTest, RefusedConnectionIsCode5AndWritesTwoLogLines) {
    CCurl curl;
    curl.SetUrl("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/");
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetErrorCode(), 5);
    const std::string log = Log();
    EXPECT_NE(log.find(" : src/Curl.cpp : "), std::string::npos) << log;
    EXPECT_NE(log.find("CCurl::DoTransaction : curl_easy_perform Result = 7\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CCurl::DoTransaction : CurlErrBuff : Failed to connect"), std::string::npos)
        << log;
}

TEST_F(CurlTest, MalformedUrlIsCode2) {
    CCurl curl;
    curl.SetUrl("http://127.0.0.1:99999999/");
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetErrorCode(), 2);
    curl.SetUrl("");
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetErrorCode(), 2);
}

TEST_F(CurlTest, OnlyHttpAndHttpsAreSpoken) {
    CCurl curl;
    curl.SetUrl("file:///etc/passwd");
    EXPECT_FALSE(curl.DoTransaction());
    EXPECT_EQ(curl.GetResponseBody(), "");
    EXPECT_EQ(curl.GetErrorCode(), 11);
}

TEST_F(CurlTest, AStalledServerEndsAsACommunicationErrorWithinTheLimit) {
    Answer stall;
    stall.stall = true;
    OneAnswer stub(stall);
    CurlLimits limits;
    limits.totalTimeoutMs = 300;
    CCurl curl(limits);
    EXPECT_FALSE(stub.Get(curl));
    EXPECT_EQ(curl.GetLastResult(), 28);  // operation timed out
    EXPECT_EQ(curl.GetErrorCode(), 11);
}

TEST_F(CurlTest, AnOversizedBodyIsRefused) {
    CurlLimits limits;
    limits.maxBodyBytes = 1000;
    const std::string big(5000, 'x');
    {  // announced by its length
        OneAnswer stub(Answer::Http(200, "OK", {}, big));
        CCurl curl(limits);
        EXPECT_FALSE(stub.Get(curl));
        EXPECT_EQ(curl.GetErrorCode(), 11);
        EXPECT_LE(curl.GetResponseBody().size(), 1000u);
    }
    {  // sent in chunks with no length
        Answer chunked;
        chunked.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (int i = 0; i < 5; ++i)
            chunked.bytes += "3e8\r\n" + std::string(1000, 'y') + "\r\n";
        chunked.bytes += "0\r\n\r\n";
        OneAnswer stub(chunked);
        CCurl curl(limits);
        EXPECT_FALSE(stub.Get(curl));
        EXPECT_EQ(curl.GetErrorCode(), 11);
        EXPECT_LE(curl.GetResponseBody().size(), 1000u);
    }
}

TEST_F(CurlTest, ASecondTransportGetsNoHandleAndLeavesTheFirstWorking) {
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
    first.SetUrl(server.BaseUrl() + "/");
    EXPECT_TRUE(first.DoTransaction());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(CurlTest, ResetBuildsANewHandleThatWorks) {
    RecordingServer server([](const RecordedRequest&) { return Answer::Http(200, "OK"); });
    CCurl curl;
    curl.UsePost();
    curl.Reset();
    EXPECT_TRUE(curl.OwnsTransport());
    curl.SetUrl(server.BaseUrl() + "/");
    ASSERT_TRUE(curl.DoTransaction());
    EXPECT_EQ(server.Requests().at(0).method, "GET");
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

INSTANTIATE_TEST_SUITE_P(Table, ErrorCodeTest,
                         ::testing::Values(ResultRow{0, 0}, ResultRow{2, 1}, ResultRow{3, 2},
                                           ResultRow{5, 3}, ResultRow{6, 4}, ResultRow{7, 5},
                                           ResultRow{8, 6}, ResultRow{9, 7}, ResultRow{55, 8},
                                           ResultRow{56, 9}, ResultRow{58, 10}, ResultRow{60, 10},
                                           ResultRow{1, 11}, ResultRow{4, 11}, ResultRow{23, 11},
                                           ResultRow{28, 11}, ResultRow{43, 11}, ResultRow{52, 11},
                                           ResultRow{63, 11}, ResultRow{99, 11}),
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
