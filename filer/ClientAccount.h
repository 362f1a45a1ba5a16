#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AccountAnswers.h"
#include "FilingSession.h"
#include "Obligations.h"
#include "ReturnFigures.h"

// A date range as HMRC takes it, YYYY-MM-DD.
struct DateRange {
    std::string from, to;
};

// The twelve months up to `today`: from 365 days before it to it.
DateRange LastTwelveMonths(std::chrono::year_month_day today);

// One filed return as HMRC gives it back, with the period it was filed for; the period's
// `received` is the day HMRC processed it.
struct FiledReturn {
    CObligationData period;
    BoxTexts boxes;
};

// What HMRC holds on one client's account, apart from any window: the returns filed in the last
// twelve months, each return's nine figures, and the liabilities and payments of a chosen range
// with their totals. Every call goes through the session's transaction with the token in use;
// every failure becomes one sentence for the agent (Error()). When HMRC rejects the token, the
// session goes back to the start and the token file goes, as for obligations; any other failure
// leaves the authorisation alone.
class CClientAccount {
public:
    // `companyText`: the company list's "123456789 : ACME Ltd".
    CClientAccount(CFilingSession& session, std::string companyText);

    // Each of these is true when HMRC answered with what was asked for; false with Error() set.
    bool LoadFiledPeriods(const DateRange& range);
    // The return filed for FiledPeriods()[index].
    bool LoadReturn(std::size_t index);
    bool LoadLiabilities(const DateRange& range);
    bool LoadPayments(const DateRange& range);

    const std::string& Company() const { return m_company; }
    const std::vector<CObligationData>& FiledPeriods() const { return m_filed; }
    const FiledReturn& Return() const { return m_return; }
    const std::vector<Liability>& Liabilities() const { return m_liabilities; }
    const std::vector<Payment>& Payments() const { return m_payments; }
    std::int64_t OriginalTotal() const;
    std::int64_t OutstandingTotal() const;
    std::int64_t PaymentsTotal() const;

    // Why the last load failed, as one sentence.
    const std::string& Error() const { return m_error; }
    // Set once HMRC rejected the token: what the main window shows of the session's return to the
    // start. No further call is made.
    const std::optional<CFilingSession::Result>& BackToStart() const { return m_backToStart; }

private:
    // The kinds of record asked for, as the sentences name them.
    enum class Subject { FiledReturns, FiledReturn, Liabilities, Payments };

    // Hands the client and the token to the transaction; false (with Error()) when the session
    // is no longer authorised, or `range` (when given) ends before it starts.
    bool Prepare(const DateRange* range = nullptr);
    // Turns the last call's outcome (status `status`) into Error(); false always.
    bool Fail(int status, Subject subject, const DateRange& range);

    CFilingSession& m_session;
    std::string m_company;
    std::vector<CObligationData> m_filed;
    FiledReturn m_return;
    std::vector<Liability> m_liabilities;
    std::vector<Payment> m_payments;
    std::string m_error;
    std::optional<CFilingSession::Result> m_backToStart;
};
