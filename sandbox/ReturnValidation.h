#pragma once

#include <array>
#include <string>
#include <string_view>

// The checks HMRC makes on a submitted nine-box return before it looks at the client's periods.
// Amounts are exact decimals: a JSON number's own text or a numeric string, never a double.
namespace calvenor::sandbox {

enum class AmountKind {
    Box1To4,  // two decimals, -9,999,999,999,999.99 … 9,999,999,999,999.99
    Box5,     // two decimals, 0 … 99,999,999,999.99
    Box6To9,  // whole pounds, -9,999,999,999,999 … 9,999,999,999,999
};

enum class AmountParse { Ok, NotNumeric, Invalid };

// Reads "1234.5", "-0.50", "1e3", "+7" into pence. Invalid: numeric, but with too many decimals
// for its kind or out of its range.
AmountParse ParseAmount(std::string_view text, AmountKind kind, long long& pence);

struct ReturnCheck {
    int status = 0;    // 0 when the body passed; otherwise 400 or 403
    std::string body;  // HMRC's error body when it did not
    std::string periodKey;
    std::array<long long, 9> pence{};  // box 1 … box 9
};

// JSON syntax, the eleven members and their types, amount ranges, the period key's form, box 3
// = box 1 + box 2, box 5 = |box 3 - box 4|, and the declaration.
ReturnCheck CheckReturnBody(std::string_view body);

}  // namespace calvenor::sandbox
