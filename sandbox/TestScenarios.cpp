#include "TestScenarios.h"

#include <cstdio>

#include "SandboxModel.h"

namespace calvenor::sandbox {
namespace {

constexpr const char* kInsolvent = "The remote endpoint has indicated that the Trader is insolvent";

ScenarioAnswer Error(int status, const char* code, const char* message) {
    return ScenarioAnswer{status, code, message, {}};
}

Obligation Period(int year, int firstMonth, int months, const std::string& key, bool fulfilled) {
    Obligation o;
    o.start = CivilDate{year, firstMonth, 1};
    o.end = o.start.AddMonths(months - 1).LastDayOfMonth();
    o.due = DueDateFor(o.end);
    o.periodKey = key;
    o.fulfilled = fulfilled;
    if (fulfilled)
        o.received = o.due.AddDays(-1);
    return o;
}

std::string QuarterKey(int year, int quarter) {
    char key[16];
    std::snprintf(key, sizeof key, "%02dA%d", year % 100, quarter);
    return key;
}

std::string MonthKey(int year, int month) {
    char key[16];
    std::snprintf(key, sizeof key, "%02dA%c", year % 100, "ABCDEFGHIJKL"[month - 1]);
    return key;
}

// Quarters of `year` 1..count, the first `met` fulfilled.
std::vector<Obligation> Quarters(int year, int count, int met) {
    std::vector<Obligation> list;
    for (int q = 1; q <= count; ++q)
        list.push_back(Period(year, q * 3 - 2, 3, QuarterKey(year, q), q <= met));
    return list;
}

std::vector<Obligation> Months(int year, int first, int count, int met) {
    std::vector<Obligation> list;
    for (int m = first; m < first + count; ++m)
        list.push_back(Period(year, m, 1, MonthKey(year, m), m - first < met));
    return list;
}

// "MONTHLY_OBS_07_OPEN" -> 7 when it lies in 1..max.
std::optional<int> NumberedScenario(std::string_view name, std::string_view prefix, int max) {
    constexpr std::string_view suffix = "_OPEN";
    if (name.size() != prefix.size() + 2 + suffix.size() ||
        name.substr(0, prefix.size()) != prefix || name.substr(prefix.size() + 2) != suffix)
        return std::nullopt;
    const char tens = name[prefix.size()], units = name[prefix.size() + 1];
    if (tens < '0' || tens > '9' || units < '0' || units > '9')
        return std::nullopt;
    const int n = (tens - '0') * 10 + (units - '0');
    if (n < 1 || n > max)
        return std::nullopt;
    return n;
}

AccountScenarioAnswer Account(std::vector<Liability> liabilities, std::vector<Payment> payments) {
    return AccountScenarioAnswer{200, "", "", std::move(liabilities), std::move(payments)};
}

// A return debit charge for `months` months from the first of `firstMonth`.
Liability Charge(int year, int firstMonth, int months, std::int64_t original,
                 std::int64_t outstanding) {
    const Obligation period = Period(year, firstMonth, months, "", true);
    Liability charge = ChargeFor(period, original, 0);
    charge.outstandingPence = outstanding;
    return charge;
}

Payment Paid(std::int64_t pence, int year, int month, int day) {
    return Payment{pence, CivilDate{year, month, day}, ""};
}

}  // namespace

std::optional<ScenarioAnswer> ObligationsScenario(std::string_view name) {
    static const char* const quarterly[] = {"QUARTERLY_NONE_MET", "QUARTERLY_ONE_MET",
                                            "QUARTERLY_TWO_MET", "QUARTERLY_THREE_MET",
                                            "QUARTERLY_FOUR_MET"};
    static const char* const monthly[] = {"MONTHLY_NONE_MET", "MONTHLY_ONE_MET", "MONTHLY_TWO_MET",
                                          "MONTHLY_THREE_MET"};
    for (int met = 0; met < 5; ++met)
        if (name == quarterly[met])
            return ScenarioAnswer{200, "", "", Quarters(2017, 4, met)};
    for (int met = 0; met < 4; ++met)
        if (name == monthly[met])
            return ScenarioAnswer{200, "", "", Months(2017, 1, 4, met)};
    if (const auto month = NumberedScenario(name, "MONTHLY_OBS_", 12))
        return ScenarioAnswer{200, "", "", Months(2018, 1, *month, *month - 1)};
    if (name == "MONTHLY_OBS_12_FULFILLED")
        return ScenarioAnswer{200, "", "", Months(2018, 1, 12, 12)};
    if (const auto quarter = NumberedScenario(name, "QUARTERLY_OBS_", 4))
        return ScenarioAnswer{200, "", "", Quarters(2018, *quarter, *quarter - 1)};
    if (name == "QUARTERLY_OBS_04_FULFILLED")
        return ScenarioAnswer{200, "", "", Quarters(2018, 4, 4)};
    if (name == "MULTIPLE_OPEN_MONTHLY")
        return ScenarioAnswer{200, "", "", Months(2018, 1, 3, 1)};
    if (name == "MULTIPLE_OPEN_QUARTERLY")
        return ScenarioAnswer{200, "", "", Quarters(2018, 3, 1)};
    if (name == "OBS_SPANS_MULTIPLE_YEARS")
        return ScenarioAnswer{200, "", "", {Period(2018, 11, 3, "18AX", false)}};
    if (name == "INSOLVENT_TRADER")
        return Error(403, "RULE_INSOLVENT_TRADER", kInsolvent);
    if (name == "NOT_FOUND")
        return Error(404, "NOT_FOUND", "The requested resource could not be found");
    return std::nullopt;
}

std::optional<ScenarioAnswer> SubmitReturnScenario(std::string_view name) {
    if (name == "INVALID_VRN")
        return Error(400, "VRN_INVALID", "The provided VRN is invalid");
    if (name == "INVALID_PERIODKEY")
        return Error(400, "PERIOD_KEY_INVALID", "Invalid period key");
    if (name == "INVALID_PAYLOAD")
        return Error(400, "INVALID_REQUEST", "Invalid request");
    if (name == "DUPLICATE_SUBMISSION")
        return Error(403, "DUPLICATE_SUBMISSION",
                     "The VAT return was already submitted for the given period");
    if (name == "TAX_PERIOD_NOT_ENDED")
        return Error(403, "TAX_PERIOD_NOT_ENDED",
                     "The remote endpoint has indicated that the submission is for a tax period "
                     "that has not ended");
    if (name == "INSOLVENT_TRADER")
        return Error(403, "RULE_INSOLVENT_TRADER", kInsolvent);
    return std::nullopt;
}

std::optional<ScenarioAnswer> ViewReturnScenario(std::string_view name) {
    if (name == "DATE_RANGE_TOO_LARGE")
        return Error(403, "DATE_RANGE_TOO_LARGE",
                     "The date of the requested return cannot be further than four years from the "
                     "current date");
    if (name == "INSOLVENT_TRADER")
        return Error(403, "RULE_INSOLVENT_TRADER", kInsolvent);
    return std::nullopt;
}

std::optional<AccountScenarioAnswer> LiabilitiesScenario(std::string_view name) {
    if (name == "SINGLE_LIABILITY")
        return Account({Charge(2017, 1, 1, 1500000, 0)}, {});
    if (name == "MULTIPLE_LIABILITIES")
        return Account({Charge(2017, 4, 3, 600030, 10051), Charge(2017, 7, 3, 712345, 712345),
                        Charge(2017, 10, 1, 98765, 0)},
                       {});
    if (name == "SINGLE_LIABILITY_2018_19")
        return Account({Charge(2018, 1, 1, 1500000, 0)}, {});
    if (name == "MULTIPLE_LIABILITIES_2018_19")
        return Account({Charge(2018, 4, 3, 600030, 10051), Charge(2018, 7, 3, 712345, 712345),
                        Charge(2018, 10, 1, 98765, 0)},
                       {});
    if (name == "INSOLVENT_TRADER")
        return AccountScenarioAnswer{403, "RULE_INSOLVENT_TRADER", kInsolvent, {}, {}};
    return std::nullopt;
}

std::optional<AccountScenarioAnswer> PaymentsScenario(std::string_view name) {
    if (name == "SINGLE_PAYMENT")
        return Account({}, {Paid(1500000, 2017, 1, 15)});
    if (name == "MULTIPLE_PAYMENTS")
        return Account(
            {}, {Paid(500000, 2017, 2, 28), Paid(589979, 2017, 8, 4), Paid(98765, 2017, 12, 1)});
    if (name == "SINGLE_PAYMENT_2018_19")
        return Account({}, {Paid(1500000, 2018, 1, 15)});
    if (name == "MULTIPLE_PAYMENTS_2018_19")
        return Account(
            {}, {Paid(500000, 2018, 2, 28), Paid(589979, 2018, 8, 4), Paid(98765, 2018, 12, 1)});
    if (name == "INSOLVENT_TRADER")
        return AccountScenarioAnswer{403, "RULE_INSOLVENT_TRADER", kInsolvent, {}, {}};
    return std::nullopt;
}

}  // namespace calvenor::sandbox
