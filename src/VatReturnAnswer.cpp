#include "VatReturnAnswer.h"

#include <rapidjson/document.h>

#include <array>
#include <cstdint>
#include <utility>

#include "AccountAnswers.h"
#include "Money.h"

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
            !ReadJsonAmount(member->value, pence, wholePounds))
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
