#include "SandboxModel.h"

#include <algorithm>
#include <cstdio>

#include "SandboxServer.h"

namespace calvenor::sandbox {
namespace {

int MonthIndex(const CivilDate& date) {
    return date.year * 12 + (date.month - 1);
}
CivilDate FirstDayOfIndex(int index) {
    return CivilDate{index / 12, index % 12 + 1, 1};
}

std::string PeriodKey(PeriodKeyStyle style, const CivilDate& end) {
    char key[32];
    const int yy = end.year % 100;
    switch (style) {
        case PeriodKeyStyle::Quarterly:
            std::snprintf(key, sizeof key, "%02dA%d", yy, (end.month - 1) / 3 + 1);
            break;
        case PeriodKeyStyle::Monthly:
            std::snprintf(key, sizeof key, "%02dM%c", yy, "123456789ABC"[end.month - 1]);
            break;
        case PeriodKeyStyle::Hash:
            std::snprintf(key, sizeof key, "#%03d", (end.year % 10) * 100 + end.month);
            break;
    }
    return key;
}

// A filed return, its charge and payments for every filed period of a seeded client, so the
// account has history: the latest charge is part paid, the earlier ones paid in full.
void SeedAccount(ClientCompany& client, const CivilDate& today, std::vector<FiledReturn>& filed) {
    static constexpr std::int64_t sales[] = {412350, 538010, 296575, 610000};
    static constexpr std::int64_t reclaimed[] = {98720, 120045, 75010, 143230};
    std::erase_if(filed, [&](const FiledReturn& f) { return f.seeded && f.vrn == client.vrn; });
    client.liabilities.clear();
    client.payments.clear();
    std::vector<const Obligation*> done;
    for (const Obligation& o : client.obligations)
        if (o.fulfilled && o.received)
            done.push_back(&o);
    for (std::size_t n = 0; n < done.size(); ++n) {
        const Obligation& o = *done[n];
        const std::int64_t s = sales[n % 4], r = reclaimed[n % 4];
        FiledReturn f;
        f.vrn = client.vrn;
        f.periodKey = o.periodKey;
        f.processingDate = o.received->ToString() + "T10:00:00.000+0000";
        f.formBundleNumber = client.vrn.substr(0, 9) + std::to_string(100 + n);
        f.paymentIndicator = "DD";
        f.boxesInPence = {s, 0, s, r, s - r, s * 5 / 100 * 100, r * 5 / 100 * 100, 0, 0};
        f.seeded = true;
        filed.push_back(f);
        client.liabilities.push_back(ChargeFor(o, s, r));
        const CivilDate paid = std::min(o.received->AddDays(10), today);
        AllocatePayment(client, o.periodKey, n + 1 < done.size() ? s - r : (s - r) / 2, paid);
    }
}

}  // namespace

Liability ChargeFor(const Obligation& period, std::int64_t totalVatDue, std::int64_t reclaimed) {
    const std::int64_t net = totalVatDue - reclaimed;
    return Liability{net < 0 ? "VAT Return Credit Charge" : "VAT Return Debit Charge",
                     period.periodKey,
                     period.start,
                     period.end,
                     DueDateFor(period.end),
                     net,
                     net};
}

bool AllocatePayment(ClientCompany& client, const std::string& periodKey, std::int64_t pence,
                     const CivilDate& received) {
    const auto charge = std::find_if(client.liabilities.begin(), client.liabilities.end(),
                                     [&](const Liability& l) { return l.periodKey == periodKey; });
    if (charge == client.liabilities.end())
        return false;
    charge->outstandingPence -= pence;
    client.payments.push_back(Payment{pence, received, periodKey});
    return true;
}

CivilDate DueDateFor(const CivilDate& end) {
    // A period ending on a month's last day is due seven days after the next month's last day
    // (30 Nov -> 7 Jan, 28 Feb -> 7 Apr).
    const CivilDate next = end.AddMonths(1);
    return (end == end.LastDayOfMonth() ? next.LastDayOfMonth() : next).AddDays(7);
}

std::vector<Obligation> SeedPeriods(const CivilDate& today, const PeriodPlan& plan) {
    const int length = plan.lengthMonths;
    const int now = MonthIndex(today);
    const int endResidue = ((plan.stagger - 1) % length + length) % length;
    const int currentEnd = now + ((endResidue - now) % length + length) % length;
    std::vector<Obligation> periods;
    for (int k = plan.firstIndex; k <= plan.lastIndex; ++k) {
        const int endIndex = currentEnd + k * length;
        Obligation o;
        o.start = FirstDayOfIndex(endIndex - length + 1);
        o.end = FirstDayOfIndex(endIndex).LastDayOfMonth();
        o.due = DueDateFor(o.end);
        o.periodKey = PeriodKey(plan.keyStyle, o.end);
        if (k <= plan.fulfilledThrough) {
            o.fulfilled = true;
            const CivilDate received = o.end.AddDays(20);
            o.received = received < today ? received : today;
        }
        periods.push_back(o);
    }
    return periods;
}

void SandboxModel::SeedDemo(const CivilDate& today) {
    applications[std::string(kDemoClientId)] = {std::string(kDemoClientId),
                                                std::string(kDemoClientSecret),
                                                std::string(kDemoApplicationName)};
    auto add = [&](const DemoClient& demo, const PeriodPlan& plan, bool authorised) {
        ClientCompany& client = clients[std::string(demo.vrn)];
        client.vrn = demo.vrn;
        client.companyName = demo.companyName;
        client.authorised = authorised;
        client.obligations = SeedPeriods(today, plan);
        SeedAccount(client, today, filed);
    };
    add(kQuarterlyClient, {3, 3, PeriodKeyStyle::Quarterly, -3, 0, -2}, true);
    add(kMonthlyClient, {1, 1, PeriodKeyStyle::Monthly, -3, 0, -2}, true);
    add(kHashKeyClient, {3, 1, PeriodKeyStyle::Hash, -3, 0, -3}, true);
    add(kNoOpenPeriodsClient, {3, 2, PeriodKeyStyle::Quarterly, -3, -1, -1}, true);
    add(kNotAuthorisedClient, {3, 3, PeriodKeyStyle::Quarterly, -3, 0, -2}, false);
}

void SandboxModel::AddSeededClient(std::string_view vrn, std::string_view companyName,
                                   Frequency frequency, const CivilDate& today) {
    ClientCompany& client = clients[std::string(vrn)];
    client.vrn = vrn;
    client.companyName = companyName;
    client.authorised = true;
    client.obligations =
        SeedPeriods(today, frequency == Frequency::Monthly
                               ? PeriodPlan{1, 1, PeriodKeyStyle::Monthly, -3, 0, -2}
                               : PeriodPlan{3, 3, PeriodKeyStyle::Quarterly, -3, 0, -2});
    SeedAccount(client, today, filed);
}

}  // namespace calvenor::sandbox
