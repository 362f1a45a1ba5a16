// One typed or imported figure text through validation, padding, truncation and pence.
#include <cstring>

#include "FigureRules.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = calvenor::fuzz::Text(data, size);

    // Any amount in pence reads back from its text unchanged.
    if (size >= sizeof(std::int64_t)) {
        std::int64_t pence = 0;
        std::memcpy(&pence, data, sizeof pence);
        const std::string shown = PenceToText(pence);
        std::int64_t back = 0;
        FUZZ_CHECK(IsValidFigureText(shown));
        FUZZ_CHECK(TextToPence(shown, back) && back == pence);
    }

    std::int64_t pence = 0;
    const bool hasPence = TextToPence(text, pence);
    if (hasPence) {
        std::int64_t back = 0;
        FUZZ_CHECK(TextToPence(PenceToText(pence), back) && back == pence);
    }
    if (!IsValidFigureText(text))
        return 0;

    // Padding keeps a valid text valid and its amount unchanged.
    std::string padded = text;
    const bool show = PadToTwoDecimals(padded);
    FUZZ_CHECK(IsValidFigureText(padded));
    // Always a digit before the point and two decimals; not shown only when unchanged or cut.
    const auto point = padded.find('.');
    FUZZ_CHECK(point != std::string::npos && point > (padded.front() == '-' ? 1U : 0U) &&
               padded.size() - point == 3);
    const auto typedPoint = text.find('.');
    FUZZ_CHECK(show || padded == text ||
               (typedPoint != std::string::npos && text.size() - typedPoint > 3));
    std::int64_t paddedPence = 0;
    if (hasPence) {
        FUZZ_CHECK(TextToPence(padded, paddedPence) && paddedPence == pence);
    }

    // Truncation leaves whole pounds: no point, still a valid figure.
    std::string whole = text;
    TruncateToWholePounds(whole);
    FUZZ_CHECK(IsValidFigureText(whole));
    FUZZ_CHECK(whole.find('.') == std::string::npos);
    return 0;
}
