#include "VatReturnAnswer.h"

#include <rapidjson/document.h>

#include <array>
#include <cstdint>
#include <regex>
#include <utility>

#include "Money.h"

namespace {

// An amount as sent: a number (read as its digits) or a numeric string, never with an exponent.
bool ReadAmount(const rapidjson::Value& value, std::int64_t& pence, bool wholePounds) {
    if (!value.IsString())
        return false;
    const std::string text(value.GetString(), value.GetStringLength());
    static const std::regex kAmount(R"(-?[0-9]+(\.[0-9]+)?)");
    if (!std::regex_match(text, kAmount))
        return false;
    const auto point = text.find('.');
    const std::string decimals = point == std::string::npos ? "" : text.substr(point + 1);
    // More decimals than HMRC keeps would be cut by the figure rules: refuse rather than change it.
    if (decimals.find_first_not_of('0', 2) != std::string::npos)
        return false;
    if (!TextToPence(text, pence))
        return false;
    return !wholePounds || pence % 100 == 0;
}

}  // namespace

bool ReadVatReturn(const std::string& body, VatReturnRecord& record) {
    rapidjson::Document document;
    // Numbers as the digits sent, so no amount passes through a double.
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(
        body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return false;
    const auto key = document.FindMember("periodKey");
    if (key == std::as_const(document).MemberEnd() || !key->value.IsString())
        return false;
    record.periodKey.assign(key->value.GetString(), key->value.GetStringLength());
    for (std::size_t box = 0; box < kHmrcBoxNames.size(); ++box) {
        const auto member = document.FindMember(kHmrcBoxNames[box]);
        const bool wholePounds = box >= 5;
        std::int64_t pence = 0;
        if (member == std::as_const(document).MemberEnd() ||
            !ReadAmount(member->value, pence, wholePounds))
            return false;
        record.boxes[box] = wholePounds ? std::to_string(pence / 100) : PenceToText(pence);
    }
    return true;
}

bool SameAmounts(const BoxTexts& a, const BoxTexts& b) {
    for (std::size_t box = 0; box < a.size(); ++box) {
        std::int64_t x = 0, y = 0;
        if (!TextToPence(a[box], x) || !TextToPence(b[box], y) || x != y)
            return false;
    }
    return true;
}
