// The sandbox as a server and a program: faults, malformed requests, connections, stopping,
// saved state and the demo data.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <utility>

#include "SandboxFixture.h"
#include "SandboxModel.h"
#include "TestSupport.h"

namespace calvenor::sandbox::test {
namespace {

// Sends `bytes` on a new connection; what came back before the server closed it (`closed`) or
// went quiet for a second.
std::string RawExchange(int port, const std::string& bytes, bool* closed = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    std::string answer;
    char buffer[65536];
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0)
        for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 1000) > 0;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (closed)
                *closed = n == 0;
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    ::close(fd);
    return answer;
}

struct FaultRow {
    const char* name;
    Fault::Kind kind;
    const char* begins;  // how the answer begins ("": nothing comes back)
    std::size_t body;    // bytes of body that arrive
    bool filed;          // the return was filed behind the fault
};

class Faults : public SandboxFixture, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(Faults, StrikeTheNextRequestToTheirPathWithTheRouteRunningBehindADrop) {
    const FaultRow& row = GetParam();
    Fault fault;
    fault.kind = row.kind;
    fault.status = 503;
    fault.body = "{}";
    fault.delay = std::chrono::milliseconds(50);
    fault.bodyBytes = 300000;
    m_server->ArmFault("/organisations/vat/100000001/returns", fault);
    const std::string token = Token();
    bool closed = false;
    const std::string answer = RawExchange(
        m_server->Port(),
        "POST /organisations/vat/100000001/returns HTTP/1.1\r\nAccept: "
        "application/vnd.hmrc.1.0+json\r\nAuthorization: Bearer " +
            token + "\r\nConnection: close\r\nContent-Length: 296\r\n\r\n" + ValidReturn(),
        &closed);
    EXPECT_TRUE(answer.starts_with(row.begins)) << answer.substr(0, 300);
    EXPECT_TRUE(closed);  // the answer ended, whole or cut
    const auto headEnd = answer.find("\r\n\r\n");
    EXPECT_EQ(headEnd == std::string::npos ? 0 : answer.size() - headEnd - 4, row.body);
    EXPECT_EQ(m_server->FiledReturns().size(), row.filed ? 1u : 0u);
    const auto next = m_client->Post("/organisations/vat/100000001/returns", Vat(token),
                                     ValidReturn(), "application/json");
    EXPECT_EQ(next->status, row.filed ? 403 : 201);  // met once only
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sandbox, Faults, ::testing::Values(
    FaultRow{"Respond", Fault::Kind::Respond, "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 2\r\nContent-Type: application/json\r\n", 2, false},
    FaultRow{"Throttle", Fault::Kind::Throttle, "HTTP/1.1 429 ", 114, false},
    FaultRow{"Stall", Fault::Kind::Stall, "HTTP/1.1 201 ", 144, true},
    FaultRow{"DropAfterHeaders", Fault::Kind::DropAfterHeaders, "HTTP/1.1 201 ", 0, true},
    FaultRow{"DropMidBody", Fault::Kind::DropMidBody, "HTTP/1.1 201 ", 72, true},
    FaultRow{"DropWithoutAnswer", Fault::Kind::DropWithoutAnswer, "", 0, true},
    FaultRow{"DropBeforeHandling", Fault::Kind::DropBeforeHandling, "", 0, false},
    FaultRow{"OversizedBody", Fault::Kind::OversizedBody, "HTTP/1.1 503 ", 300000, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

using Server = SandboxFixture;

TEST_F(Server, FaultsAreArmedAndClearedOverHttpToo) {
    const char* arm =
        R"({"path":"/oauth/token","kind":"respond","body":"boom","headers":{"X":"1"}})";
    EXPECT_EQ(m_client->Post("/_sandbox/faults", arm, "text/json")->status, 204);
    const auto faulted = Form("/oauth/token", "grant_type=x");
    EXPECT_EQ(std::to_string(faulted->status) + faulted->body + faulted->get_header_value("X"),
              "500boom1");
    EXPECT_EQ(m_client->Post("/_sandbox/faults", arm, "text/json")->status, 204);
    EXPECT_EQ(m_client->Delete("/_sandbox/faults")->status, 204);
    EXPECT_EQ(Form("/oauth/token", "grant_type=x")->status, 400);
}

TEST_F(Server, RecordsWhatItParsedOnOneKeptConnection) {
    const auto headers = Vat(Token());
    m_server->ClearReceived();
    m_client->Post("/organisations/vat/100000001/returns?x=%23", headers, "{}", "text/json");
    m_client->Get("/test/fraud-prevention-headers/vat-mtd/validation-feedback");
    for (int i = 0; i < 97; ++i)
        ASSERT_NE(m_client->Get("/")->get_header_value("Date"), "");
    EXPECT_EQ(m_server->ConnectionCount(), 1);
    const auto received = m_server->Received();
    ASSERT_EQ(received.size(), 98u);  // the test-support endpoint is not recorded
    EXPECT_EQ(received[0].method + " " + received[0].target + " " + received[0].body,
              "POST /organisations/vat/100000001/returns?x=%23 {}");
    EXPECT_EQ(received[0].Path(), "/organisations/vat/100000001/returns");
    EXPECT_EQ(received[0].Header("ACCEPT"), "application/vnd.hmrc.1.0+json");
    EXPECT_FALSE(received[0].Header("Remote_Addr"));
}

std::string Filler() {
    std::string lines;
    for (int i = 0; i < 20; ++i)  // each within the library's line limit, all past 64 KiB
        lines += "X-Filler-" + std::to_string(i) + ": " + std::string(4000, 'a') + "\r\n";
    return lines;
}

class MalformedRequests : public SandboxFixture,
                          public ::testing::WithParamInterface<std::pair<std::string, int>> {};

TEST_P(MalformedRequests, GetFourHundredsAndTheServerCarriesOn) {
    const std::string answer = RawExchange(m_server->Port(), GetParam().first);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + std::to_string(GetParam().second)));
    EXPECT_NE(answer.find("\r\nDate: "), std::string::npos) << answer.substr(0, 200);
    EXPECT_EQ(m_client->Get("/")->status, 200);
}

using Raw = std::pair<std::string, int>;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Sandbox, MalformedRequests, ::testing::Values(
    Raw{"HELLO\r\n\r\n", 400}, Raw{"GET / HTTP/1.1\r\n" + Filler() + "\r\n", 400},
    Raw{"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", 414},
    Raw{"POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nabc", 413},
    Raw{"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", 400}));
// clang-format on

// Neither an idle kept connection nor a stalled answer holds the stop up.
TEST_F(Server, StopsAtOnceAndFreesThePort) {
    EXPECT_EQ(m_client->Get("/")->status, 200);  // the connection stays open
    Fault stall;
    stall.kind = Fault::Kind::Stall;
    stall.delay = std::chrono::minutes(10);
    m_server->ArmFault("*", stall);
    httplib::Client stalled("127.0.0.1", m_server->Port());
    stalled.set_read_timeout(0, 200000);
    EXPECT_FALSE(stalled.Get("/"));
    SandboxServer other;
    EXPECT_FALSE(other.Start(m_server->Port()));
    EXPECT_NE(other.LastError().find(std::to_string(m_server->Port())), std::string::npos);
    m_server->Stop();
    EXPECT_FALSE(m_client->Get("/"));
    EXPECT_TRUE(other.Start(m_server->Port())) << other.LastError();
}

// The program: prints its address and the demo credentials, serves, and ends cleanly on SIGINT.
TEST(SandboxProgram, ServesUntilInterrupted) {
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
    for (char line[512]; !printed.ends_with("Ctrl+C.\n") && std::fgets(line, sizeof line, stream);)
        printed += line;
    std::smatch port;
    ASSERT_TRUE(std::regex_search(printed, port, std::regex("http://127\\.0\\.0\\.1:([0-9]+)")))
        << printed;
    EXPECT_NE(printed.find(std::string(kDemoClientSecret)), std::string::npos);
    EXPECT_EQ(httplib::Client("127.0.0.1", std::stoi(port[1])).Get("/")->status, 200);
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::fclose(stream);
}

// The state file: private, kept across restarts, and never replaced when it cannot be used.
TEST_F(Server, StateSurvivesARestartAndACorruptFileIsRefusedUntouched) {
    calvenor::test::TempFolder folder;
    const auto restart = [&] {
        m_client.reset();
        m_server = std::make_unique<SandboxServer>(SandboxOptions{kToday, true, {}, folder / "s"});
        const bool started = m_server->Start();
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->Port());
        return started;
    };
    ASSERT_TRUE(restart()) << m_server->LastError();
    EXPECT_EQ(std::filesystem::status(folder / "s").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const auto headers = Vat(Token());
    ASSERT_EQ(m_client
                  ->Post("/organisations/vat/100000001/returns", headers, ValidReturn(),
                         "application/json")
                  ->status,
              201);
    m_server->SetClientAuthorised(kMonthlyClient.vrn, false);
    ASSERT_TRUE(restart()) << m_server->LastError();
    ASSERT_EQ(m_server->FiledReturns().size(), 1u);
    EXPECT_NE(m_client
                  ->Get("/organisations/vat/100000001/obligations?status=F&from=2026-01-01&to="
                        "2026-03-31",
                        headers)
                  ->body.find(R"("periodKey":"26A1","received")"),
              std::string::npos);
    EXPECT_NE(m_client->Get("/organisations/vat/100000001/returns/26A1", headers)
                  ->body.find(R"("vatDueSales":1234.50,"vatDueAcquisitions":0.00,)"),
              std::string::npos);  // figures as JSON numbers
    EXPECT_EQ(m_client->Get("/organisations/vat/100000002/obligations?status=O", headers)->status,
              403);
    for (
        const auto& [text, reason] :
        {std::pair{R"({"format":"calvenor-sandbox-state","version":1,"clients":[)",
                   "not valid JSON"},
         std::pair{R"({"format":"other","version":1})", "not a calvenor-sandbox state file"},
         std::pair{
             R"({"format":"calvenor-sandbox-state","version":1,"applications":[],"clients":[{"vrn":"1","company_name":"A","authorised":true,"obligations":[{"start":"2026-02-30"}]}]})",
             "clients[0].obligations[0].start"}}) {
        calvenor::test::WriteFile(folder / "s", text);
        EXPECT_FALSE(restart());
        EXPECT_NE(m_server->LastError().find((folder / "s").string()), std::string::npos);
        EXPECT_NE(m_server->LastError().find(reason), std::string::npos) << m_server->LastError();
        m_server->AddClient("200000003", "Someone Ltd");  // helpers after the failure write nothing
        EXPECT_EQ(calvenor::test::ReadFile(folder / "s"), text);
    }
}

// The demo works on any day: month ends, leap days, year ends.
TEST(SeededPeriods, EveryDemoClientHasWhatTheDemoNeedsOnAnyDay) {
    for (const CivilDate today : {CivilDate{2026, 1, 1}, CivilDate{2026, 3, 31},
                                  CivilDate{2028, 2, 29}, CivilDate{2026, 12, 31}}) {
        SandboxModel model;
        model.SeedDemo(today);
        for (const DemoClient& demo : kDemoClients) {
            int ended = 0, running = 0;
            CivilDate next = model.clients.at(std::string(demo.vrn)).obligations[0].start;
            for (const Obligation& o : model.clients.at(std::string(demo.vrn)).obligations) {
                EXPECT_EQ(o.start, std::exchange(next, o.end.AddDays(1)));  // no gap, no overlap
                EXPECT_EQ(o.due, o.end.AddMonths(1).LastDayOfMonth().AddDays(7));
                EXPECT_TRUE(!o.received || *o.received <= today);
                if (!o.fulfilled)
                    ++(o.end < today ? ended : running);
            }
            EXPECT_EQ(running, demo.vrn == kNoOpenPeriodsClient.vrn ? 0 : 1) << demo.companyName;
            EXPECT_EQ(ended > 0, demo.vrn != kNoOpenPeriodsClient.vrn) << demo.companyName;
        }
    }
}

}  // namespace
}  // namespace calvenor::sandbox::test
