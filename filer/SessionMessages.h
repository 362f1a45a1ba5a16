#pragma once

#include <string>

#include "Obligations.h"
#include "UserMessage.h"

// What the filing session tells the agent: its fixed texts and the messages built from them.
namespace session {

extern const char* const kStoredTokenRejectedText;
extern const char* const kServerErrorText;
extern const char* const kNotAuthorisedText;
extern const char* const kAuthorisedText;
extern const char* const kMayHaveFiledText;

// Exclamation beep, then `text` under the default title.
UserMessage Error(std::string text);
// What the agent must know when HMRC's tokens work for this run but could not be written to the
// token file (`failure`: the file and the reason): the next start will not find them.
UserMessage NotKept(const std::string& title, const std::string& failure);
// "01 Apr 2023  To  30 Jun 2023", or the dates as HMRC sent them when either does not convert.
std::string PeriodText(const CObligationData& obligation);

}  // namespace session
