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

// Writes `entry` as being sent. False, with the message saying nothing was sent, when the
// journal could not be written: the submission must not go.
bool BeforeSending(JournalEntry& entry, std::vector<UserMessage>& messages);

// Records HMRC's answer to the submission (`answered` false: none came back); the receipt id
// and processing date are read from an accepted return's receipt lines.
void AfterSending(JournalEntry entry, bool answered, bool accepted,
                  const std::vector<std::string>& receiptLines, std::vector<UserMessage>& messages);

// A message refusing to file the period when its last submission is not settled; none when it
// may be filed.
std::optional<UserMessage> RefusalToFile(const std::string& vrn, const std::string& periodKey,
                                         std::vector<UserMessage>& messages);

// Asks HMRC for each unsettled return of client `vrn` (empty: of every client) and records and
// explains what it says. True when HMRC rejected the access token (the rest are left for later).
bool Settle(CTransaction& transaction, const std::string& vrn, std::vector<UserMessage>& messages);

// The sentence the lost-connection message gains.
extern const char* const kWillCheckText;

}  // namespace journal
