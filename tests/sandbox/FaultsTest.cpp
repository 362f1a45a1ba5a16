#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

class Faults : public SandboxFixture {
protected:
    HttpAnswer Submit(const std::string& key = "26A1") {
        return m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody(key),
                             VatHeaders(Token()));
    }
    const std::string kReturnsPath = "/organisations/vat/100000001/returns";
};

TEST_F(Faults, RespondReplacesTheAnswerOnceAndLeavesStateAlone) {
    Token();
    Fault fault;
    fault.status = 503;
    fault.headers = {{"Retry-After", "5"}};
    fault.body = R"({"code":"SERVER_ERROR","message":"Service unavailable"})";
    m_server->ArmFault(kReturnsPath, fault);
    const HttpAnswer first = Submit();
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(first.Header("Retry-After"), "5");
    EXPECT_EQ(first.Header("Content-Type"), "application/json");
    EXPECT_EQ(first.body, fault.body);
    EXPECT_TRUE(m_server->FiledReturns().empty());
    EXPECT_EQ(Submit().status, 201);
}

TEST_F(Faults, ThrottleAnswersLikeHmrcsRateLimit) {
    Fault fault;
    fault.kind = Fault::Kind::Throttle;
    fault.times = 2;
    m_server->ArmFault("/organisations/vat/100000001/obligations", fault);
    for (int i = 0; i < 2; ++i) {
        const HttpAnswer answer =
            m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token()));
        EXPECT_EQ(answer.status, 429);
        EXPECT_EQ(Member(answer.body, "code"), "MESSAGE_THROTTLED_OUT");
    }
    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token())).status, 200);
    // Other paths were never affected.
    EXPECT_EQ(m_client.Get(ObligationsUrl(kMonthlyClient.vrn), VatHeaders(Token())).status, 200);
}

TEST_F(Faults, DropAfterHeadersLeavesTheReturnFiled) {
    Token();
    Fault fault;
    fault.kind = Fault::Kind::DropAfterHeaders;
    m_server->ArmFault(kReturnsPath, fault);
    const HttpAnswer answer = Submit();
    EXPECT_EQ(answer.result, CURLE_PARTIAL_FILE);
    EXPECT_EQ(answer.status, 201);
    EXPECT_TRUE(answer.body.empty());
    EXPECT_EQ(m_server->FiledReturns().size(), 1u);
    // The connection was closed: the next request needs a new one.
    const int before = m_server->ConnectionCount();
    EXPECT_EQ(Member(Submit().body, "code"), "DUPLICATE_SUBMISSION");
    EXPECT_EQ(m_server->ConnectionCount(), before + 1);
}

TEST_F(Faults, DropMidBodySendsHalfTheBody) {
    Fault fault;
    fault.kind = Fault::Kind::DropMidBody;
    m_server->ArmFault("/organisations/vat/100000001/obligations", fault);
    const HttpAnswer answer =
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token()));
    EXPECT_EQ(answer.result, CURLE_PARTIAL_FILE);
    EXPECT_EQ(answer.status, 200);
    EXPECT_FALSE(answer.body.empty());
    EXPECT_EQ(answer.body.size() * 2,
              std::stoul(answer.Header("Content-Length").value_or("0")) / 2 * 2);
}

TEST_F(Faults, DropWithoutAnswerGivesNothingButFilesTheReturn) {
    Fault fault;
    fault.kind = Fault::Kind::DropWithoutAnswer;
    m_server->ArmFault(kReturnsPath, fault);
    CHttpClient fresh;  // a new connection, as the filer uses for a submission
    const HttpAnswer answer =
        fresh.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), VatHeaders(Token()));
    EXPECT_EQ(answer.result, CURLE_GOT_NOTHING);
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(m_server->FiledReturns().size(), 1u);
}

TEST_F(Faults, ReusedConnectionThatDiesUnansweredIsResentByLibcurl) {
    // Why a submission must never ride a reused connection: libcurl quietly sends it again.
    Token();  // opens the connection the submission will reuse
    Fault fault;
    fault.kind = Fault::Kind::DropWithoutAnswer;
    m_server->ArmFault(kReturnsPath, fault);
    m_server->ClearReceived();
    const HttpAnswer answer = Submit();
    EXPECT_EQ(answer.result, CURLE_OK);
    EXPECT_EQ(Member(answer.body, "code"), "DUPLICATE_SUBMISSION");
    EXPECT_EQ(m_server->Received().size(), 2u);
    EXPECT_EQ(m_server->FiledReturns().size(), 1u);
}

TEST_F(Faults, OversizedBodyOutgrowsAClientsCap) {
    Fault fault;
    fault.kind = Fault::Kind::OversizedBody;
    fault.status = 200;
    fault.bodyBytes = 9 * 1024 * 1024;
    fault.times = 2;
    m_server->ArmFault("/oauth/token", fault);
    const std::string body =
        "grant_type=refresh_token&client_id=calvenor-demo-client&client_secret=calvenor-demo-"
        "secret&refresh_token=x";
    m_client.SetMaxBodyBytes(8 * 1024 * 1024);
    EXPECT_EQ(m_client.Post(Url("/oauth/token"), body).result, CURLE_FILESIZE_EXCEEDED);
    m_client.SetMaxBodyBytes(0);
    const HttpAnswer whole = m_client.Post(Url("/oauth/token"), body);
    EXPECT_EQ(whole.result, CURLE_OK);
    EXPECT_EQ(whole.body.size(), fault.bodyBytes);
    EXPECT_EQ(whole.body.front(), '{');
    EXPECT_EQ(whole.body.back(), '}');
}

TEST_F(Faults, StallDelaysTheRealAnswer) {
    Token();
    Fault shortStall;
    shortStall.kind = Fault::Kind::Stall;
    shortStall.delay = std::chrono::milliseconds(50);
    m_server->ArmFault(kReturnsPath, shortStall);
    EXPECT_EQ(Submit().status, 201);
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
