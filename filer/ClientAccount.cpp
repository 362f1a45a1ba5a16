#include "ClientAccount.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "AnswerReaders.h"
#include "HmrcDate.h"
#include "TransactionError.h"
#include "VatReturnAnswer.h"

namespace {

std::string IsoDate(std::chrono::year_month_day date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

std::string ShownDate(const std::string& date) {
    std::string shown;
    return FormatHmrcDate(date, shown) ? shown : date;
}

const char* const kSubjectNames[] = {"filed returns", "filed return", "liabilities", "payments"};

}  // namespace

DateRange LastTwelveMonths(std::chrono::year_month_day today) {
    const std::chrono::sys_days day{today};
    return {IsoDate(std::chrono::year_month_day{day - std::chrono::days{365}}), IsoDate(today)};
}

CClientAccount::CClientAccount(CFilingSession& session, std::string companyText)
    : m_session(session), m_company(std::move(companyText)) {}

bool CClientAccount::Prepare(const DateRange* range) {
    m_error.clear();
    // Dates in HMRC's form order as their texts do.
    if (range && range->to < range->from) {
        m_error = "The range starts on " + ShownDate(range->from) + ", after it ends on " +
                  ShownDate(range->to) + ": choose a start on or before the end.";
        return false;
    }
    if (!m_backToStart && m_session.PrepareClientQuery(m_company))
        return true;
    m_error =
        "Calvenor is no longer authorised with HMRC: close this window and start the "
        "authorisation again.";
    return false;
}

bool CClientAccount::LoadFiledPeriods(const DateRange& range) {
    m_filed.clear();
    if (!Prepare())
        return false;
    CTransaction& transaction = m_session.Transaction();
    const int status = transaction.RetrieveFulfilledObligations(range.from, range.to);
    if (status != 200)
        return Fail(status, Subject::FiledReturns, range);
    const CObligations answer(transaction.GetResponseBody());
    if (!answer.IsComplete())
        return Fail(-1, Subject::FiledReturns, range);
    m_filed = answer.GetObligations();
    // The latest period first: the return the agent most often looks for.
    std::ranges::sort(m_filed, std::ranges::greater{}, &CObligationData::start);
    return true;
}

bool CClientAccount::LoadReturn(std::size_t index) {
    if (index >= m_filed.size() || !Prepare())
        return false;
    m_return = {m_filed[index], {}};
    const DateRange period{m_return.period.start, m_return.period.end};
    CTransaction& transaction = m_session.Transaction();
    const int status = transaction.RetrieveReturn(m_return.period.periodKey);
    if (status != 200)
        return Fail(status, Subject::FiledReturn, period);
    VatReturnRecord record;
    if (!ReadVatReturn(transaction.GetResponseBody(), record) ||
        record.periodKey != m_return.period.periodKey)
        return Fail(-1, Subject::FiledReturn, period);
    m_return.boxes = record.boxes;
    return true;
}

bool CClientAccount::LoadLiabilities(const DateRange& range) {
    m_liabilities.clear();
    if (!Prepare(&range))
        return false;
    CTransaction& transaction = m_session.Transaction();
    const int status = transaction.RetrieveLiabilities(range.from, range.to);
    if (status != 200)
        return Fail(status, Subject::Liabilities, range);
    if (!ReadLiabilities(transaction.GetResponseBody(), m_liabilities)) {
        m_liabilities.clear();
        return Fail(-1, Subject::Liabilities, range);
    }
    return true;
}

bool CClientAccount::LoadPayments(const DateRange& range) {
    m_payments.clear();
    if (!Prepare(&range))
        return false;
    CTransaction& transaction = m_session.Transaction();
    const int status = transaction.RetrievePayments(range.from, range.to);
    if (status != 200)
        return Fail(status, Subject::Payments, range);
    if (!ReadPayments(transaction.GetResponseBody(), m_payments)) {
        m_payments.clear();
        return Fail(-1, Subject::Payments, range);
    }
    return true;
}

std::int64_t CClientAccount::OriginalTotal() const {
    return std::transform_reduce(m_liabilities.begin(), m_liabilities.end(), std::int64_t{0},
                                 std::plus<>{}, [](const Liability& l) { return l.originalPence; });
}

std::int64_t CClientAccount::OutstandingTotal() const {
    return std::transform_reduce(m_liabilities.begin(), m_liabilities.end(), std::int64_t{0},
                                 std::plus<>{},
                                 [](const Liability& l) { return l.outstandingPence.value_or(0); });
}

std::int64_t CClientAccount::PaymentsTotal() const {
    return std::transform_reduce(m_payments.begin(), m_payments.end(), std::int64_t{0},
                                 std::plus<>{}, [](const Payment& p) { return p.amountPence; });
}

bool CClientAccount::Fail(int status, Subject subject, const DateRange& range) {
    CTransaction& transaction = m_session.Transaction();
    const std::string what = kSubjectNames[static_cast<int>(subject)];
    const std::string between = ShownDate(range.from) + " and " + ShownDate(range.to);
    const std::vector<std::string> codes =
        status > 0 ? ErrorCodes(transaction.GetResponseBody()) : std::vector<std::string>{};
    const auto said = [&codes](std::initializer_list<std::string_view> wanted) {
        return std::ranges::any_of(codes, [&wanted](const std::string& code) {
            return std::ranges::find(wanted, code) != wanted.end();
        });
    };
    if (status > 0)
        m_backToStart = m_session.ForgetRejectedToken();
    if (m_backToStart) {
        m_error =
            "HMRC no longer accepts Calvenor's authorisation: close this window and start "
            "the authorisation again.";
    } else if (status == 0) {
        m_error = CommErrorText(transaction.GetCommErrorCode());
    } else if (status < 0) {
        m_error = "HMRC's answer about the " + what +
                  " could not be read: try again later, and if it happens again, keep the log "
                  "for support.";
    } else if (status == 404 && subject == Subject::FiledReturn) {
        m_error = "HMRC holds no filed return for the period " + ShownDate(range.from) + " to " +
                  ShownDate(range.to) + ".";
    } else if (status == 404) {
        m_error = "HMRC holds no " + what + " for this client between " + between + ".";
    } else if (status == 403) {
        m_error =
            "HMRC says this client has not authorised you as their agent, or is not signed "
            "up for Making Tax Digital: check the client's authorisation in your agent "
            "services account.";
    } else if (status == 400 &&
               said({"DATE_RANGE_INVALID", "INVALID_DATE_RANGE", "DATE_RANGE_TOO_LARGE"})) {
        m_error =
            "HMRC did not accept the range " + between + ": choose a range of 365 days or less.";
    } else if (status == 400 && said({"DATE_FROM_INVALID", "DATE_TO_INVALID", "INVALID_DATE_FROM",
                                      "INVALID_DATE_TO"})) {
        m_error = "HMRC did not accept the dates " + between +
                  ": choose a start on or before the end, and neither in the future.";
    } else if (status == 429) {
        m_error = "HMRC is limiting requests: wait a minute and try again.";
    } else if (status >= 500) {
        m_error = "HMRC's service failed: try again later.";
    } else {
        m_error = "HMRC refused the request for the " + what + " (status " +
                  std::to_string(status) +
                  "): check the client's VAT number in the agent profile and try again.";
    }
    return false;
}
