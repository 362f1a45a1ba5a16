#pragma once

#include <string>
#include <vector>

// HMRC's rules for the fraud-prevention headers of a desktop application that connects
// directly (connection method DESKTOP_APP_DIRECT), as its validation feedback reports them.
namespace calvenor::sandbox {

struct HeaderFinding {
    std::string header;   // lower case, "gov-client-device-id"
    std::string message;  // what is wrong and what HMRC expects
};

struct FraudValidation {
    // "VALID_HEADERS", "POTENTIALLY_INVALID_HEADERS" (warnings only) or "INVALID_HEADERS".
    std::string code;
    std::vector<HeaderFinding> errors;
    std::vector<HeaderFinding> warnings;
};

inline constexpr const char* kDesktopAppDirect = "DESKTOP_APP_DIRECT";

// How the values of the header lines reach the check: as sent (percent-encoded where HMRC asks
// for it), or already percent-decoded by an HTTP server library, when encoding cannot be judged.
enum class HeaderValues { AsSent, Decoded };

// Checks the Gov-Client-* and Gov-Vendor-* lines among a request's header lines
// ("Name: value", any case). Headers a desktop application may legitimately lack (multi-factor
// authentication, local addresses and hardware addresses on a machine without them) are
// warnings when missing; everything else HMRC requires is an error.
FraudValidation ValidateFraudHeaders(const std::vector<std::string>& headerLines,
                                     HeaderValues values = HeaderValues::AsSent);

}  // namespace calvenor::sandbox
