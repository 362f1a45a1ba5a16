#include "SandboxFixture.h"
#include "SandboxModel.h"

namespace calvenor::sandbox::test {
namespace {

struct ObligationsCase {
    const char* name;
    std::string_view vrn;
    const char* query;
    int status;
    const char* expected;  // the period keys when found, else the error code
    const char* scenario = nullptr;
};

// HMRC's test scenarios answer for any client, even one the agent may not act for.
ObligationsCase Scenario(const char* name, const char* query, int status, const char* expected) {
    return {name, kNotAuthorisedClient.vrn, query, status, expected, name};
}

class ObligationsQuery : public SandboxFixture,
                         public ::testing::WithParamInterface<ObligationsCase> {};

TEST_P(ObligationsQuery, AnswersAsHmrcDocumentsIt) {
    const ObligationsCase& c = GetParam();
    const HttpAnswer answer = m_client.Get(ObligationsUrl(c.vrn, c.query), Headers(c.scenario));
    EXPECT_EQ(answer.status, c.status) << answer.body;
    EXPECT_TRUE(answer.Header("X-CorrelationId"));
    EXPECT_EQ(c.status == 200 ? Keys(answer.body) : Member(answer.body, "code"), c.expected);
}

constexpr auto kQuarterly = kQuarterlyClient.vrn;
using Q = ObligationsCase;
INSTANTIATE_TEST_SUITE_P(
    Sandbox, ObligationsQuery,
    ::testing::Values(
        Q{"QuarterlyOpen", kQuarterly, "?status=O", 200, "26A1,26A2"},
        Q{"QuarterlyFulfilledIn2025", kQuarterly, "?status=F&from=2025-01-01&to=2025-12-31", 200,
          "25A3,25A4"},
        Q{"QuarterlyAllInAYear", kQuarterly, "?from=2025-07-01&to=2026-06-30", 200,
          "25A3,25A4,26A1,26A2"},
        Q{"OpenWithinDates", kQuarterly, "?status=O&from=2026-04-01&to=2026-04-30", 200, "26A2"},
        Q{"MonthlyOpen", kMonthlyClient.vrn, "?status=O", 200, "26M4,26M5"},
        Q{"HashKeysOpen", kHashKeyClient.vrn, "?status=O", 200, "#601,#604,#607"},
        Q{"NoOpenPeriods", kNoOpenPeriodsClient.vrn, "?status=O", 404, "NOT_FOUND"},
        Q{"NotAuthorised", kNotAuthorisedClient.vrn, "?status=O", 403,
          "CLIENT_OR_AGENT_NOT_AUTHORISED"},
        Q{"UnknownClient", "999999999", "?status=O", 403, "CLIENT_OR_AGENT_NOT_AUTHORISED"},
        Q{"EightDigitVrn", "12345678", "?status=O", 400, "VRN_INVALID"},
        Q{"LettersInVrn", "12345678X", "?status=O", 400, "VRN_INVALID"},
        Q{"UnknownStatus", kQuarterly, "?status=X", 400, "INVALID_STATUS"},
        Q{"FulfilledNeedsDates", kQuarterly, "?status=F", 400, "INVALID_DATE_FROM"},
        Q{"BadFromDate", kQuarterly, "?from=2026-13-01&to=2026-12-31", 400, "INVALID_DATE_FROM"},
        Q{"BadToDate", kQuarterly, "?from=2026-01-01&to=2026-02-30", 400, "INVALID_DATE_TO"},
        Q{"RangeOver366Days", kQuarterly, "?from=2025-01-01&to=2026-01-03", 400,
          "INVALID_DATE_RANGE"},
        Q{"ToBeforeFrom", kQuarterly, "?from=2026-02-01&to=2026-01-01", 400, "INVALID_DATE_RANGE"},
        Q{"UnknownScenario", kQuarterly, "?status=O", 200, "26A1,26A2", "NO_SUCH_SCENARIO"},
        Scenario("QUARTERLY_NONE_MET", "?status=O", 200, "17A1,17A2,17A3,17A4"),
        Scenario("QUARTERLY_ONE_MET", "?from=2017-01-01&to=2017-12-31", 200, "17A1,17A2,17A3,17A4"),
        Scenario("QUARTERLY_TWO_MET", "?status=O", 200, "17A3,17A4"),
        Scenario("QUARTERLY_THREE_MET", "?status=F&from=2017-01-01&to=2017-12-31", 200,
                 "17A1,17A2,17A3"),
        Scenario("QUARTERLY_FOUR_MET", "?status=O", 404, "NOT_FOUND"),
        Scenario("MONTHLY_NONE_MET", "?status=O", 200, "17AA,17AB,17AC,17AD"),
        Scenario("MONTHLY_THREE_MET", "?status=O", 200, "17AD"),
        Scenario("MONTHLY_OBS_03_OPEN", "?status=O", 200, "18AC"),
        Scenario("MONTHLY_OBS_12_FULFILLED", "?status=O", 404, "NOT_FOUND"),
        Scenario("QUARTERLY_OBS_02_OPEN", "?status=O", 200, "18A2"),
        Scenario("QUARTERLY_OBS_04_FULFILLED", "?status=F&from=2018-01-01&to=2018-12-31", 200,
                 "18A1,18A2,18A3,18A4"),
        Scenario("MULTIPLE_OPEN_MONTHLY", "?status=O", 200, "18AB,18AC"),
        Scenario("MULTIPLE_OPEN_QUARTERLY", "?status=O", 200, "18A2,18A3"),
        Scenario("OBS_SPANS_MULTIPLE_YEARS", "?status=O", 200, "18AX"),
        Scenario("INSOLVENT_TRADER", "?status=O", 403, "RULE_INSOLVENT_TRADER"),
        Scenario("NOT_FOUND", "?status=O", 404, "NOT_FOUND")),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SandboxFixture, ObligationMembersFollowHmrcsShape) {
    const struct {
        const char* scenario;
        const char* query;
        const char* body;
    } cases[] = {
        {nullptr, "?from=2025-10-01&to=2026-03-31",
         R"({"obligations":[{"start":"2025-10-01","end":"2025-12-31","due":"2026-02-07","status":"F","periodKey":"25A4","received":"2026-01-20"},)"
         R"({"start":"2026-01-01","end":"2026-03-31","due":"2026-05-07","status":"O","periodKey":"26A1"}]})"},
        {"QUARTERLY_ONE_MET", "?from=2017-01-01&to=2017-06-30",
         R"({"obligations":[{"start":"2017-01-01","end":"2017-03-31","due":"2017-05-07","status":"F","periodKey":"17A1","received":"2017-05-06"},)"
         R"({"start":"2017-04-01","end":"2017-06-30","due":"2017-08-07","status":"O","periodKey":"17A2"}]})"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterly, c.query), Headers(c.scenario)).body,
                  c.body);
}

struct GateCase {
    const char* name;
    std::vector<std::string> headers;  // "{TOKEN}" becomes a valid access token
    int status;
    const char* code;
};

class VatGate : public SandboxFixture, public ::testing::WithParamInterface<GateCase> {};

TEST_P(VatGate, RefusesBeforeLookingAtTheClient) {
    std::vector<std::string> headers = GetParam().headers;
    for (auto& h : headers)
        if (auto at = h.find("{TOKEN}"); at != std::string::npos)
            h.replace(at, 7, Token());
    const HttpAnswer answer = m_client.Get(ObligationsUrl(kQuarterly), headers);
    EXPECT_EQ(answer.status, GetParam().status) << answer.body;
    EXPECT_EQ(Member(answer.body, "code"), GetParam().code);
}

const std::string kAccept = "Accept: application/vnd.hmrc.1.0+json";
INSTANTIATE_TEST_SUITE_P(
    Sandbox, VatGate,
    ::testing::Values(
        GateCase{"NoAccept", {"Authorization: Bearer {TOKEN}"}, 406, "ACCEPT_HEADER_INVALID"},
        GateCase{"OtherVersion",
                 {"Accept: application/vnd.hmrc.2.0+json", "Authorization: Bearer {TOKEN}"},
                 406,
                 "ACCEPT_HEADER_INVALID"},
        GateCase{"NoAuthorization", {kAccept}, 401, "MISSING_CREDENTIALS"},
        GateCase{
            "UnknownToken", {kAccept, "Authorization: Bearer 0000"}, 401, "INVALID_CREDENTIALS"},
        GateCase{
            "BasicScheme", {kAccept, "Authorization: Basic {TOKEN}"}, 401, "INVALID_CREDENTIALS"},
        GateCase{"EmptyBearer", {kAccept, "Authorization: Bearer "}, 401, "INVALID_CREDENTIALS"},
        GateCase{"LowerCaseScheme", {kAccept, "Authorization: bearer {TOKEN}"}, 200, "<absent>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SandboxFixture, ReadOnlyTokenCannotFile) {
    const auto headers = VatHeaders(Authorise(*m_server, m_client, "read:vat").accessToken);
    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterly), headers).status, 200);
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterly), ValidReturnBody("26A1"), headers);
    EXPECT_EQ(answer.status, 401);
    EXPECT_EQ(Member(answer.body, "code"), "INVALID_SCOPE");
}

// The seed holds on any day: month ends, leap days, year ends.
class SeededPeriods : public ::testing::TestWithParam<CivilDate> {};

TEST_P(SeededPeriods, EveryDemoClientHasWhatTheDemoNeeds) {
    const CivilDate today = GetParam();
    SandboxModel model;
    model.SeedDemo(today);
    for (const DemoClient& demo : kDemoClients) {
        const ClientCompany& client = model.clients.at(std::string(demo.vrn));
        SCOPED_TRACE(client.companyName);
        int endedOpen = 0, runningOpen = 0;
        for (std::size_t i = 0; i < client.obligations.size(); ++i) {
            const Obligation& o = client.obligations[i];
            EXPECT_EQ(o.due, o.end.AddMonths(1).LastDayOfMonth().AddDays(7));
            EXPECT_EQ(o.end, o.end.LastDayOfMonth());
            EXPECT_EQ(o.start.day, 1);
            const int months = (o.end.year - o.start.year) * 12 + o.end.month - o.start.month + 1;
            EXPECT_EQ(months, demo.vrn == kMonthlyClient.vrn ? 1 : 3);
            if (i > 0) {
                EXPECT_EQ(o.start, client.obligations[i - 1].end.AddDays(1));
            }
            EXPECT_EQ(o.fulfilled, o.received.has_value());
            if (o.received) {
                EXPECT_LE(*o.received, today);
            }
            if (!o.fulfilled)
                (o.end < today ? endedOpen : runningOpen)++;
        }
        EXPECT_EQ(runningOpen, demo.vrn == kNoOpenPeriodsClient.vrn ? 0 : 1);
        EXPECT_EQ(endedOpen > 0, demo.vrn != kNoOpenPeriodsClient.vrn);
    }
}

INSTANTIATE_TEST_SUITE_P(Sandbox, SeededPeriods,
                         ::testing::Values(CivilDate{2026, 1, 1}, CivilDate{2026, 3, 31},
                                           CivilDate{2028, 2, 29}, CivilDate{2026, 12, 31},
                                           CivilDate{2027, 11, 15}));

}  // namespace
}  // namespace calvenor::sandbox::test
