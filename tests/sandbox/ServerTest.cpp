#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "AgentProfile.h"
#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

class Server : public SandboxFixture {};

// A connection serves a hundred requests (the sign-in, the filing and more) before it closes.
TEST_F(Server, OneConnectionCarriesAWholeFilingAndMore) {
    std::vector<HttpAnswer> answers;
    answers.push_back(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), Headers()));
    answers.push_back(
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), Headers()));
    answers.push_back(m_client.Get(Url("/no/such/path")));
    EXPECT_EQ(answers[1].status, 201);
    for (const auto& answer : answers) {
        EXPECT_TRUE(answer.Header("Date")) << answer.status;
        EXPECT_NE(answer.Header("Connection"), "close");
    }
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(m_client.Get(Url("/")).status, 200);
    EXPECT_EQ(m_server->ConnectionCount(), 1);
    CHttpClient second;
    second.Get(Url("/"));
    EXPECT_EQ(m_server->ConnectionCount(), 2);
}

TEST_F(Server, ReceivedKeepsEachRequestAsSent) {
    const std::vector<std::string> headers = {
        "Zeta-Header: 1", "Accept: application/vnd.hmrc.1.0+json", "alpha-header:  spaced value ",
        "Authorization: Bearer " + Token()};
    m_server->ClearReceived();
    m_client.Post(Url("/organisations/vat/100000001/returns?x=1&y=%23"), "{\"a\":1}", headers);
    m_client.Get(Url("/test/fraud-prevention-headers/vat-mtd/validation-feedback"));
    const auto received = m_server->Received();
    ASSERT_EQ(received.size(), 1u);  // the test-support endpoint is not recorded
    const ReceivedRequest& r = received[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/organisations/vat/100000001/returns?x=1&y=%23");
    EXPECT_EQ(r.Path(), "/organisations/vat/100000001/returns");
    EXPECT_EQ(r.body, "{\"a\":1}");
    EXPECT_EQ(r.Header("ALPHA-HEADER"), "spaced value");
    EXPECT_FALSE(r.Header("Missing"));
    // Our lines keep their order and bytes; libcurl's own (Host, ...) sit around them.
    std::vector<std::string> ours;
    std::copy_if(r.headerLines.begin(), r.headerLines.end(), std::back_inserter(ours),
                 [&](const auto& line) { return std::ranges::count(headers, line) > 0; });
    EXPECT_EQ(ours, headers);
    m_server->ClearReceived();
    EXPECT_TRUE(m_server->Received().empty());
}

struct RawCase {
    const char* name;
    std::string request;
    const char* statusLine;
};

class MalformedRequests : public Server, public ::testing::WithParamInterface<RawCase> {};

TEST_P(MalformedRequests, GetFourHundredsAndTheServerCarriesOn) {
    const std::string answer = RawExchange(m_server->Port(), GetParam().request);
    EXPECT_EQ(answer.rfind(GetParam().statusLine, 0), 0u) << answer.substr(0, 200);
    EXPECT_NE(answer.find("\r\nDate: "), std::string::npos);
    EXPECT_EQ(m_client.Get(Url("/")).status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, MalformedRequests,
    ::testing::Values(
        RawCase{"GarbageRequestLine", "HELLO\r\n\r\n", "HTTP/1.1 400"},
        RawCase{"UnknownPath", "GET /organisations/vat HTTP/1.1\r\nHost: x\r\n\r\n",
                "HTTP/1.1 404"},
        RawCase{"HugeHeaderBlock",
                // Each line is within httplib's per-line limit; together they pass 64 KiB.
                "GET / HTTP/1.1\r\n" +
                    [] {
                        std::string h;
                        for (int i = 0; i < 20; ++i)
                            h += "X-Filler-" + std::to_string(i) + ": " + std::string(4000, 'a') +
                                 "\r\n";
                        return h;
                    }() +
                    "\r\n",
                "HTTP/1.1 400"},
        RawCase{"HugeRequestLine",
                "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 414"},
        RawCase{"BodyOverOneMebibyte",
                "POST /oauth/token HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\nabc",
                "HTTP/1.1 413"},
        RawCase{"NegativeContentLength",
                "POST /oauth/token HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n",
                "HTTP/1.1 4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Server, StopsWhileAClientHoldsAnIdleConnectionAndFreesThePort) {
    EXPECT_EQ(m_client.Get(Url("/")).status, 200);  // the connection stays open in libcurl
    SandboxServer other;
    EXPECT_FALSE(other.Start(m_server->Port()));
    EXPECT_NE(other.LastError().find(std::to_string(m_server->Port())), std::string::npos);
    m_server->Stop();
    EXPECT_FALSE(m_server->IsRunning());
    EXPECT_NE(m_client.Get(Url("/")).result, CURLE_OK);
}

TEST(DemoProfile, NamesTheSandboxAndItsSeededClients) {
    const ProfileLoadResult result = LoadAgentProfile(CALVENOR_DEMO_PROFILE);
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_TRUE(result.warning.empty()) << result.warning;
    EXPECT_EQ(result.profile.clientId, kDemoClientId);
    EXPECT_EQ(result.profile.clientSecret, kDemoClientSecret);
    EXPECT_EQ(result.profile.serviceBaseUrl, "http://127.0.0.1:" + std::to_string(kDefaultPort));
    ASSERT_EQ(result.profile.clients.size(), std::size(kDemoClients));
    for (const DemoClient& demo : kDemoClients) {
        EXPECT_TRUE(std::any_of(result.profile.clients.begin(), result.profile.clients.end(),
                                [&](const ClientRecord& c) {
                                    return c.vrn == demo.vrn && c.companyName == demo.companyName;
                                }))
            << demo.companyName;
    }
}

// The program itself: prints its address and the demo credentials, serves, and ends cleanly on
// SIGTERM.
TEST(SandboxProgram, ServesUntilSigterm) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        const std::string program = std::string(CALVENOR_BIN_DIR) + "/calvenor-sandbox";
        ::execl(program.c_str(), program.c_str(), "--port", "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* stream = ::fdopen(out[0], "r");
    std::string printed;
    for (char line[512]; !printed.ends_with("Stop with") && std::fgets(line, sizeof line, stream);)
        printed += std::string(line).starts_with("Stop with") ? "Stop with" : line;
    std::smatch url;
    ASSERT_TRUE(std::regex_search(printed, url, std::regex("http://127\\.0\\.0\\.1:[0-9]+")))
        << printed;
    EXPECT_NE(printed.find(std::string(kDemoClientId)), std::string::npos);
    EXPECT_NE(printed.find(std::string(kDemoClientSecret)), std::string::npos);
    CHttpClient client;
    EXPECT_EQ(client.Get(url.str() + "/").status, 200);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::fclose(stream);
}

}  // namespace
}  // namespace calvenor::sandbox::test
