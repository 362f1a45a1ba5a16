#include "Money.h"

#include <limits>

bool ReadWholeNumber(const std::string& text, std::int64_t& value) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulated as a negative number, so the most negative value reads too.
    std::int64_t result = 0;
    bool anyDigit = false;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (result < (kMin + digit) / 10)
            return false;
        result = result * 10 - digit;
        anyDigit = true;
    }
    if (!anyDigit)
        return false;
    if (!negative) {
        if (result == kMin)
            return false;
        result = -result;
    }
    value = result;
    return true;
}

bool TextToPence(const std::string& text, std::int64_t& pence) {
    const std::size_t point = text.find('.');
    if (point == std::string::npos) {
        std::int64_t pounds = 0;
        if (!ReadWholeNumber(text, pounds))
            return false;
        constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 100;
        if (pounds > kLimit || pounds < -kLimit)
            return false;
        pence = pounds * 100;
        return true;
    }
    std::string decimals = text.substr(point + 1);
    if (decimals.size() > 2)
        decimals.resize(2);
    while (decimals.size() < 2)
        decimals += '0';
    return ReadWholeNumber(text.substr(0, point) + decimals, pence);
}

std::string PenceToText(std::int64_t pence) {
    // The magnitude as unsigned, so the most negative amount has one too.
    const std::uint64_t magnitude =
        pence < 0 ? 0 - static_cast<std::uint64_t>(pence) : static_cast<std::uint64_t>(pence);
    const unsigned hundredths = static_cast<unsigned>(magnitude % 100);
    std::string text = pence < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += '.';
    text += static_cast<char>('0' + hundredths / 10);
    text += static_cast<char>('0' + hundredths % 10);
    return text;
}
