#pragma once

#include <map>
#include <string>
#include <vector>

// Texts shown to the user when an HMRC call fails.
// Status to text for the authorisation request and the code exchange (kinds 0 and 1).
const std::map<int, std::string>& HttpErrorTable();
// Status to text for the return submission (kind 3).
const std::map<int, std::string>& SubmitErrorTable();
// Communication error code (0 to 11) to text.
const std::map<int, std::string>& CommErrorTable();
// The CommErrorTable text of `code`; a code not in the table gives the text of code 11.
const std::string& CommErrorText(int code);

// One failed HMRC call: which operation (kind), its status, and the lines decoded from HMRC's
// error body. A short-lived value made where an error is shown.
class CTRansactionError {
public:
    enum Kind { kAuthorisationRequest = 0, kCodeExchange = 1, kReturnSubmission = 3 };

    CTRansactionError(int kind, int status);
    virtual ~CTRansactionError();

    // The kind's table text for the status; false with "An Unknown Error Occurred" otherwise.
    bool GetErrorText(std::string& text) const;
    // Fills the error lines from an OAuth or API error body: top-level "error",
    // "error_description", "code", "message", then each element of "errors" as tab-indented
    // "code", "message", "path" lines. False (no lines) when the body is not a JSON object.
    bool Decode(const std::string& body);

    int GetKind() const { return m_kind; }
    int GetStatus() const { return m_status; }
    const std::vector<std::string>& GetErrorLines() const { return m_errorLines; }

private:
    int m_kind;
    int m_status;
    std::vector<std::string> m_errorLines;
};
