#include <regex>

#include "ReturnValidation.h"
#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::regex kUuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

// The valid 26A1 return with members replaced by the "name":value pairs of `edits`, or left out
// where the value is null.
std::string BodyWith(const std::string& edits) {
    std::string body = ValidReturnBody("26A1");
    const std::regex edit(R"re("(\w+)":("[^"]*"|[^,]+))re");
    for (std::sregex_iterator it(edits.begin(), edits.end(), edit), end; it != end; ++it) {
        const std::regex old("(,?)\"" + (*it)[1].str() + R"re(":("[^"]*"|[^,}]+))re");
        body = std::regex_replace(body, old, (*it)[2] == "null" ? "" : "$1" + it->str());
    }
    return body;
}

class Returns : public SandboxFixture {};

TEST_F(Returns, AcceptedReturnCarriesEveryReceiptMemberAndFulfilsThePeriod) {
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), Headers());
    ASSERT_EQ(answer.status, 201) << answer.body;
    EXPECT_TRUE(std::regex_match(answer.Header("X-CorrelationId").value_or(""), kUuid));
    EXPECT_TRUE(std::regex_match(answer.Header("Receipt-ID").value_or(""), kUuid));
    EXPECT_EQ(answer.Header("Receipt-Timestamp"), "2026-05-15T10:00:00Z");
    EXPECT_FALSE(answer.Header("Receipt-Signature").value_or("").empty());
    EXPECT_EQ(Member(answer.body, "processingDate"), "2026-05-15T10:00:00.000+0000");
    EXPECT_TRUE(std::regex_match(Member(answer.body, "formBundleNumber"), std::regex("[0-9]{12}")));
    EXPECT_EQ(Member(answer.body, "paymentIndicator"), "DD");
    EXPECT_TRUE(
        std::regex_match(Member(answer.body, "chargeRefNumber"), std::regex("[0-9A-Za-z]{1,16}")));

    const HttpAnswer filed = m_client.Get(
        ObligationsUrl(kQuarterlyClient.vrn, "?status=F&from=2026-01-01&to=2026-03-31"), Headers());
    EXPECT_NE(filed.body.find(R"("periodKey":"26A1","received":"2026-05-15")"), std::string::npos)
        << filed.body;

    // Viewing answers the figures as JSON numbers, without "finalised".
    const HttpAnswer view = m_client.Get(ReturnsUrl(kQuarterlyClient.vrn) + "/26A1", Headers());
    EXPECT_EQ(view.status, 200);
    EXPECT_EQ(
        view.body,
        R"({"periodKey":"26A1","vatDueSales":1234.50,"vatDueAcquisitions":0.00,"totalVatDue":1234.50,)"
        R"("vatReclaimedCurrPeriod":100.00,"netVatDue":1134.50,"totalValueSalesExVAT":6172,)"
        R"("totalValuePurchasesExVAT":500,"totalValueGoodsSuppliedExVAT":0,"totalAcquisitionsExVAT":0})");

    const auto returns = m_server->FiledReturns();
    ASSERT_EQ(returns.size(), 1u);
    EXPECT_EQ(returns[0].receiptId, answer.Header("Receipt-ID"));
    EXPECT_EQ(returns[0].requestBody, ValidReturnBody("26A1"));
}

TEST_F(Returns, HashKeyReturnIsViewedByItsEncodedKey) {
    ASSERT_EQ(
        m_client.Post(ReturnsUrl(kHashKeyClient.vrn), ValidReturnBody("#604"), Headers()).status,
        201);
    const std::string view = ReturnsUrl(kHashKeyClient.vrn) + "/%23";
    EXPECT_EQ(m_client.Get(view + "604", Headers()).status, 200);
    EXPECT_EQ(m_client.Get(view + "601", Headers()).status, 404);
    const HttpAnswer scenario = m_client.Get(view + "604", Headers("DATE_RANGE_TOO_LARGE"));
    EXPECT_EQ(scenario.status, 403);
    EXPECT_EQ(Member(scenario.body, "code"), "DATE_RANGE_TOO_LARGE");
}

struct SubmitCase {
    const char* name;
    const char* edits = "";
    int status = 201;
    const char* code = "DD";      // when accepted: the payment indicator
    const char* inner = nullptr;  // the first of "errors", about the first member edited
    std::string_view vrn = kQuarterlyClient.vrn;
    const char* scenario = nullptr;
};

class SubmitRules : public Returns, public ::testing::WithParamInterface<SubmitCase> {};

TEST_P(SubmitRules, AnswerAsHmrcDoesAndFileOnlyWhenAccepted) {
    const SubmitCase& c = GetParam();
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(c.vrn), BodyWith(c.edits), Headers(c.scenario));
    ASSERT_EQ(answer.status, c.status) << answer.body;
    EXPECT_TRUE(answer.Header("X-CorrelationId"));
    const auto doc = Parse(answer.body);
    ASSERT_TRUE(doc.IsObject()) << answer.body;
    if (c.status == 201) {
        EXPECT_EQ(Member(answer.body, "paymentIndicator"), c.code);
        EXPECT_EQ(doc.HasMember("chargeRefNumber"), std::string(c.code) == "DD");
        EXPECT_EQ(m_server->FiledReturns().size(), 1u);
        return;
    }
    EXPECT_EQ(Member(answer.body, "code"), c.code);
    EXPECT_NE(Member(answer.body, "message"), "<absent>");
    if (c.inner) {
        ASSERT_TRUE(doc.HasMember("errors") && doc["errors"].IsArray() && !doc["errors"].Empty())
            << answer.body;
        EXPECT_STREQ(doc["errors"][0]["code"].GetString(), c.inner);
        const std::string edits = c.edits;
        EXPECT_EQ(doc["errors"][0]["path"].GetString(),
                  "/" + edits.substr(1, edits.find('"', 1) - 1));
    } else {
        EXPECT_FALSE(doc.HasMember("errors")) << answer.body;
    }
    EXPECT_TRUE(m_server->FiledReturns().empty());
}

// HMRC's test scenarios refuse a good return without filing it.
SubmitCase Scenario(const char* name, int status, const char* code) {
    return {.name = name, .status = status, .code = code, .scenario = name};
}

using R = SubmitCase;
const char* kWrapped = "INVALID_REQUEST";
INSTANTIATE_TEST_SUITE_P(
    Sandbox, SubmitRules,
    ::testing::Values(
        R{"JsonNumbers", R"("vatDueSales":1234.5,"netVatDue":1134.50,"totalValueSalesExVAT":6172)"},
        R{"ExactDecimalArithmetic",
          R"("vatDueSales":0.1,"vatDueAcquisitions":0.2,"totalVatDue":0.3,"vatReclaimedCurrPeriod":0,"netVatDue":0.3)"},
        R{"WholePoundsWithZeroPence", R"("totalValueSalesExVAT":"6172.00")"},
        R{"Repayment", R"("vatReclaimedCurrPeriod":"2000.00","netVatDue":765.50)", 201, "BANK"},
        R{"NegativeBoxOne",
          R"("vatDueSales":"-100.00","totalVatDue":"-100.00","netVatDue":"200.00")", 201, "BANK"},
        R{"NothingOwed", R"("vatReclaimedCurrPeriod":"1234.50","netVatDue":"0.00")", 201,
          "<absent>"},
        R{"BoxFiveNegative", R"("netVatDue":"-1134.50")", 400, kWrapped, "INVALID_MONETARY_AMOUNT"},
        R{"PenceInBoxSix", R"("totalValueSalesExVAT":"6172.50")", 400, kWrapped,
          "INVALID_MONETARY_AMOUNT"},
        R{"TextInBoxSeven", R"("totalValuePurchasesExVAT":"five hundred")", 400, kWrapped,
          "INVALID_NUMERIC_VALUE"},
        R{"BooleanInBoxEight", R"("totalValueGoodsSuppliedExVAT":true)", 400, kWrapped,
          "INVALID_NUMERIC_VALUE"},
        R{"MissingBoxNine", R"("totalAcquisitionsExVAT":null)", 400, kWrapped, "MISSING_FIELD"},
        R{"MissingFinalised", R"("finalised":null)", 400, kWrapped, "MISSING_FIELD"},
        R{"FinalisedAsText", R"("finalised":"true")", 400, kWrapped, "INVALID_BOOLEAN_VALUE"},
        R{"NotFinalised", R"("finalised":false)", 403, "NOT_FINALISED"},
        R{"LowerCasePeriodKey", R"("periodKey":"26a1")", 400, "PERIOD_KEY_INVALID"},
        R{"ShortPeriodKey", R"("periodKey":"26A")", 400, "PERIOD_KEY_INVALID"},
        R{"UnknownPeriodKey", R"("periodKey":"99Z9")", 400, "PERIOD_KEY_INVALID"},
        R{"FiledPeriodKey", R"("periodKey":"25A4")", 403, "DUPLICATE_SUBMISSION"},
        R{"PeriodNotEnded", R"("periodKey":"26A2")", 403, "TAX_PERIOD_NOT_ENDED"},
        R{"BoxThreeNotTheSum", R"("totalVatDue":"1234.51","netVatDue":"1134.51")", 400,
          "BUSINESS_ERROR", "VAT_TOTAL_VALUE"},
        R{"BoxFiveNotTheDifference", R"("netVatDue":"1134.49")", 400, "BUSINESS_ERROR",
          "VAT_NET_VALUE"},
        R{.name = "NotAuthorised",
          .status = 403,
          .code = "CLIENT_OR_AGENT_NOT_AUTHORISED",
          .vrn = kNotAuthorisedClient.vrn},
        R{.name = "TenDigitVrn", .status = 400, .code = "VRN_INVALID", .vrn = "1000000011"},
        Scenario("INVALID_VRN", 400, "VRN_INVALID"),
        Scenario("INVALID_PERIODKEY", 400, "PERIOD_KEY_INVALID"),
        Scenario("INVALID_PAYLOAD", 400, "INVALID_REQUEST"),
        Scenario("DUPLICATE_SUBMISSION", 403, "DUPLICATE_SUBMISSION"),
        Scenario("TAX_PERIOD_NOT_ENDED", 403, "TAX_PERIOD_NOT_ENDED"),
        Scenario("INSOLVENT_TRADER", 403, "RULE_INSOLVENT_TRADER")),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Returns, BodiesThatAreNotAReturnObject) {
    for (const std::string body :
         {"{", "[]", "", "\"text\"",
          "{\"a\":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]}"}) {
        const HttpAnswer answer = m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), body, Headers());
        EXPECT_EQ(answer.status, 400) << body;
        EXPECT_EQ(Member(answer.body, "code"), "INVALID_REQUEST") << body;
    }
    EXPECT_TRUE(m_server->FiledReturns().empty());
}

struct AmountCase {
    const char* text;
    AmountKind kind;
    AmountParse result;
    long long pence;
};

class Amounts : public ::testing::TestWithParam<AmountCase> {};

TEST_P(Amounts, ParseExactly) {
    long long pence = -12345;
    EXPECT_EQ(ParseAmount(GetParam().text, GetParam().kind, pence), GetParam().result);
    if (GetParam().result == AmountParse::Ok) {
        EXPECT_EQ(pence, GetParam().pence);
    }
}

using enum AmountKind;
using enum AmountParse;
INSTANTIATE_TEST_SUITE_P(
    Sandbox, Amounts,
    ::testing::Values(
        AmountCase{"1234.50", Box1To4, Ok, 123450}, AmountCase{"-0.01", Box1To4, Ok, -1},
        AmountCase{"1.000", Box1To4, Ok, 100}, AmountCase{".5", Box1To4, Ok, 50},
        AmountCase{"+7", Box1To4, Ok, 700}, AmountCase{"1e3", Box6To9, Ok, 100000},
        AmountCase{"12.5E-1", Box1To4, Ok, 125}, AmountCase{"0e99999999999", Box6To9, Ok, 0},
        AmountCase{"9999999999999.99", Box1To4, Ok, 999999999999999},
        AmountCase{"-9999999999999", Box6To9, Ok, -999999999999900},
        AmountCase{"99999999999.99", Box5, Ok, 9999999999999}, AmountCase{"-0.00", Box5, Ok, 0},
        AmountCase{"1.005", Box1To4, Invalid, 0}, AmountCase{"10000000000000", Box1To4, Invalid, 0},
        AmountCase{"1e400", Box6To9, Invalid, 0}, AmountCase{"1e-400", Box1To4, Invalid, 0},
        AmountCase{"100000000000", Box5, Invalid, 0}, AmountCase{"-0.01", Box5, Invalid, 0},
        AmountCase{"0.5", Box6To9, Invalid, 0}, AmountCase{"", Box1To4, NotNumeric, 0},
        AmountCase{"-", Box1To4, NotNumeric, 0}, AmountCase{"1,000", Box1To4, NotNumeric, 0},
        AmountCase{" 1", Box1To4, NotNumeric, 0}, AmountCase{"1e", Box1To4, NotNumeric, 0},
        AmountCase{"0x10", Box1To4, NotNumeric, 0}));

}  // namespace
}  // namespace calvenor::sandbox::test
