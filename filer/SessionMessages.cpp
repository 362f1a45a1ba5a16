#include "SessionMessages.h"

#include "HmrcDate.h"

namespace session {

const char* const kStoredTokenRejectedText =
    "There was an error with the stored authentication token,\nor the stored authority has "
    "expired.\nPlease re-authenticate.";
const char* const kServerErrorText =
    "HMRC's server has reported an error.\nPlease try again later.";
const char* const kNotAuthorisedText =
    "\rCLIENT AND/OR AGENT NOT AUTHORISED\r\rThis is normally because:\rthe client is not "
    "subscribed to MTD;\rthe agent is not subscribed to Agent Services;\rthe client has not "
    "authorised the agent to act on their behalf;\ror the authorisation has expired.";
const char* const kAuthorisedText =
    "Authorised - Please select a company and proceed as normal\r\n";
const char* const kMayHaveFiledText =
    "\n\nHMRC may have received this return before the connection failed. Use Get Obligations "
    "before filing again: a period that is no longer listed has been filed.";

UserMessage Error(std::string text) {
    return {{}, std::move(text), MessageIcon::None, BeepKind::Exclamation};
}

UserMessage NotKept(const std::string& title, const std::string& failure) {
    return {title,
            title +
                " - Please select a company and proceed as normal\r\n\r\nThe authorisation "
                "could not be kept in " +
                failure +
                ".\r\nIt works until Calvenor is closed; the next start will ask you to sign in "
                "with HMRC again.",
            MessageIcon::Warning, BeepKind::Exclamation};
}

std::string PeriodText(const CObligationData& obligation) {
    std::string start, end;
    if (FormatHmrcDate(obligation.start, start) && FormatHmrcDate(obligation.end, end)) {
        return start + "  To  " + end;
    }
    return obligation.start + " - " + obligation.end;
}

}  // namespace session
