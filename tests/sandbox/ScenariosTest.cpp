#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

std::vector<std::string> KeysOf(const std::string& body) {
    std::vector<std::string> keys;
    rapidjson::Document doc;
    doc.Parse(body.c_str());
    if (doc.IsObject() && doc.HasMember("obligations"))
        for (const auto& o : doc["obligations"].GetArray())
            keys.push_back(o["periodKey"].GetString());
    return keys;
}

struct ScenarioCase {
    const char* scenario;
    const char* query;
    int status;
    std::vector<std::string> keysOrCode;
};

class ObligationScenarios : public SandboxFixture,
                            public ::testing::WithParamInterface<ScenarioCase> {};

TEST_P(ObligationScenarios, AnswerAsHmrcsSandbox) {
    auto headers = VatHeaders(Token());
    headers.push_back(std::string("Gov-Test-Scenario: ") + GetParam().scenario);
    // The scenario answers for any client, even one the agent may not act for.
    for (const auto& vrn : {kQuarterlyClient.vrn, kNotAuthorisedClient.vrn}) {
        const HttpAnswer answer = m_client.Get(ObligationsUrl(vrn, GetParam().query), headers);
        EXPECT_EQ(answer.status, GetParam().status) << answer.body;
        if (GetParam().status == 200) {
            EXPECT_EQ(KeysOf(answer.body), GetParam().keysOrCode);
        } else {
            EXPECT_EQ(Member(answer.body, "code"), GetParam().keysOrCode.front());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, ObligationScenarios,
    ::testing::Values(
        ScenarioCase{"QUARTERLY_NONE_MET", "?status=O", 200, {"17A1", "17A2", "17A3", "17A4"}},
        ScenarioCase{"QUARTERLY_ONE_MET",
                     "?from=2017-01-01&to=2017-12-31",
                     200,
                     {"17A1", "17A2", "17A3", "17A4"}},
        ScenarioCase{"QUARTERLY_TWO_MET", "?status=O", 200, {"17A3", "17A4"}},
        ScenarioCase{"QUARTERLY_THREE_MET",
                     "?status=F&from=2017-01-01&to=2017-12-31",
                     200,
                     {"17A1", "17A2", "17A3"}},
        ScenarioCase{"QUARTERLY_FOUR_MET", "?status=O", 404, {"NOT_FOUND"}},
        ScenarioCase{"MONTHLY_NONE_MET", "?status=O", 200, {"17AA", "17AB", "17AC", "17AD"}},
        ScenarioCase{"MONTHLY_THREE_MET", "?status=O", 200, {"17AD"}},
        ScenarioCase{"MONTHLY_OBS_03_OPEN", "?status=O", 200, {"18AC"}},
        ScenarioCase{"MONTHLY_OBS_12_FULFILLED", "?status=O", 404, {"NOT_FOUND"}},
        ScenarioCase{"QUARTERLY_OBS_02_OPEN", "?status=O", 200, {"18A2"}},
        ScenarioCase{"QUARTERLY_OBS_04_FULFILLED",
                     "?status=F&from=2018-01-01&to=2018-12-31",
                     200,
                     {"18A1", "18A2", "18A3", "18A4"}},
        ScenarioCase{"MULTIPLE_OPEN_MONTHLY", "?status=O", 200, {"18AB", "18AC"}},
        ScenarioCase{"MULTIPLE_OPEN_QUARTERLY", "?status=O", 200, {"18A2", "18A3"}},
        ScenarioCase{"OBS_SPANS_MULTIPLE_YEARS", "?status=O", 200, {"18AX"}},
        ScenarioCase{"INSOLVENT_TRADER", "?status=O", 403, {"RULE_INSOLVENT_TRADER"}},
        ScenarioCase{"NOT_FOUND", "?status=O", 404, {"NOT_FOUND"}}),
    [](const auto& info) { return std::string(info.param.scenario); });

TEST_F(SandboxFixture, UnknownScenarioAnswersTheClientsOwnData) {
    auto headers = VatHeaders(Token());
    headers.push_back("Gov-Test-Scenario: NO_SUCH_SCENARIO");
    EXPECT_EQ(KeysOf(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), headers).body),
              (std::vector<std::string>{"26A1", "26A2"}));
}

TEST_F(SandboxFixture, ScenarioPeriodsCarryHmrcDates) {
    auto headers = VatHeaders(Token());
    headers.push_back("Gov-Test-Scenario: QUARTERLY_ONE_MET");
    const HttpAnswer answer = m_client.Get(
        ObligationsUrl(kQuarterlyClient.vrn, "?from=2017-01-01&to=2017-06-30"), headers);
    EXPECT_EQ(
        answer.body,
        R"({"obligations":[{"start":"2017-01-01","end":"2017-03-31","due":"2017-05-07","status":"F","periodKey":"17A1","received":"2017-05-06"},)"
        R"({"start":"2017-04-01","end":"2017-06-30","due":"2017-08-07","status":"O","periodKey":"17A2"}]})");
}

struct SubmitScenarioCase {
    const char* scenario;
    int status;
    const char* code;
};

class SubmitScenarios : public SandboxFixture,
                        public ::testing::WithParamInterface<SubmitScenarioCase> {};

TEST_P(SubmitScenarios, RefuseWithoutFiling) {
    auto headers = VatHeaders(Token());
    headers.push_back(std::string("Gov-Test-Scenario: ") + GetParam().scenario);
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), headers);
    EXPECT_EQ(answer.status, GetParam().status);
    EXPECT_EQ(Member(answer.body, "code"), GetParam().code);
    EXPECT_TRUE(answer.Header("X-CorrelationId"));
    EXPECT_TRUE(m_server->FiledReturns().empty());
    EXPECT_NE(
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token())).body.find("26A1"),
        std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, SubmitScenarios,
    ::testing::Values(SubmitScenarioCase{"INVALID_VRN", 400, "VRN_INVALID"},
                      SubmitScenarioCase{"INVALID_PERIODKEY", 400, "PERIOD_KEY_INVALID"},
                      SubmitScenarioCase{"INVALID_PAYLOAD", 400, "INVALID_REQUEST"},
                      SubmitScenarioCase{"DUPLICATE_SUBMISSION", 403, "DUPLICATE_SUBMISSION"},
                      SubmitScenarioCase{"TAX_PERIOD_NOT_ENDED", 403, "TAX_PERIOD_NOT_ENDED"},
                      SubmitScenarioCase{"INSOLVENT_TRADER", 403, "RULE_INSOLVENT_TRADER"}),
    [](const auto& info) { return std::string(info.param.scenario); });

TEST_F(SandboxFixture, ViewReturnScenarios) {
    auto headers = VatHeaders(Token());
    headers.push_back("Gov-Test-Scenario: DATE_RANGE_TOO_LARGE");
    const HttpAnswer answer =
        m_client.Get(Url("/organisations/vat/100000001/returns/25A4"), headers);
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(Member(answer.body, "code"), "DATE_RANGE_TOO_LARGE");
}

}  // namespace
}  // namespace calvenor::sandbox::test
