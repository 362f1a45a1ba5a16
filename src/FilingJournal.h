#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ReturnFigures.h"

// Where each submission stands, kept across runs, so a return whose connection failed is never
// filed twice and never forgotten. One entry per client and period; no token or credential is
// ever written here.
enum class JournalState { Sending, Filed, Refused, Unknown, NotFiled };

struct JournalEntry {
    std::string vrn, company;                       // "123456789", "123456789 : ACME Ltd"
    std::string periodKey, periodStart, periodEnd;  // as HMRC gave them, YYYY-MM-DD
    BoxTexts figures;                               // as sent
    std::string written;                            // local time, YYYY-MM-DDTHH:MM:SS
    JournalState state = JournalState::Sending;
    std::string receiptId, processingDate;  // when HMRC gave them

    // HMRC's outcome is not known: sent (or being sent) when the answer was lost.
    bool Unsettled() const {
        return state == JournalState::Unknown || state == JournalState::Sending;
    }
};

// The journal file. Each call reads it afresh and every change replaces it whole (a temporary
// file, then a rename), so a program stopped at any moment leaves the old journal or the new.
class CFilingJournal {
public:
    // <data folder>/Journal/journal.json.
    static std::filesystem::path DefaultPath();
    explicit CFilingJournal(std::filesystem::path file = DefaultPath());

    // The entries on file; a missing journal has none. A journal that cannot be read is moved
    // aside (never deleted) and the journal starts empty: `problem` then says what happened.
    std::vector<JournalEntry> Read(std::string& problem) const;
    // Replaces the entry for the same client and period, or adds it, stamping the time. False
    // with the journal's path and the reason in `error` when it could not be written.
    bool Record(JournalEntry entry, std::string& error, std::string& problem) const;
    // The entry for the client and period, when there is one.
    std::optional<JournalEntry> Find(const std::string& vrn, const std::string& periodKey,
                                     std::string& problem) const;

    const std::filesystem::path& Path() const { return m_file; }

private:
    std::filesystem::path m_file;
};
