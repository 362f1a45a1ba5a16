// What the sandbox answers to each request, one row per behaviour of HMRC's OAuth and VAT API.
#include <regex>
#include <sstream>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::string kAuthorize =
    "response_type=code&client_id=calvenor-demo-client&scope=read:vat+write:vat&redirect_uri=urn:"
    "ietf:wg:oauth:2.0:oob";

struct Row {
    const char* name;
    const char* request;  // "GET /path" or "POST /path"
    // Authorisation query and token form: "-name" leaves a parameter of the good one out,
    // "+name=value" adds one. Returns: "name":value pairs replace members of a valid return
    // (null removes them); any other text is the body itself.
    const char* edits;
    int status;
    // ';'-separated: "member=text" of the JSON body, "keys=A,B" the period keys, "errors=CODE"
    // the first inner error, "!member" absent, "H:Name^text" a header starting with text.
    const char* expect;
    const char* headers = "";  // extra header lines, '|'-separated; "none": not even the API's
    const char* token = "read:vat write:vat";
};

std::string Edited(const std::string& text, const std::string& edits) {
    std::string out = text, edit;
    for (std::istringstream in(edits); in >> edit;) {
        if (edit[0] == '-')
            out = std::regex_replace(out, std::regex("&?\\b" + edit.substr(1) + "=[^&]*"), "");
        else
            out += (out.empty() ? "" : "&") + edit.substr(1);
    }
    return out.starts_with('&') ? out.substr(1) : out;
}

std::string ReturnWith(const std::string& edits) {
    std::string body = ValidReturn();
    const std::regex edit(R"re("(\w+)":("[^"]*"|[^,]+))re");
    for (std::sregex_iterator it(edits.begin(), edits.end(), edit), end; it != end; ++it) {
        const std::regex old("(,?)\"" + (*it)[1].str() + R"re(":("[^"]*"|[^,}]+))re");
        body = std::regex_replace(body, old, (*it)[2] == "null" ? "" : "$1" + it->str());
    }
    return body;
}

class Contract : public SandboxFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(Contract, AnswersAsHmrcDoes) {
    const Row& row = GetParam();
    const std::string request = row.request;
    std::string path = request.substr(request.find(' ') + 1);
    httplib::Headers headers;
    if (!std::string(row.headers).starts_with("none"))
        headers = Vat(Token(row.token));
    std::string line;
    for (std::istringstream in(row.headers); std::getline(in, line, '|');) {
        const std::string name = line.substr(0, line.find(':'));
        headers.erase(name);
        if (line != "none")
            headers.emplace(name, line.substr(line.find(':') + 2));
    }
    m_server->AddApplication("second-app", "s3cr&t=x+y z", "Second");
    const auto answer = [&] {
        if (path == "/oauth/authorize")
            return m_client->Get((path + "?" + Edited(kAuthorize, row.edits)).c_str(), headers);
        if (request.starts_with("GET"))
            return m_client->Get(path.c_str(), headers);
        const bool form = path == "/oauth/token", edits = !row.edits[0] || row.edits[0] == '"';
        const std::string body = form    ? Edited(kCodeForm + m_server->GrantCode(), row.edits)
                                 : edits ? ReturnWith(row.edits)
                                         : row.edits;
        return m_client->Post(path.c_str(), headers, body,
                              form ? "application/x-www-form-urlencoded" : "application/json");
    }();
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, row.status) << answer->body;
    rapidjson::Document doc;
    doc.Parse(answer->body.c_str());
    std::string check;
    for (std::istringstream in(row.expect); std::getline(in, check, ';');) {
        const auto eq = check.find_first_of("=^");
        const std::string name = check.substr(0, eq), value = check.substr(eq + 1);
        if (name.starts_with("H:")) {
            EXPECT_TRUE(answer->get_header_value(name.substr(2).c_str()).starts_with(value))
                << check << ": " << answer->get_header_value(name.substr(2).c_str());
        } else if (name.starts_with("!H:")) {
            EXPECT_FALSE(answer->has_header(name.substr(3).c_str())) << check;
        } else if (name.starts_with('!')) {
            EXPECT_FALSE(doc.IsObject() && doc.HasMember(name.substr(1).c_str())) << check;
        } else if (name == "keys") {
            std::string keys;
            for (const auto& o : doc["obligations"].GetArray())
                keys += (keys.empty() ? "" : ",") + std::string(o["periodKey"].GetString());
            EXPECT_EQ(keys, value);
        } else if (name == "errors") {
            ASSERT_TRUE(doc.HasMember("errors")) << answer->body;
            EXPECT_EQ(doc["errors"][0]["code"].GetString(), value);
        } else if (name == "body") {
            EXPECT_EQ(answer->body, value);
        } else {
            EXPECT_EQ(Member(answer->body, name.c_str()), value) << check;
        }
    }
    const bool filed = answer->status == 201;
    EXPECT_EQ(m_server->FiledReturns().size(), filed ? 1u : 0u);
}

constexpr const char* kQuarterly = "GET /organisations/vat/100000001/obligations?status=O";
constexpr const char* kSubmit = "POST /organisations/vat/100000001/returns";
constexpr const char* kScenario = "GET /organisations/vat/100000005/obligations?status=O";
#define OBLIGATIONS(query) "GET /organisations/vat/100000001/obligations?" query

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sandbox, Contract, ::testing::Values(
    // OAuth authorisation request: a redirect to the sign-in page, or an OAuth error and no redirect.
    Row{"AuthorizeRedirectsToSignIn", "GET /oauth/authorize", "", 302, "H:Location^http://127.0.0.1:"},
    Row{"AuthorizeUnknownClient", "GET /oauth/authorize", "-client_id +client_id=x", 400, "error=invalid_client;!H:Location"},
    Row{"AuthorizeWithoutClient", "GET /oauth/authorize", "-client_id", 400, "error=invalid_request"},
    Row{"AuthorizeImplicitGrant", "GET /oauth/authorize", "-response_type +response_type=token", 400, "error=unsupported_response_type"},
    Row{"AuthorizeForeignRedirect", "GET /oauth/authorize", "-redirect_uri +redirect_uri=https://evil.example/", 400, "error=invalid_request"},
    Row{"AuthorizeUnknownScope", "GET /oauth/authorize", "-scope +scope=read:vat+write:all", 400, "error=invalid_scope"},
    Row{"AuthorizeWithoutScope", "GET /oauth/authorize", "-scope", 400, "error=invalid_request"},
    Row{"AuthorizeRepeatedParameter", "GET /oauth/authorize", "+client_id=other", 400, "error=invalid_request"},
    // Token endpoint.
    Row{"TokenForACode", "POST /oauth/token", "", 200, "token_type=bearer;scope=read:vat write:vat;H:Cache-Control^no-store"},
    Row{"TokenSecretIsFormDecoded", "POST /oauth/token", "-client_id -client_secret +client_id=second-app +client_secret=s3cr%26t%3Dx%2By%20z", 400, "error=invalid_grant"},
    Row{"TokenWrongSecret", "POST /oauth/token", "-client_secret +client_secret=wrong", 401, "error=invalid_client;!access_token"},
    Row{"TokenWithoutSecret", "POST /oauth/token", "-client_secret", 401, "error=invalid_client"},
    Row{"TokenWithoutGrantType", "POST /oauth/token", "-grant_type", 400, "error=invalid_request"},
    Row{"TokenPasswordGrant", "POST /oauth/token", "-grant_type +grant_type=password", 400, "error=unsupported_grant_type"},
    Row{"TokenWithoutCode", "POST /oauth/token", "-code", 400, "error=invalid_request"},
    Row{"TokenWithoutRedirect", "POST /oauth/token", "-redirect_uri", 400, "error=invalid_request"},
    Row{"TokenUnknownCode", "POST /oauth/token", "-code +code=0123", 400, "error=invalid_grant"},
    Row{"TokenOtherRedirect", "POST /oauth/token", "-redirect_uri +redirect_uri=https%3A%2F%2Fx.example", 400, "error=invalid_grant"},
    Row{"TokenInjectedParameter", "POST /oauth/token", "+client_id=other", 400, "error=invalid_request"},
    Row{"RefreshWithoutToken", "POST /oauth/token", "-grant_type +grant_type=refresh_token", 400, "error=invalid_request"},
    Row{"RefreshUnknownToken", "POST /oauth/token", "-grant_type +grant_type=refresh_token +refresh_token=feed", 400, "error=invalid_grant"},
    // The API gateway, before the client is looked at.
    Row{"WithoutAccept", kQuarterly, "", 406, "code=ACCEPT_HEADER_INVALID", "Accept: application/json"},
    Row{"WithoutCredentials", kQuarterly, "", 401, "code=MISSING_CREDENTIALS", "none|Accept: application/vnd.hmrc.1.0+json"},
    Row{"UnknownToken", kQuarterly, "", 401, "code=INVALID_CREDENTIALS", "none|Accept: application/vnd.hmrc.1.0+json|Authorization: Bearer 0a"},
    Row{"BasicScheme", kQuarterly, "", 401, "code=INVALID_CREDENTIALS", "none|Accept: application/vnd.hmrc.1.0+json|Authorization: Basic 0a"},
    Row{"ReadOnlyTokenCannotFile", kSubmit, "", 401, "code=INVALID_SCOPE", "", "read:vat"},
    // Obligations.
    Row{"QuarterlyOpen", OBLIGATIONS("status=O"), "", 200, "keys=26A1,26A2;H:X-CorrelationId^"},
    Row{"FulfilledIn2025", OBLIGATIONS("status=F&from=2025-01-01&to=2025-12-31"), "", 200, "keys=25A3,25A4"},
    Row{"AllWithinAYear", OBLIGATIONS("from=2025-07-01&to=2026-06-30"), "", 200, "keys=25A3,25A4,26A1,26A2"},
    Row{"OpenWithinDates", OBLIGATIONS("status=O&from=2026-04-01&to=2026-04-30"), "", 200, "keys=26A2"},
    Row{"MonthlyOpen", "GET /organisations/vat/100000002/obligations?status=O", "", 200, "keys=26M4,26M5"},
    Row{"HashKeysOpen", "GET /organisations/vat/100000003/obligations?status=O", "", 200, "keys=#601,#604,#607"},
    Row{"NoOpenPeriods", "GET /organisations/vat/100000004/obligations?status=O", "", 404, "code=NOT_FOUND"},
    Row{"NotAuthorised", "GET /organisations/vat/100000005/obligations?status=O", "", 403, "code=CLIENT_OR_AGENT_NOT_AUTHORISED"},
    Row{"UnknownClient", "GET /organisations/vat/999999999/obligations?status=O", "", 403, "code=CLIENT_OR_AGENT_NOT_AUTHORISED"},
    Row{"ShortVrn", "GET /organisations/vat/12345678/obligations?status=O", "", 400, "code=VRN_INVALID"},
    Row{"UnknownStatus", OBLIGATIONS("status=X"), "", 400, "code=INVALID_STATUS"},
    Row{"FulfilledNeedsDates", OBLIGATIONS("status=F"), "", 400, "code=INVALID_DATE_FROM"},
    Row{"ImpossibleToDate", OBLIGATIONS("from=2026-01-01&to=2026-02-30"), "", 400, "code=INVALID_DATE_TO"},
    Row{"RangeOver366Days", OBLIGATIONS("from=2025-01-01&to=2026-01-03"), "", 400, "code=INVALID_DATE_RANGE"},
    Row{"ToBeforeFrom", OBLIGATIONS("from=2026-02-01&to=2026-01-01"), "", 400, "code=INVALID_DATE_RANGE"},
    Row{"MembersAsHmrcWritesThem", OBLIGATIONS("from=2025-10-01&to=2026-03-31"), "", 200,
        R"(body={"obligations":[{"start":"2025-10-01","end":"2025-12-31","due":"2026-02-07","status":"F","periodKey":"25A4","received":"2026-01-20"},)"
        R"({"start":"2026-01-01","end":"2026-03-31","due":"2026-05-07","status":"O","periodKey":"26A1"}]})"},
    // HMRC's test scenarios answer for any client, even one the agent may not act for.
    Row{"UnknownScenarioIsIgnored", OBLIGATIONS("status=O"), "", 200, "keys=26A1,26A2", "Gov-Test-Scenario: NO_SUCH"},
    Row{"QuarterlyTwoMet", kScenario, "", 200, "keys=17A3,17A4", "Gov-Test-Scenario: QUARTERLY_TWO_MET"},
    Row{"MonthlyObs03Open", kScenario, "", 200, "keys=18AC", "Gov-Test-Scenario: MONTHLY_OBS_03_OPEN"},
    Row{"MultipleOpenQuarterly", kScenario, "", 200, "keys=18A2,18A3", "Gov-Test-Scenario: MULTIPLE_OPEN_QUARTERLY"},
    Row{"SpansYears", kScenario, "", 200, "keys=18AX", "Gov-Test-Scenario: OBS_SPANS_MULTIPLE_YEARS"},
    Row{"AllFulfilled", kScenario, "", 404, "code=NOT_FOUND", "Gov-Test-Scenario: QUARTERLY_OBS_04_FULFILLED"},
    Row{"InsolventTrader", kScenario, "", 403, "code=RULE_INSOLVENT_TRADER", "Gov-Test-Scenario: INSOLVENT_TRADER"},
    // Returns: accepted ones carry the receipt; refused ones are not filed.
    Row{"Accepted", kSubmit, "", 201, "paymentIndicator=DD;H:Receipt-ID^;H:Receipt-Timestamp^2026-05-15T10:00:00Z;processingDate=2026-05-15T10:00:00.000+0000"},
    Row{"JsonNumbers", kSubmit, R"("vatDueSales":1234.5,"netVatDue":1134.50,"totalValueSalesExVAT":6172)", 201, "paymentIndicator=DD"},
    Row{"ExactDecimals", kSubmit, R"("vatDueSales":0.1,"vatDueAcquisitions":0.2,"totalVatDue":0.3,"vatReclaimedCurrPeriod":0,"netVatDue":0.3)", 201, "paymentIndicator=DD"},
    Row{"ExponentAndZeroPence", kSubmit, R"("totalValueSalesExVAT":"6172.00","totalValuePurchasesExVAT":5e2)", 201, "paymentIndicator=DD"},
    Row{"Repayment", kSubmit, R"("vatReclaimedCurrPeriod":"2000.00","netVatDue":765.50)", 201, "paymentIndicator=BANK;!chargeRefNumber"},
    Row{"NothingOwed", kSubmit, R"("vatReclaimedCurrPeriod":"1234.50","netVatDue":"0.00")", 201, "!paymentIndicator"},
    Row{"BoxFiveNegative", kSubmit, R"("netVatDue":"-1134.50")", 400, "code=INVALID_REQUEST;errors=INVALID_MONETARY_AMOUNT"},
    Row{"PenceInBoxSix", kSubmit, R"("totalValueSalesExVAT":"6172.50")", 400, "errors=INVALID_MONETARY_AMOUNT"},
    Row{"BoxOneTooLarge", kSubmit, R"("vatDueSales":"10000000000000")", 400, "errors=INVALID_MONETARY_AMOUNT"},
    Row{"TextInBoxSeven", kSubmit, R"("totalValuePurchasesExVAT":"500 pounds")", 400, "errors=INVALID_NUMERIC_VALUE"},
    Row{"BooleanInBoxEight", kSubmit, R"("totalValueGoodsSuppliedExVAT":true)", 400, "errors=INVALID_NUMERIC_VALUE"},
    Row{"MissingBoxNine", kSubmit, R"("totalAcquisitionsExVAT":null)", 400, "errors=MISSING_FIELD"},
    Row{"FinalisedAsText", kSubmit, R"("finalised":"true")", 400, "errors=INVALID_BOOLEAN_VALUE"},
    Row{"NotFinalised", kSubmit, R"("finalised":false)", 403, "code=NOT_FINALISED"},
    Row{"LowerCasePeriodKey", kSubmit, R"("periodKey":"26a1")", 400, "code=PERIOD_KEY_INVALID;!errors"},
    Row{"UnknownPeriodKey", kSubmit, R"("periodKey":"99Z9")", 400, "code=PERIOD_KEY_INVALID"},
    Row{"FiledPeriod", kSubmit, R"("periodKey":"25A4")", 403, "code=DUPLICATE_SUBMISSION"},
    Row{"PeriodNotEnded", kSubmit, R"("periodKey":"26A2")", 403, "code=TAX_PERIOD_NOT_ENDED"},
    Row{"BoxThreeNotTheSum", kSubmit, R"("totalVatDue":"1234.51","netVatDue":"1134.51")", 400, "code=BUSINESS_ERROR;errors=VAT_TOTAL_VALUE"},
    Row{"BoxFiveNotTheDifference", kSubmit, R"("netVatDue":"1134.49")", 400, "code=BUSINESS_ERROR;errors=VAT_NET_VALUE"},
    Row{"NotAReturnObject", kSubmit, "[]", 400, "code=INVALID_REQUEST"},
    Row{"ReturnForUnauthorisedClient", "POST /organisations/vat/100000005/returns", "", 403, "code=CLIENT_OR_AGENT_NOT_AUTHORISED"},
    Row{"ReturnScenarioInvalidVrn", kSubmit, "", 400, "code=VRN_INVALID", "Gov-Test-Scenario: INVALID_VRN"},
    Row{"ReturnScenarioInsolvent", kSubmit, "", 403, "code=RULE_INSOLVENT_TRADER", "Gov-Test-Scenario: INSOLVENT_TRADER"},
    // Paths and bodies no API serves.
    Row{"UnknownPath", "GET /organisations/vat", "", 404, "code=MATCHING_RESOURCE_NOT_FOUND"},
    Row{"NothingFiledToView", "GET /organisations/vat/100000001/returns/26A1", "", 404, "code=NOT_FOUND"},
    Row{"ViewScenario", "GET /organisations/vat/100000001/returns/26A1", "", 403, "code=DATE_RANGE_TOO_LARGE", "Gov-Test-Scenario: DATE_RANGE_TOO_LARGE"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace calvenor::sandbox::test
