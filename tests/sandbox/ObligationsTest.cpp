#include "SandboxFixture.h"
#include "SandboxModel.h"

namespace calvenor::sandbox::test {
namespace {

std::vector<std::string> PeriodKeys(const std::string& body) {
    std::vector<std::string> keys;
    rapidjson::Document doc;
    doc.Parse(body.c_str());
    if (!doc.IsObject() || !doc.HasMember("obligations"))
        return keys;
    for (const auto& o : doc["obligations"].GetArray())
        keys.push_back(o["periodKey"].GetString());
    return keys;
}

struct ObligationsCase {
    const char* name;
    std::string_view vrn;
    const char* query;
    int status;
    std::vector<std::string> keysOrCode;  // period keys for 200, else the error code
};

class ObligationsQuery : public SandboxFixture,
                         public ::testing::WithParamInterface<ObligationsCase> {};

TEST_P(ObligationsQuery, AnswersAsHmrcDocumentsIt) {
    const ObligationsCase& c = GetParam();
    const HttpAnswer answer = m_client.Get(ObligationsUrl(c.vrn, c.query), VatHeaders(Token()));
    EXPECT_EQ(answer.status, c.status) << answer.body;
    EXPECT_TRUE(answer.Header("X-CorrelationId"));
    if (c.status == 200) {
        EXPECT_EQ(PeriodKeys(answer.body), c.keysOrCode);
    } else {
        EXPECT_EQ(Member(answer.body, "code"), c.keysOrCode.front());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, ObligationsQuery,
    ::testing::Values(
        ObligationsCase{"QuarterlyOpen", kQuarterlyClient.vrn, "?status=O", 200, {"26A1", "26A2"}},
        ObligationsCase{"QuarterlyFulfilledIn2025",
                        kQuarterlyClient.vrn,
                        "?status=F&from=2025-01-01&to=2025-12-31",
                        200,
                        {"25A3", "25A4"}},
        ObligationsCase{"QuarterlyAllInAYear",
                        kQuarterlyClient.vrn,
                        "?from=2025-07-01&to=2026-06-30",
                        200,
                        {"25A3", "25A4", "26A1", "26A2"}},
        ObligationsCase{"OpenWithinDates",
                        kQuarterlyClient.vrn,
                        "?status=O&from=2026-04-01&to=2026-04-30",
                        200,
                        {"26A2"}},
        ObligationsCase{"MonthlyOpen", kMonthlyClient.vrn, "?status=O", 200, {"26M4", "26M5"}},
        ObligationsCase{
            "HashKeysOpen", kHashKeyClient.vrn, "?status=O", 200, {"#601", "#604", "#607"}},
        ObligationsCase{"NoOpenPeriods", kNoOpenPeriodsClient.vrn, "?status=O", 404, {"NOT_FOUND"}},
        ObligationsCase{"NotAuthorised",
                        kNotAuthorisedClient.vrn,
                        "?status=O",
                        403,
                        {"CLIENT_OR_AGENT_NOT_AUTHORISED"}},
        ObligationsCase{
            "UnknownClient", "999999999", "?status=O", 403, {"CLIENT_OR_AGENT_NOT_AUTHORISED"}},
        ObligationsCase{"EightDigitVrn", "12345678", "?status=O", 400, {"VRN_INVALID"}},
        ObligationsCase{"LettersInVrn", "12345678X", "?status=O", 400, {"VRN_INVALID"}},
        ObligationsCase{
            "UnknownStatus", kQuarterlyClient.vrn, "?status=X", 400, {"INVALID_STATUS"}},
        ObligationsCase{
            "FulfilledNeedsDates", kQuarterlyClient.vrn, "?status=F", 400, {"INVALID_DATE_FROM"}},
        ObligationsCase{"BadFromDate",
                        kQuarterlyClient.vrn,
                        "?from=2026-13-01&to=2026-12-31",
                        400,
                        {"INVALID_DATE_FROM"}},
        ObligationsCase{"BadToDate",
                        kQuarterlyClient.vrn,
                        "?from=2026-01-01&to=2026-02-30",
                        400,
                        {"INVALID_DATE_TO"}},
        ObligationsCase{"RangeOver366Days",
                        kQuarterlyClient.vrn,
                        "?from=2025-01-01&to=2026-01-03",
                        400,
                        {"INVALID_DATE_RANGE"}},
        ObligationsCase{"ToBeforeFrom",
                        kQuarterlyClient.vrn,
                        "?from=2026-02-01&to=2026-01-01",
                        400,
                        {"INVALID_DATE_RANGE"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SandboxFixture, ObligationMembersFollowHmrcsShape) {
    const HttpAnswer answer =
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn, "?from=2025-10-01&to=2026-03-31"),
                     VatHeaders(Token()));
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(
        answer.body,
        R"({"obligations":[{"start":"2025-10-01","end":"2025-12-31","due":"2026-02-07","status":"F","periodKey":"25A4","received":"2026-01-20"},)"
        R"({"start":"2026-01-01","end":"2026-03-31","due":"2026-05-07","status":"O","periodKey":"26A1"}]})");
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
    const HttpAnswer answer = m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), headers);
    EXPECT_EQ(answer.status, GetParam().status) << answer.body;
    EXPECT_EQ(Member(answer.body, "code"), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, VatGate,
    ::testing::Values(
        GateCase{"NoAccept", {"Authorization: Bearer {TOKEN}"}, 406, "ACCEPT_HEADER_INVALID"},
        GateCase{"OtherVersion",
                 {"Accept: application/vnd.hmrc.2.0+json", "Authorization: Bearer {TOKEN}"},
                 406,
                 "ACCEPT_HEADER_INVALID"},
        GateCase{"NoAuthorization",
                 {"Accept: application/vnd.hmrc.1.0+json"},
                 401,
                 "MISSING_CREDENTIALS"},
        GateCase{"UnknownToken",
                 {"Accept: application/vnd.hmrc.1.0+json", "Authorization: Bearer 0000"},
                 401,
                 "INVALID_CREDENTIALS"},
        GateCase{"BasicScheme",
                 {"Accept: application/vnd.hmrc.1.0+json", "Authorization: Basic {TOKEN}"},
                 401,
                 "INVALID_CREDENTIALS"},
        GateCase{"EmptyBearer",
                 {"Accept: application/vnd.hmrc.1.0+json", "Authorization: Bearer "},
                 401,
                 "INVALID_CREDENTIALS"},
        GateCase{"LowerCaseScheme",
                 {"Accept: application/vnd.hmrc.1.0+json", "Authorization: bearer {TOKEN}"},
                 200,
                 "<absent>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SandboxFixture, ReadOnlyTokenCannotFile) {
    const TokenSet readOnly = Authorise(*m_server, m_client, "read:vat");
    EXPECT_EQ(
        m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(readOnly.accessToken)).status,
        200);
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"),
                      VatHeaders(readOnly.accessToken));
    EXPECT_EQ(answer.status, 401);
    EXPECT_EQ(Member(answer.body, "code"), "INVALID_SCOPE");
}

TEST_F(SandboxFixture, HelpersChangeWhatAClientAnswers) {
    m_server->ClearOpenObligations(kQuarterlyClient.vrn);
    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token())).status, 404);
    m_server->SetClientAuthorised(kMonthlyClient.vrn, false);
    EXPECT_EQ(m_client.Get(ObligationsUrl(kMonthlyClient.vrn), VatHeaders(Token())).status, 403);
    m_server->AddClient("200000001", "New Client Ltd", Frequency::Monthly);
    EXPECT_EQ(PeriodKeys(m_client.Get(ObligationsUrl("200000001"), VatHeaders(Token())).body),
              (std::vector<std::string>{"26M4", "26M5"}));
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
        if (demo.vrn == kNoOpenPeriodsClient.vrn) {
            EXPECT_EQ(endedOpen + runningOpen, 0);
        } else {
            EXPECT_GE(endedOpen, 1);
            EXPECT_EQ(runningOpen, 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sandbox, SeededPeriods,
                         ::testing::Values(CivilDate{2026, 1, 1}, CivilDate{2026, 3, 31},
                                           CivilDate{2028, 2, 29}, CivilDate{2026, 12, 31},
                                           CivilDate{2027, 11, 15}));

}  // namespace
}  // namespace calvenor::sandbox::test
