#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

using namespace std::chrono_literals;

class Faults : public SandboxFixture {
protected:
    const std::string kReturnsPath = "/organisations/vat/100000001/returns";
};

struct FaultCase {
    const char* name;
    Fault::Kind kind;
    CURLcode result;
    long status;
    bool filed;  // the return was filed behind the fault
};

class FaultKinds : public Faults, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultKinds, StrikeTheNextRequestToTheirPathOnly) {
    const FaultCase& c = GetParam();
    const auto headers = Headers();
    Fault fault;
    fault.kind = c.kind;
    fault.status = 503;
    fault.headers = {{"Retry-After", "5"}};
    fault.body = R"({"code":"SERVER_ERROR","message":"Service unavailable"})";
    fault.delay = 50ms;
    m_server->ArmFault(kReturnsPath, fault);
    CHttpClient client;  // a new connection, as the filer uses for a submission
    const HttpAnswer answer =
        client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), headers);
    EXPECT_EQ(answer.result, c.result);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(m_server->FiledReturns().size(), c.filed ? 1u : 0u);
    switch (c.kind) {
        case Fault::Kind::Respond:
            EXPECT_EQ(answer.Header("Retry-After"), "5");
            EXPECT_EQ(answer.Header("Content-Type"), "application/json");
            EXPECT_EQ(answer.body, fault.body);
            break;
        case Fault::Kind::Throttle:
            EXPECT_EQ(Member(answer.body, "code"), "MESSAGE_THROTTLED_OUT");
            break;
        case Fault::Kind::DropAfterHeaders:
            EXPECT_TRUE(answer.body.empty());
            break;
        case Fault::Kind::DropMidBody:
            EXPECT_FALSE(answer.body.empty());
            EXPECT_EQ(answer.body.size(), std::stoul(answer.Header("Content-Length").value()) / 2);
            break;
        default:
            break;
    }
    // Other paths never meet it, and the next request to its path gets the real answer.
    EXPECT_EQ(client.Get(ObligationsUrl(kQuarterlyClient.vrn), headers).status, 200);
    EXPECT_EQ(
        client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), headers).status,
        c.filed ? 403 : 201);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, FaultKinds,
    ::testing::Values(
        FaultCase{"Respond", Fault::Kind::Respond, CURLE_OK, 503, false},
        FaultCase{"Throttle", Fault::Kind::Throttle, CURLE_OK, 429, false},
        FaultCase{"Stall", Fault::Kind::Stall, CURLE_OK, 201, true},
        FaultCase{"DropAfterHeaders", Fault::Kind::DropAfterHeaders, CURLE_PARTIAL_FILE, 201, true},
        FaultCase{"DropMidBody", Fault::Kind::DropMidBody, CURLE_PARTIAL_FILE, 201, true},
        FaultCase{"DropWithoutAnswer", Fault::Kind::DropWithoutAnswer, CURLE_GOT_NOTHING, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Faults, OversizedBodyIsSentWholeAsOftenAsArmed) {
    Fault fault;
    fault.kind = Fault::Kind::OversizedBody;
    fault.status = 200;
    fault.bodyBytes = 9 * 1024 * 1024;
    fault.times = 2;
    m_server->ArmFault("/oauth/token", fault);
    for (int i = 0; i < 2; ++i) {
        const HttpAnswer whole = m_client.Post(Url("/oauth/token"), "grant_type=refresh_token");
        EXPECT_EQ(whole.result, CURLE_OK);
        EXPECT_EQ(whole.body.size(), fault.bodyBytes);
        EXPECT_TRUE(whole.body.starts_with('{') && whole.body.ends_with('}'));
    }
    EXPECT_EQ(m_client.Post(Url("/oauth/token"), "grant_type=refresh_token").status, 401);
}

TEST_F(Faults, StalledAnswerTimesTheClientOutAndStopStillReturns) {
    Fault longStall;
    longStall.kind = Fault::Kind::Stall;
    longStall.delay = std::chrono::minutes(10);
    m_server->ArmFault("*", longStall);
    m_client.SetTimeoutMs(300);
    EXPECT_EQ(m_client.Get(Url("/")).result, CURLE_OPERATION_TIMEDOUT);
    m_server->Stop();  // wakes the stalled handler instead of waiting ten minutes
    EXPECT_FALSE(m_server->IsRunning());
}

TEST_F(Faults, ControlEndpointArmsAndClears) {
    const std::string arm =
        R"({"path":"/oauth/token","kind":"respond","status":500,"body":"boom","headers":{"X-Test":"1"},"times":3})";
    EXPECT_EQ(
        m_client.Post(Url("/_sandbox/faults"), arm, {"Content-Type: application/json"}).status,
        204);
    const HttpAnswer faulted = m_client.Post(Url("/oauth/token"), "grant_type=x");
    EXPECT_EQ(faulted.status, 500);
    EXPECT_EQ(faulted.body, "boom");
    EXPECT_EQ(faulted.Header("X-Test"), "1");
    EXPECT_EQ(faulted.Header("Content-Type"), "text/plain");

    EXPECT_EQ(m_client.Get(Url("/_sandbox/faults")).status, 404);
    EXPECT_EQ(m_client.Post(Url("/_sandbox/faults"), R"({"path":"/","kind":"explode"})").status,
              400);
    EXPECT_EQ(m_client.Post(Url("/_sandbox/faults"), "not json").status, 400);

    m_server->ClearFaults();
    EXPECT_EQ(m_client.Post(Url("/oauth/token"), "grant_type=x").status, 400);
    EXPECT_TRUE(m_server->Received().size() >= 2u);
    for (const auto& r : m_server->Received())
        EXPECT_NE(r.Path(), "/_sandbox/faults");
}

}  // namespace
}  // namespace calvenor::sandbox::test
