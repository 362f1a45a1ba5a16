#include "JournalSettling.h"

#include <algorithm>
#include <optional>

#include "FigureFile.h"
#include "Folders.h"
#include "HmrcDate.h"
#include "Log.h"
#include "Obligations.h"
#include "Transaction.h"
#include "TransactionError.h"
#include "VatReturnAnswer.h"

namespace journal {

const char* const kWillCheckText =
    " Calvenor has noted this return and will check with HMRC whether it was filed at the next "
    "start, and when the client is selected again.";

namespace {

// "123456789 : ACME Ltd for 01 Jan 2018  To  31 Mar 2018"
std::string Naming(const JournalEntry& e) {
    const DisplayPeriod period = FormatHmrcPeriod(e.periodStart, e.periodEnd);
    return (e.company.empty() ? e.vrn : e.company) + " for " + period.start + "  To  " + period.end;
}

std::string FigureLines(const BoxTexts& figures) {
    std::string text;
    for (std::size_t box = 0; box < figures.size(); ++box)
        text += "\r\nBox " + std::to_string(box + 1) + ": " + figures[box];
    return text;
}

// A problem found while reading the journal goes first, once.
void Report(std::string& problem, std::vector<UserMessage>& messages) {
    if (!problem.empty())
        messages.push_back(
            {"Filing Journal", problem, MessageIcon::Warning, BeepKind::Exclamation});
    problem.clear();
}

void Write(const JournalEntry& entry, std::vector<UserMessage>& messages) {
    std::string error, problem;
    const bool written = CFilingJournal().Record(entry, error, problem);
    Report(problem, messages);
    if (!written) {
        LOG_ENTRY("Journal not written: " << error);
        messages.push_back({"Filing Journal",
                            "The filing journal could not be written: " + error +
                                ".\r\nWhat HMRC said about " + Naming(entry) +
                                " is not recorded in it.",
                            MessageIcon::Warning, BeepKind::Exclamation});
    }
}

// The receipt line "Name : value", as the results window shows it.
std::string ReceiptValue(const std::vector<std::string>& lines, const std::string& name) {
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return l.starts_with(name); });
    return line == lines.end() ? std::string() : line->substr(name.size());
}

// HMRC's processing date of a filed return: when the fulfilled obligation says it was received.
std::string ProcessingDate(CTransaction& transaction, const JournalEntry& e) {
    if (transaction.RetrieveFulfilledObligations(e.periodStart, e.periodEnd) != 200)
        return {};
    const CObligations answer(transaction.GetResponseBody());
    for (const CObligationData& obligation : answer.GetObligations())
        if (obligation.periodKey == e.periodKey)
            return obligation.received;
    return {};
}

UserMessage Filed(CTransaction& transaction, JournalEntry& e, const VatReturnRecord& held) {
    e.state = JournalState::Filed;
    e.processingDate = ProcessingDate(transaction, e);
    std::string date;
    const std::string when = FormatHmrcDate(e.processingDate, date)
                                 ? "HMRC processed it on " + date + "."
                                 : "HMRC did not give the date it processed it.";
    std::string text =
        "The return for " + Naming(e) + ", whose connection failed, was filed with HMRC. " + when +
        " Do not file this period again.\r\n\r\nThe figures HMRC holds:" + FigureLines(held.boxes);
    if (!SameAmounts(held.boxes, e.figures))
        text += "\r\n\r\nThese are NOT the figures Calvenor sent, which were:" +
                FigureLines(e.figures) + "\r\nCheck the return with HMRC.";
    return {"Return Filed", text, MessageIcon::Information, BeepKind::Information};
}

UserMessage NotFiled(JournalEntry& e) {
    e.state = JournalState::NotFiled;
    std::string name = e.periodKey;
    std::replace(name.begin(), name.end(), '/', '_');
    const std::filesystem::path file =
        calvenor::DataFolder() / ("Not filed " + name + " - " + DefaultFigureFileName(e.company));
    std::string error;
    const std::string saved = calvenor::CreatePrivateFolder(file.parent_path(), &error) &&
                                      WriteFigureFile(file, e.figures, &error)
                                  ? "The figures that were sent are saved in " + file.string() +
                                        ": import that file in the entry window to file them."
                                  : "The figures that were sent could not be saved (" + error +
                                        "); they were:" + FigureLines(e.figures);
    return {"Return Not Filed",
            "HMRC has no return for " + Naming(e) +
                ": the submission whose connection failed was not filed. It is safe to file "
                "this period now.\r\n\r\n" +
                saved,
            MessageIcon::Information, BeepKind::Information};
}

}  // namespace

std::optional<JournalEntry> BeforeSending(const std::string& vrn, const std::string& company,
                                          const std::string& periodKey,
                                          const std::string& periodStart,
                                          const std::string& periodEnd, const BoxTexts& figures,
                                          std::vector<UserMessage>& messages) {
    if (Unsettled(vrn, periodKey, messages))
        return std::nullopt;
    JournalEntry entry{vrn,       company, periodKey, periodStart,
                       periodEnd, figures, {},        JournalState::Sending,
                       {},        {}};
    std::string error, problem;
    const bool written = CFilingJournal().Record(entry, error, problem);
    Report(problem, messages);
    if (written)
        return entry;
    LOG_ENTRY("Journal not written, return not sent: " << error);
    messages.push_back({"Nothing Sent",
                        "The filing journal could not be written: " + error +
                            ".\r\nNothing was sent to HMRC. Make the data folder writable, then "
                            "file the return again.",
                        MessageIcon::Warning, BeepKind::Exclamation});
    return std::nullopt;
}

void AfterSending(JournalEntry entry, bool answered, bool accepted,
                  const std::vector<std::string>& receiptLines,
                  std::vector<UserMessage>& messages) {
    entry.state = !answered  ? JournalState::Unknown
                  : accepted ? JournalState::Filed
                             : JournalState::Refused;
    if (accepted) {
        entry.receiptId = ReceiptValue(receiptLines, "Receipt Id : ");
        entry.processingDate = ReceiptValue(receiptLines, "Processing Date : ");
    }
    Write(entry, messages);
}

bool Unsettled(const std::string& vrn, const std::string& periodKey,
               std::vector<UserMessage>& messages) {
    std::string problem;
    const std::optional<JournalEntry> entry = CFilingJournal().Find(vrn, periodKey, problem);
    Report(problem, messages);
    if (!entry || !entry->Unsettled())
        return false;
    messages.push_back({"Not Yet Checked",
                        "The last submission for " + Naming(*entry) +
                            " lost its connection, and HMRC has not yet been asked whether it "
                            "was filed. It must be checked first: once the connection works, "
                            "select the client and use Get Obligations, or start Calvenor again.",
                        MessageIcon::Warning, BeepKind::Exclamation});
    return true;
}

bool Settle(CTransaction& transaction, const std::string& vrn, std::vector<UserMessage>& messages) {
    std::string problem;
    std::vector<JournalEntry> entries = CFilingJournal().Read(problem);
    Report(problem, messages);
    for (JournalEntry& e : entries) {
        if (!e.Unsettled() || (!vrn.empty() && e.vrn != vrn))
            continue;
        transaction.SetVrn(e.vrn);
        const int status = transaction.RetrieveReturn(e.periodKey);
        VatReturnRecord held;
        if (transaction.AnswerRejectedToken())
            return true;
        // Only the return of this very period says it was filed.
        if (status == 200 && ReadVatReturn(transaction.GetResponseBody(), held) &&
            held.periodKey == e.periodKey) {
            messages.push_back(Filed(transaction, e, held));
        } else if (status == 404) {
            messages.push_back(NotFiled(e));
        } else {
            const std::string why = status == 0 ? CommErrorText(transaction.GetCommErrorCode())
                                    : status == 200
                                        ? "HMRC's answer could not be read"
                                        : "HMRC answered with status " + std::to_string(status);
            messages.push_back(
                {"Not Yet Checked",
                 "Calvenor could not check with HMRC whether the return for " + Naming(e) +
                     " was filed (" + why +
                     ").\r\nIt will check again when the client is selected or at the next "
                     "start; the period cannot be filed until then.",
                 MessageIcon::Warning, BeepKind::Exclamation});
            continue;
        }
        Write(e, messages);
    }
    return false;
}

}  // namespace journal
