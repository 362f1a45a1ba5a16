#include "ReturnValidation.h"

#include <rapidjson/document.h>

#include <cstdlib>
#include <vector>

#include "ApiJson.h"
#include "ReturnFigures.h"

namespace calvenor::sandbox {
namespace {

constexpr const char* kMonetary13 =
    "amount should be a monetary value (to 2 decimal places), between -9,999,999,999,999.99 and "
    "9,999,999,999,999.99";
constexpr const char* kMonetary11 =
    "amount should be a monetary value (to 2 decimal places), between 0 and 99,999,999,999.99";
constexpr const char* kWhole13 =
    "amount should be a monetary value (to 2 zeroed decimal places), between "
    "-9,999,999,999,999.00 and 9,999,999,999,999.00";

// How each box's amount is checked, in box order.
AmountKind KindOfBox(std::size_t box) {
    return box < 4 ? AmountKind::Box1To4 : box == 4 ? AmountKind::Box5 : AmountKind::Box6To9;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsValidPeriodKey(std::string_view key) {
    if (key.size() != 4)
        return false;
    for (char c : key)
        if (!(IsDigit(c) || (c >= 'A' && c <= 'Z') || c == '#'))
            return false;
    return true;
}

const char* MessageFor(AmountKind kind) {
    switch (kind) {
        case AmountKind::Box1To4:
            return kMonetary13;
        case AmountKind::Box5:
            return kMonetary11;
        case AmountKind::Box6To9:
            return kWhole13;
    }
    return kMonetary13;
}

}  // namespace

AmountParse ParseAmount(std::string_view text, AmountKind kind, long long& pence) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string digits;
    while (i < text.size() && IsDigit(text[i]))
        digits += text[i++];
    long long point = static_cast<long long>(digits.size());
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            digits += text[i++];
    }
    if (digits.empty())
        return AmountParse::NotNumeric;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        if (i >= text.size() || !IsDigit(text[i]))
            return AmountParse::NotNumeric;
        long long exponent = 0;
        while (i < text.size() && IsDigit(text[i])) {
            // Past a million the answer is out of range either way; stop growing.
            if (exponent < 1000000)
                exponent = exponent * 10 + (text[i] - '0');
            ++i;
        }
        point += negativeExponent ? -exponent : exponent;
    }
    if (i != text.size())
        return AmountParse::NotNumeric;

    // The value is 0.<digits> x 10^point once leading zeros are gone.
    std::size_t lead = 0;
    while (lead < digits.size() && digits[lead] == '0')
        ++lead;
    point -= static_cast<long long>(lead);
    digits.erase(0, lead);
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (digits.empty()) {
        pence = 0;
        return AmountParse::Ok;
    }
    const long long decimals = static_cast<long long>(digits.size()) - point;
    const long long maxDecimals = kind == AmountKind::Box6To9 ? 0 : 2;
    if (decimals > maxDecimals || point > 13)
        return AmountParse::Invalid;

    long long value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    for (long long k = decimals; k < 2; ++k)
        value *= 10;
    if (negative)
        value = -value;
    if (kind == AmountKind::Box5 && (value < 0 || value > 9'999'999'999'999LL))
        return AmountParse::Invalid;
    pence = value;
    return AmountParse::Ok;
}

ReturnCheck CheckReturnBody(std::string_view body) {
    ReturnCheck check;
    auto invalidRequest = [&check] {
        check.status = 400;
        check.body = ErrorBody("INVALID_REQUEST", "Invalid request");
        return check;
    };

    rapidjson::Document document;
    // Numbers stay as their text so amounts are judged exactly; iterative so no nesting depth
    // can exhaust the stack.
    document.Parse<rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseIterativeFlag>(
        body.data(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return invalidRequest();

    std::vector<FieldError> errors;
    auto missing = [&errors](const char* name) {
        errors.push_back(
            {"MISSING_FIELD", "a mandatory field is missing", std::string("/") + name});
    };

    const auto periodKey = document.FindMember("periodKey");
    bool periodKeyIsString = false;
    if (periodKey == document.MemberEnd()) {
        missing("periodKey");
    } else if (periodKey->value.IsString()) {
        periodKeyIsString = true;
        check.periodKey.assign(periodKey->value.GetString(), periodKey->value.GetStringLength());
    }

    for (std::size_t box = 0; box < kHmrcBoxNames.size(); ++box) {
        const char* name = kHmrcBoxNames[box];
        const auto found = document.FindMember(name);
        const std::string path = std::string("/") + name;
        if (found == document.MemberEnd()) {
            missing(name);
            continue;
        }
        if (!found->value.IsString()) {
            errors.push_back({"INVALID_NUMERIC_VALUE", "please provide a numeric field", path});
            continue;
        }
        const std::string_view text(found->value.GetString(), found->value.GetStringLength());
        switch (ParseAmount(text, KindOfBox(box), check.pence[box])) {
            case AmountParse::Ok:
                break;
            case AmountParse::NotNumeric:
                errors.push_back({"INVALID_NUMERIC_VALUE", "please provide a numeric field", path});
                break;
            case AmountParse::Invalid:
                errors.push_back({"INVALID_MONETARY_AMOUNT", MessageFor(KindOfBox(box)), path});
                break;
        }
    }

    const auto finalised = document.FindMember("finalised");
    if (finalised == document.MemberEnd())
        missing("finalised");
    else if (!finalised->value.IsBool())
        errors.push_back({"INVALID_BOOLEAN_VALUE", "please provide a boolean field", "/finalised"});

    if (!errors.empty()) {
        check.status = 400;
        check.body = WrappedErrorBody("INVALID_REQUEST", "Invalid request", errors);
        return check;
    }
    if (!periodKeyIsString || !IsValidPeriodKey(check.periodKey)) {
        check.status = 400;
        check.body = ErrorBody("PERIOD_KEY_INVALID", "Invalid period key");
        return check;
    }

    const auto& p = check.pence;
    std::vector<FieldError> business;
    if (p[2] != p[0] + p[1])
        business.push_back({"VAT_TOTAL_VALUE",
                            "totalVatDue should be equal to the sum of vatDueSales and "
                            "vatDueAcquisitions",
                            "/totalVatDue"});
    if (p[4] != std::llabs(p[2] - p[3]))
        business.push_back({"VAT_NET_VALUE",
                            "netVatDue should be the difference between the largest and the "
                            "smallest values among totalVatDue and vatReclaimedCurrPeriod",
                            "/netVatDue"});
    if (!business.empty()) {
        check.status = 400;
        check.body = WrappedErrorBody("BUSINESS_ERROR", "Business validation error", business);
        return check;
    }
    if (!finalised->value.GetBool()) {
        check.status = 403;
        check.body = ErrorBody("NOT_FINALISED", "User has not declared VAT return as final");
        return check;
    }
    return check;
}

}  // namespace calvenor::sandbox
