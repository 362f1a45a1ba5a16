#include <optional>
#include <regex>
#include <utility>

#include "ReturnValidation.h"
#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::regex kUuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

// The valid return of ValidReturnBody, member by member, as raw JSON values.
std::vector<std::pair<std::string, std::string>> ValidMembers(const std::string& periodKey) {
    return {{"periodKey", "\"" + periodKey + "\""},
            {"vatDueSales", "\"1234.50\""},
            {"vatDueAcquisitions", "\"0.00\""},
            {"totalVatDue", "\"1234.50\""},
            {"vatReclaimedCurrPeriod", "\"100.00\""},
            {"netVatDue", "\"1134.50\""},
            {"totalValueSalesExVAT", "\"6172\""},
            {"totalValuePurchasesExVAT", "\"500\""},
            {"totalValueGoodsSuppliedExVAT", "\"0\""},
            {"totalAcquisitionsExVAT", "\"0\""},
            {"finalised", "true"}};
}

using Overrides = std::vector<std::pair<std::string, std::optional<std::string>>>;

std::string BodyWith(const Overrides& overrides, const std::string& periodKey = "26A1") {
    auto members = ValidMembers(periodKey);
    for (const auto& [name, value] : overrides) {
        auto it = std::find_if(members.begin(), members.end(),
                               [&](const auto& m) { return m.first == name; });
        if (!value)
            members.erase(it);
        else
            it->second = *value;
    }
    std::string body = "{";
    for (const auto& [name, value] : members)
        body += (body.size() > 1 ? "," : "") + ("\"" + name + "\":" + value);
    return body + "}";
}

class Returns : public SandboxFixture {};

TEST_F(Returns, AcceptedReturnCarriesEveryReceiptMemberAndFulfilsThePeriod) {
    const HttpAnswer answer = m_client.Post(ReturnsUrl(kQuarterlyClient.vrn),
                                            ValidReturnBody("26A1"), VatHeaders(Token()));
    ASSERT_EQ(answer.status, 201) << answer.body;
    EXPECT_TRUE(std::regex_match(answer.Header("X-CorrelationId").value_or(""), kUuid));
    EXPECT_TRUE(std::regex_match(answer.Header("Receipt-ID").value_or(""), kUuid));
    EXPECT_EQ(answer.Header("Receipt-Timestamp"), "2026-05-15T10:00:00Z");
    EXPECT_FALSE(answer.Header("Receipt-Signature").value_or("").empty());
    EXPECT_TRUE(answer.Header("Date"));
    EXPECT_EQ(Member(answer.body, "processingDate"), "2026-05-15T10:00:00.000+0000");
    EXPECT_TRUE(std::regex_match(Member(answer.body, "formBundleNumber"), std::regex("[0-9]{12}")));
    EXPECT_EQ(Member(answer.body, "paymentIndicator"), "DD");
    EXPECT_TRUE(
        std::regex_match(Member(answer.body, "chargeRefNumber"), std::regex("[0-9A-Za-z]{1,16}")));

    const HttpAnswer open = m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), VatHeaders(Token()));
    EXPECT_EQ(open.body.find("26A1"), std::string::npos) << open.body;
    const HttpAnswer filed = m_client.Get(
        ObligationsUrl(kQuarterlyClient.vrn, "?status=F&from=2026-01-01&to=2026-03-31"),
        VatHeaders(Token()));
    EXPECT_NE(filed.body.find(R"("periodKey":"26A1","received":"2026-05-15")"), std::string::npos)
        << filed.body;

    const HttpAnswer view =
        m_client.Get(Url("/organisations/vat/100000001/returns/26A1"), VatHeaders(Token()));
    EXPECT_EQ(view.status, 200);
    EXPECT_EQ(
        view.body,
        R"({"periodKey":"26A1","vatDueSales":1234.50,"vatDueAcquisitions":0.00,"totalVatDue":1234.50,)"
        R"("vatReclaimedCurrPeriod":100.00,"netVatDue":1134.50,"totalValueSalesExVAT":6172,)"
        R"("totalValuePurchasesExVAT":500,"totalValueGoodsSuppliedExVAT":0,"totalAcquisitionsExVAT":0})");

    const HttpAnswer duplicate = m_client.Post(ReturnsUrl(kQuarterlyClient.vrn),
                                               ValidReturnBody("26A1"), VatHeaders(Token()));
    EXPECT_EQ(duplicate.status, 403);
    EXPECT_EQ(Member(duplicate.body, "code"), "DUPLICATE_SUBMISSION");

    const auto returns = m_server->FiledReturns();
    ASSERT_EQ(returns.size(), 1u);
    EXPECT_EQ(returns[0].receiptId, answer.Header("Receipt-ID"));
    EXPECT_EQ(returns[0].requestBody, ValidReturnBody("26A1"));
}

TEST_F(Returns, ReclaimAnswersBankWithoutChargeReference) {
    const std::string body =
        BodyWith({{"vatReclaimedCurrPeriod", "\"2000.00\""}, {"netVatDue", "765.50"}});
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), body, VatHeaders(Token()));
    ASSERT_EQ(answer.status, 201) << answer.body;
    EXPECT_EQ(Member(answer.body, "paymentIndicator"), "BANK");
    EXPECT_EQ(Member(answer.body, "chargeRefNumber"), "<absent>");
}

TEST_F(Returns, HashPeriodKeyFilesAndReadsBackEncoded) {
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kHashKeyClient.vrn), ValidReturnBody("#604"), VatHeaders(Token()));
    ASSERT_EQ(answer.status, 201) << answer.body;
    EXPECT_EQ(m_client.Get(Url("/organisations/vat/100000003/returns/%23604"), VatHeaders(Token()))
                  .status,
              200);
    EXPECT_EQ(m_client.Get(Url("/organisations/vat/100000003/returns/%23601"), VatHeaders(Token()))
                  .status,
              404);
}

TEST_F(Returns, CurrentPeriodHasNotEnded) {
    const HttpAnswer answer = m_client.Post(ReturnsUrl(kQuarterlyClient.vrn),
                                            ValidReturnBody("26A2"), VatHeaders(Token()));
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(Member(answer.body, "code"), "TAX_PERIOD_NOT_ENDED");
    EXPECT_TRUE(m_server->FiledReturns().empty());
}

TEST_F(Returns, NotAuthorisedClientAndBadVrnAreRefused) {
    EXPECT_EQ(Member(m_client
                         .Post(ReturnsUrl(kNotAuthorisedClient.vrn), ValidReturnBody("26A1"),
                               VatHeaders(Token()))
                         .body,
                     "code"),
              "CLIENT_OR_AGENT_NOT_AUTHORISED");
    EXPECT_EQ(
        Member(m_client.Post(ReturnsUrl("1000000011"), ValidReturnBody("26A1"), VatHeaders(Token()))
                   .body,
               "code"),
        "VRN_INVALID");
}

struct ValidationCase {
    const char* name;
    Overrides overrides;
    int status;
    const char* code;
    const char* innerCode = nullptr;  // first of "errors", when wrapped
    const char* path = nullptr;
};

class ReturnValidationRules : public Returns,
                              public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(ReturnValidationRules, AnswerWithHmrcsError) {
    const ValidationCase& c = GetParam();
    const HttpAnswer answer =
        m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), BodyWith(c.overrides), VatHeaders(Token()));
    EXPECT_EQ(answer.status, c.status) << answer.body;
    if (c.status == 201)
        return;
    const auto doc = Parse(answer.body);
    ASSERT_TRUE(doc.IsObject()) << answer.body;
    EXPECT_STREQ(doc["code"].GetString(), c.code);
    EXPECT_TRUE(doc["message"].IsString());
    if (c.innerCode) {
        ASSERT_TRUE(doc.HasMember("errors") && doc["errors"].IsArray() && !doc["errors"].Empty())
            << answer.body;
        EXPECT_STREQ(doc["errors"][0]["code"].GetString(), c.innerCode);
        EXPECT_STREQ(doc["errors"][0]["path"].GetString(), c.path);
    } else {
        EXPECT_FALSE(doc.HasMember("errors"));
    }
    EXPECT_TRUE(m_server->FiledReturns().empty());
}

const char* kWrapped = "INVALID_REQUEST";
INSTANTIATE_TEST_SUITE_P(
    Sandbox, ReturnValidationRules,
    ::testing::Values(
        ValidationCase{
            "JsonNumbersAccepted",
            {{"vatDueSales", "1234.5"}, {"netVatDue", "1134.50"}, {"totalValueSalesExVAT", "6172"}},
            201,
            ""},
        ValidationCase{"ExactDecimalArithmetic",
                       {{"vatDueSales", "0.1"},
                        {"vatDueAcquisitions", "0.2"},
                        {"totalVatDue", "0.3"},
                        {"vatReclaimedCurrPeriod", "0"},
                        {"netVatDue", "0.3"}},
                       201,
                       ""},
        ValidationCase{
            "WholePoundsWithZeroPence", {{"totalValueSalesExVAT", "\"6172.00\""}}, 201, ""},
        ValidationCase{"NegativeBoxOne",
                       {{"vatDueSales", "\"-100.00\""},
                        {"totalVatDue", "\"-100.00\""},
                        {"netVatDue", "\"200.00\""}},
                       201,
                       ""},
        ValidationCase{"ThreeDecimals",
                       {{"vatDueSales", "\"1234.505\""}},
                       400,
                       kWrapped,
                       "INVALID_MONETARY_AMOUNT",
                       "/vatDueSales"},
        ValidationCase{"BoxOneTooLarge",
                       {{"vatDueSales", "\"10000000000000.00\""}},
                       400,
                       kWrapped,
                       "INVALID_MONETARY_AMOUNT",
                       "/vatDueSales"},
        ValidationCase{"BoxFiveNegative",
                       {{"netVatDue", "\"-1134.50\""}},
                       400,
                       kWrapped,
                       "INVALID_MONETARY_AMOUNT",
                       "/netVatDue"},
        ValidationCase{"BoxFiveTooLarge",
                       {{"netVatDue", "\"100000000000.00\""}},
                       400,
                       kWrapped,
                       "INVALID_MONETARY_AMOUNT",
                       "/netVatDue"},
        ValidationCase{"PenceInBoxSix",
                       {{"totalValueSalesExVAT", "\"6172.50\""}},
                       400,
                       kWrapped,
                       "INVALID_MONETARY_AMOUNT",
                       "/totalValueSalesExVAT"},
        ValidationCase{"TextInBoxSeven",
                       {{"totalValuePurchasesExVAT", "\"five hundred\""}},
                       400,
                       kWrapped,
                       "INVALID_NUMERIC_VALUE",
                       "/totalValuePurchasesExVAT"},
        ValidationCase{"BooleanInBoxEight",
                       {{"totalValueGoodsSuppliedExVAT", "true"}},
                       400,
                       kWrapped,
                       "INVALID_NUMERIC_VALUE",
                       "/totalValueGoodsSuppliedExVAT"},
        ValidationCase{"MissingBoxNine",
                       {{"totalAcquisitionsExVAT", std::nullopt}},
                       400,
                       kWrapped,
                       "MISSING_FIELD",
                       "/totalAcquisitionsExVAT"},
        ValidationCase{"MissingFinalised",
                       {{"finalised", std::nullopt}},
                       400,
                       kWrapped,
                       "MISSING_FIELD",
                       "/finalised"},
        ValidationCase{"FinalisedAsText",
                       {{"finalised", "\"true\""}},
                       400,
                       kWrapped,
                       "INVALID_BOOLEAN_VALUE",
                       "/finalised"},
        ValidationCase{"NotFinalised", {{"finalised", "false"}}, 403, "NOT_FINALISED"},
        ValidationCase{
            "LowerCasePeriodKey", {{"periodKey", "\"26a1\""}}, 400, "PERIOD_KEY_INVALID"},
        ValidationCase{"ShortPeriodKey", {{"periodKey", "\"26A\""}}, 400, "PERIOD_KEY_INVALID"},
        ValidationCase{"UnknownPeriodKey", {{"periodKey", "\"99Z9\""}}, 400, "PERIOD_KEY_INVALID"},
        ValidationCase{"FiledPeriodKey", {{"periodKey", "\"25A4\""}}, 403, "DUPLICATE_SUBMISSION"},
        ValidationCase{"BoxThreeNotTheSum",
                       {{"totalVatDue", "\"1234.51\""}, {"netVatDue", "\"1134.51\""}},
                       400,
                       "BUSINESS_ERROR",
                       "VAT_TOTAL_VALUE",
                       "/totalVatDue"},
        ValidationCase{"BoxFiveNotTheDifference",
                       {{"netVatDue", "\"1134.49\""}},
                       400,
                       "BUSINESS_ERROR",
                       "VAT_NET_VALUE",
                       "/netVatDue"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Returns, BodiesThatAreNotAReturnObject) {
    for (const std::string body :
         {"{", "[]", "", "\"text\"",
          "{\"a\":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]}"}) {
        const HttpAnswer answer =
            m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), body, VatHeaders(Token()));
        EXPECT_EQ(answer.status, 400) << body;
        EXPECT_EQ(Member(answer.body, "code"), "INVALID_REQUEST") << body;
    }
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
    EXPECT_EQ(ParseAmount(GetParam().text, GetParam().kind, pence), GetParam().result)
        << GetParam().text;
    if (GetParam().result == AmountParse::Ok) {
        EXPECT_EQ(pence, GetParam().pence) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, Amounts,
    ::testing::Values(
        AmountCase{"1234.50", AmountKind::Box1To4, AmountParse::Ok, 123450},
        AmountCase{"-0.01", AmountKind::Box1To4, AmountParse::Ok, -1},
        AmountCase{"1.000", AmountKind::Box1To4, AmountParse::Ok, 100},
        AmountCase{".5", AmountKind::Box1To4, AmountParse::Ok, 50},
        AmountCase{"+7", AmountKind::Box1To4, AmountParse::Ok, 700},
        AmountCase{"1e3", AmountKind::Box6To9, AmountParse::Ok, 100000},
        AmountCase{"12.5E-1", AmountKind::Box1To4, AmountParse::Ok, 125},
        AmountCase{"0e99999999999", AmountKind::Box6To9, AmountParse::Ok, 0},
        AmountCase{"9999999999999.99", AmountKind::Box1To4, AmountParse::Ok, 999999999999999},
        AmountCase{"-9999999999999", AmountKind::Box6To9, AmountParse::Ok, -999999999999900},
        AmountCase{"99999999999.99", AmountKind::Box5, AmountParse::Ok, 9999999999999},
        AmountCase{"-0.00", AmountKind::Box5, AmountParse::Ok, 0},
        AmountCase{"1.005", AmountKind::Box1To4, AmountParse::Invalid, 0},
        AmountCase{"10000000000000", AmountKind::Box1To4, AmountParse::Invalid, 0},
        AmountCase{"1e400", AmountKind::Box6To9, AmountParse::Invalid, 0},
        AmountCase{"1e-400", AmountKind::Box1To4, AmountParse::Invalid, 0},
        AmountCase{"100000000000", AmountKind::Box5, AmountParse::Invalid, 0},
        AmountCase{"-0.01", AmountKind::Box5, AmountParse::Invalid, 0},
        AmountCase{"0.5", AmountKind::Box6To9, AmountParse::Invalid, 0},
        AmountCase{"", AmountKind::Box1To4, AmountParse::NotNumeric, 0},
        AmountCase{"-", AmountKind::Box1To4, AmountParse::NotNumeric, 0},
        AmountCase{"1,000", AmountKind::Box1To4, AmountParse::NotNumeric, 0},
        AmountCase{" 1", AmountKind::Box1To4, AmountParse::NotNumeric, 0},
        AmountCase{"1e", AmountKind::Box1To4, AmountParse::NotNumeric, 0},
        AmountCase{"0x10", AmountKind::Box1To4, AmountParse::NotNumeric, 0}));

}  // namespace
}  // namespace calvenor::sandbox::test
