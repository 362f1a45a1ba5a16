#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The readers the service object applies to HMRC's answers: header lines (each whole, with its
// line end, as libcurl hands them over) and bodies. Kept apart from the transfers so they can be
// checked, and fuzzed, on any input.

// The status of the final answer (its last status line, so an interim 1xx or a proxy's answer is
// passed over); 0 when none can be found.
int HttpStatusOfHeaderLines(const std::vector<std::string>& headerLines);
// The first header line of the final answer whose name is `name` (given with its colon, compared
// without regard to case), whole with its line end. Unchanged output when not found.
bool FindHeaderLine(const std::vector<std::string>& headerLines, const std::string& name,
                    std::string& line);
// The value of such a header from its colon on (": 1234"), without the line end; empty when the
// answer has none.
std::string HeaderValue(const std::vector<std::string>& headerLines, const std::string& name);
// The redirect target: the Location value when it is an absolute https address (or http to this
// machine). The output always receives the target, empty when there is none.
bool LocationOfHeaderLines(const std::vector<std::string>& headerLines, std::string& target);

// An OAuth token answer: true when it is a JSON object with a string "access_token"; members that
// are missing, of the wrong type or hold control bytes leave their output unchanged.
bool ReadTokenAnswer(const std::string& body, std::string& accessToken, std::string& refreshToken,
                     std::int32_t& expiresIn);
// The "error" and "error_description" of an OAuth error body; false when it is not a JSON object.
bool ReadOAuthError(const std::string& body, std::string& error, std::string& description);
// The codes of an HMRC error answer: its own "code" and those of its "errors" list, in order;
// none when the body is not a JSON object.
std::vector<std::string> ErrorCodes(const std::string& body);
// Whether an answer to a VAT call says the access token itself is bad: status 401, or HMRC's
// code INVALID_CREDENTIALS or OAuth's error invalid_token in its body. A refusal for one client,
// a rate limit, a server fault or no answer at all say nothing about the token.
bool SaysTokenRejected(int httpStatus, const std::string& body);

// The last receipt line of an accepted return whose answer broke off or is not JSON.
extern const std::string kIncompleteAnswerLine;
// The receipt lines of an accepted return (status 201) and of a refused one. An accepted return
// whose answer broke off (`answerComplete` false) or is not JSON gets kIncompleteAnswerLine last.
std::vector<std::string> SuccessReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body, bool answerComplete = true);
std::vector<std::string> FailureReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body, int httpStatus);
