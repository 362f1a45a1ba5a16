#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// HMRC's answers about a client's account: what it charged (liabilities) and what it received
// (payments). Amounts are pence, read from the digits HMRC sent, never through floating point.

struct Liability {
    std::string type;                  // the charge type as HMRC names it
    std::string periodFrom, periodTo;  // its tax period, YYYY-MM-DD; empty when HMRC gave none
    std::string due;                   // YYYY-MM-DD; empty when HMRC gave none
    std::int64_t originalPence = 0;
    std::optional<std::int64_t> outstandingPence;
};

struct Payment {
    std::int64_t amountPence = 0;
    std::string received;  // YYYY-MM-DD; empty when HMRC gave none
};

// False, the list unusable, unless `body` is the answer's object holding its array of complete
// entries, every amount with at most two decimals and every date YYYY-MM-DD.
bool ReadLiabilities(const std::string& body, std::vector<Liability>& list);
bool ReadPayments(const std::string& body, std::vector<Payment>& list);

// An amount HMRC sent, from a document parsed with kParseNumbersAsStringsFlag: its digits as
// pence; false for anything but a plain decimal number with at most two significant decimals,
// or a fraction of a pound where `wholePounds` asks for none.
bool ReadJsonAmount(const rapidjson::Value& value, std::int64_t& pence, bool wholePounds = false);
