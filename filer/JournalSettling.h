#pragma once

#include <optional>
#include <string>
#include <vector>

#include "FilingJournal.h"
#include "UserMessage.h"

class CTransaction;

// The filing session's use of the journal: an entry before each submission, its outcome after,
// and the settling with HMRC of every submission whose outcome was lost with the connection.
namespace journal {

// The entry of a submission about to be sent, written as being sent. None, with the message
// saying nothing was sent, when the period's last submission is not settled or the journal
// could not be written: the submission must not go.
std::optional<JournalEntry> BeforeSending(const std::string& vrn, const std::string& company,
                                          const std::string& periodKey,
                                          const std::string& periodStart,
                                          const std::string& periodEnd, const BoxTexts& figures,
                                          std::vector<UserMessage>& messages);

// Records HMRC's answer to the submission (`answered` false: none came back); the receipt id
// and processing date are read from an accepted return's receipt lines.
void AfterSending(JournalEntry entry, bool answered, bool accepted,
                  const std::vector<std::string>& receiptLines, std::vector<UserMessage>& messages);

// True, with a message saying how to settle it, when the period's last submission is not
// settled: the period may not be filed until it is.
bool Unsettled(const std::string& vrn, const std::string& periodKey,
               std::vector<UserMessage>& messages);

// Asks HMRC for each unsettled return of client `vrn` (empty: of every client) and records and
// explains what it says. True when HMRC rejected the access token (the rest are left for later).
bool Settle(CTransaction& transaction, const std::string& vrn, std::vector<UserMessage>& messages);

// The sentence the lost-connection message gains.
extern const char* const kWillCheckText;

}  // namespace journal
