#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvenor::sandbox {

// A calendar date; HMRC writes it "YYYY-MM-DD".
struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;

    auto operator<=>(const CivilDate&) const = default;

    std::string ToString() const;  // "2026-03-31"
    // Parses exactly "YYYY-MM-DD" naming a real date.
    static std::optional<CivilDate> Parse(std::string_view text);
    static CivilDate FromSysDays(std::chrono::sys_days days);
    std::chrono::sys_days ToSysDays() const;
    CivilDate AddDays(int days) const;
    // The same day `months` later, clamped to the month's last day (31 Jan + 1 month = 28 Feb).
    CivilDate AddMonths(int months) const;
    CivilDate LastDayOfMonth() const;
};

enum class Frequency { Quarterly, Monthly };

struct Obligation {
    CivilDate start;
    CivilDate end;
    CivilDate due;
    bool fulfilled = false;             // status "F"; otherwise "O"
    std::string periodKey;              // four characters of [#0-9A-Z]
    std::optional<CivilDate> received;  // only for fulfilled obligations

    bool operator==(const Obligation&) const = default;
};

// One accepted return, with the receipt the sandbox answered.
struct FiledReturn {
    std::string vrn;
    std::string periodKey;
    std::string requestBody;       // as received
    std::string processingDate;    // "2026-04-02T10:15:30.123+0000"
    std::string formBundleNumber;  // 12 digits
    std::string receiptId;         // UUID
    std::string correlationId;     // UUID
    std::string receiptTimestamp;  // "2026-04-02T10:15:30Z"
    std::string paymentIndicator;  // "DD", "BANK" or empty
    std::string chargeRefNumber;   // only when VAT is owed
    // The nine figures in pence as filed (box 6 to 9 are whole pounds times 100).
    std::vector<long long> boxesInPence;
    bool seeded = false;  // part of the demo data: never sent, not among the accepted returns
};

// A charge on the client's VAT account, raised by a filed return.
struct Liability {
    std::string type;       // "VAT Return Debit Charge"
    std::string periodKey;  // of the return that raised it; payments are allocated by it
    CivilDate from, to;     // the tax period
    CivilDate due;
    std::int64_t originalPence = 0;
    std::int64_t outstandingPence = 0;  // the original less the payments allocated to it

    bool operator==(const Liability&) const = default;
};

// Money the client paid towards one liability.
struct Payment {
    std::int64_t amountPence = 0;
    CivilDate received;
    std::string periodKey;  // the liability it was allocated to

    bool operator==(const Payment&) const = default;
};

}  // namespace calvenor::sandbox
