// The sandbox as a server and a program: faults, malformed requests, connections, stopping,
// saved state and the demo data.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "SandboxFixture.h"
#include "SandboxModel.h"
#include "TestSupport.h"

namespace calvenor::sandbox::test {

std::string RawExchange(int port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()))
        for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 1000) > 0;) {
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    ::close(fd);
    return answer;
}

namespace {

using Server = SandboxFixture;

struct FaultRow {
    const char* name;
    Fault::Kind kind;
    const char* begins;  // how the answer begins ("": nothing comes back)
    std::size_t body;    // bytes of body that arrive
    bool filed;          // the return was filed behind the fault
};

class Faults : public SandboxFixture, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(Faults, StrikeTheNextRequestToTheirPathAndTheRouteStillRunsBehindADrop) {
    const FaultRow& row = GetParam();
    Fault fault;
    fault.kind = row.kind;
    fault.status = 503;
    fault.body = "{}";
    fault.delay = std::chrono::milliseconds(50);
    fault.bodyBytes = 300000;
    m_server->ArmFault("/organisations/vat/100000001/returns", fault);
    const std::string body = ValidReturn(), token = Token();
    const std::string answer =
        RawExchange(m_server->Port(),
                    "POST /organisations/vat/100000001/returns HTTP/1.1\r\nAccept: "
                    "application/vnd.hmrc.1.0+json\r\nAuthorization: Bearer " +
                        token + "\r\nConnection: close\r\nContent-Length: 296\r\n\r\n" + body);
    EXPECT_TRUE(answer.starts_with(row.begins)) << answer.substr(0, 600);
    const auto headEnd = answer.find("\r\n\r\n");
    EXPECT_EQ(headEnd == std::string::npos ? 0 : answer.size() - headEnd - 4, row.body);
    EXPECT_EQ(m_server->FiledReturns().size(), row.filed ? 1u : 0u);
    EXPECT_EQ(
        m_client->Post("/organisations/vat/100000001/returns", Vat(token), body, "application/json")
            ->status,
        row.filed ? 403 : 201);  // met once only
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, Faults,
    ::testing::Values(
        FaultRow{"Respond", Fault::Kind::Respond,
                 "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 2\r\n"
                 "Content-Type: application/json\r\n",
                 2, false},
        FaultRow{"Throttle", Fault::Kind::Throttle, "HTTP/1.1 429 ", 114, false},
        FaultRow{"Stall", Fault::Kind::Stall, "HTTP/1.1 201 ", 144, true},
        FaultRow{"DropAfterHeaders", Fault::Kind::DropAfterHeaders, "HTTP/1.1 201 ", 0, true},
        FaultRow{"DropMidBody", Fault::Kind::DropMidBody, "HTTP/1.1 201 ", 72, true},
        FaultRow{"DropWithoutAnswer", Fault::Kind::DropWithoutAnswer, "", 0, true},
        FaultRow{"OversizedBody", Fault::Kind::OversizedBody, "HTTP/1.1 503 ", 300000, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Server, AStalledAnswerEndsWhenTheServerStops) {
    Fault stall;
    stall.kind = Fault::Kind::Stall;
    stall.delay = std::chrono::minutes(10);
    m_server->ArmFault("*", stall);
    m_client->set_read_timeout(0, 300000);
    EXPECT_FALSE(m_client->Get("/"));
    m_server->Stop();  // wakes the stalled answer instead of waiting ten minutes
    EXPECT_FALSE(m_server->IsRunning());
}

TEST_F(Server, FaultsAreArmedAndClearedOverHttpToo) {
    const char* arm =
        R"({"path":"/oauth/token","kind":"respond","status":500,"body":"boom","headers":{"X-T":"1"},"times":2})";
    EXPECT_EQ(m_client->Post("/_sandbox/faults", arm, "application/json")->status, 204);
    EXPECT_EQ(m_client->Post("/_sandbox/faults", R"({"path":"/","kind":"x"})", "application/json")
                  ->status,
              400);
    const auto faulted = Form("/oauth/token", "grant_type=x");
    EXPECT_EQ(faulted->status, 500);
    EXPECT_EQ(faulted->body + faulted->get_header_value("X-T"), "boom1");
    EXPECT_EQ(m_client->Delete("/_sandbox/faults")->status, 204);
    EXPECT_EQ(Form("/oauth/token", "grant_type=x")->status, 400);
}

TEST_F(Server, RecordsWhatItParsedOnOneKeptConnection) {
    const auto headers = Vat(Token());
    m_server->ClearReceived();
    m_client->Post("/organisations/vat/100000001/returns?x=%23", headers, "{\"a\":1}",
                   "application/json");
    m_client->Get("/test/fraud-prevention-headers/vat-mtd/validation-feedback");
    for (int i = 0; i < 97; ++i)
        ASSERT_NE(m_client->Get("/")->get_header_value("Date"), "");
    EXPECT_EQ(m_server->ConnectionCount(), 1);
    const auto received = m_server->Received();
    ASSERT_EQ(received.size(), 98u);  // the test-support endpoint is not recorded
    EXPECT_EQ(received[0].method + " " + received[0].target + " " + received[0].body,
              "POST /organisations/vat/100000001/returns?x=%23 {\"a\":1}");
    EXPECT_EQ(received[0].Path(), "/organisations/vat/100000001/returns");
    EXPECT_EQ(received[0].Header("ACCEPT"), "application/vnd.hmrc.1.0+json");
    EXPECT_FALSE(received[0].Header("Remote_Addr"));
}

struct Malformed {
    const char* name;
    std::string request;
    const char* statusLine;
};

class MalformedRequests : public SandboxFixture, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedRequests, GetFourHundredsAndTheServerCarriesOn) {
    const std::string answer = RawExchange(m_server->Port(), GetParam().request);
    EXPECT_TRUE(answer.starts_with(GetParam().statusLine)) << answer.substr(0, 200);
    EXPECT_NE(answer.find("\r\nDate: "), std::string::npos);
    EXPECT_EQ(m_client->Get("/")->status, 200);
}

std::string Filler() {
    std::string lines;
    for (int i = 0; i < 20; ++i)  // each within the library's line limit, all past 64 KiB
        lines += "X-Filler-" + std::to_string(i) + ": " + std::string(4000, 'a') + "\r\n";
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, MalformedRequests,
    ::testing::Values(
        Malformed{"GarbageRequestLine", "HELLO\r\n\r\n", "HTTP/1.1 400"},
        Malformed{"HugeHeaderBlock", "GET / HTTP/1.1\r\n" + Filler() + "\r\n", "HTTP/1.1 400"},
        Malformed{"HugeRequestLine", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n",
                  "HTTP/1.1 414"},
        Malformed{"BodyOverOneMebibyte",
                  "POST /oauth/token HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nabc",
                  "HTTP/1.1 413"},
        Malformed{"NegativeContentLength",
                  "POST /oauth/token HTTP/1.1\r\nContent-Length: -5\r\n\r\n", "HTTP/1.1 400"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Server, StopsWhileAClientHoldsAnIdleConnectionAndFreesThePort) {
    EXPECT_EQ(m_client->Get("/")->status, 200);  // the connection stays open
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

SandboxOptions StateIn(const std::filesystem::path& file) {
    SandboxOptions options;
    options.today = kToday;
    options.stateFile = file;
    return options;
}

TEST(SandboxState, ClientsTokensAndReturnsSurviveARestartInAPrivateFile) {
    calvenor::test::TempFolder folder;
    std::string token;
    {
        SandboxServer server(StateIn(folder / "state.json"));
        ASSERT_TRUE(server.Start()) << server.LastError();
        EXPECT_EQ(std::filesystem::status(folder / "state.json").permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        httplib::Client client("127.0.0.1", server.Port());
        token = Member(client
                           .Post("/oauth/token", kCodeForm + server.GrantCode(),
                                 "application/x-www-form-urlencoded")
                           ->body,
                       "access_token");
        ASSERT_EQ(client
                      .Post("/organisations/vat/100000001/returns",
                            {{"Accept", "application/vnd.hmrc.1.0+json"},
                             {"Authorization", "Bearer " + token}},
                            ValidReturn(), "application/json")
                      ->status,
                  201);
        server.SetClientAuthorised(kMonthlyClient.vrn, false);
    }
    SandboxServer server(StateIn(folder / "state.json"));
    ASSERT_TRUE(server.Start()) << server.LastError();
    ASSERT_EQ(server.FiledReturns().size(), 1u);
    httplib::Client client("127.0.0.1", server.Port());
    const httplib::Headers headers = {{"Accept", "application/vnd.hmrc.1.0+json"},
                                      {"Authorization", "Bearer " + token}};
    EXPECT_EQ(
        client.Get("/organisations/vat/100000001/obligations?status=O", headers)->body.find("26A1"),
        std::string::npos);
    EXPECT_EQ(client.Get("/organisations/vat/100000002/obligations?status=O", headers)->status,
              403);
}

struct Corrupt {
    const char* name;
    const char* text;
    const char* reason;  // part of the message
};

class CorruptState : public ::testing::TestWithParam<Corrupt> {};

TEST_P(CorruptState, IsRefusedWithAReasonAndLeftUntouched) {
    calvenor::test::TempFolder folder;
    calvenor::test::WriteFile(folder / "state.json", GetParam().text);
    SandboxServer server(StateIn(folder / "state.json"));
    EXPECT_FALSE(server.Start());
    EXPECT_NE(server.LastError().find((folder / "state.json").string()), std::string::npos);
    EXPECT_NE(server.LastError().find(GetParam().reason), std::string::npos) << server.LastError();
    server.AddClient("200000003", "Someone Ltd");  // helpers after the failure write nothing
    EXPECT_EQ(calvenor::test::ReadFile(folder / "state.json"), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, CorruptState,
    ::testing::Values(
        Corrupt{"Truncated", R"({"format":"calvenor-sandbox-state","version":1,"clients":[)",
                "not valid JSON"},
        Corrupt{"OtherFormat", R"({"format":"other","version":1})", "not a calvenor-sandbox"},
        Corrupt{
            "ImpossibleDate",
            R"({"format":"calvenor-sandbox-state","version":1,"applications":[],"clients":[{"vrn":"1","company_name":"A","authorised":true,"obligations":[{"start":"2026-02-30","end":"2026-03-31","due":"2026-05-07","status":"O","periodKey":"26A1"}]}]})",
            "clients[0].obligations[0].start"}),
    [](const auto& info) { return std::string(info.param.name); });

// The demo works on any day: month ends, leap days, year ends.
TEST(SeededPeriods, EveryDemoClientHasWhatTheDemoNeedsOnAnyDay) {
    for (const CivilDate today : {CivilDate{2026, 1, 1}, CivilDate{2026, 3, 31},
                                  CivilDate{2028, 2, 29}, CivilDate{2026, 12, 31}}) {
        SandboxModel model;
        model.SeedDemo(today);
        for (const DemoClient& demo : kDemoClients) {
            const auto& periods = model.clients.at(std::string(demo.vrn)).obligations;
            int ended = 0, running = 0;
            for (std::size_t i = 0; i < periods.size(); ++i) {
                const Obligation& o = periods[i];
                EXPECT_EQ(o.due, o.end.AddMonths(1).LastDayOfMonth().AddDays(7));
                EXPECT_TRUE(i == 0 || o.start == periods[i - 1].end.AddDays(1));
                EXPECT_TRUE(!o.received || *o.received <= today);
                if (!o.fulfilled)
                    (o.end < today ? ended : running)++;
            }
            EXPECT_EQ(running, demo.vrn == kNoOpenPeriodsClient.vrn ? 0 : 1) << demo.companyName;
            EXPECT_EQ(ended > 0, demo.vrn != kNoOpenPeriodsClient.vrn) << demo.companyName;
        }
    }
}

}  // namespace
}  // namespace calvenor::sandbox::test
