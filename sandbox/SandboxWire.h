#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

// The small pieces every route of the sandbox shares: form and query reading, HMRC's date and
// amount texts, and the shapes of its answers.
namespace calvenor::sandbox {

// Name to values; a parameter sent twice keeps both so it can be refused.
using FormParams = std::map<std::string, std::vector<std::string>>;

// application/x-www-form-urlencoded ('+' is a space).
FormParams ParseForm(std::string_view text);
// The query of the request target as sent.
FormParams QueryOf(const httplib::Request& req);

std::string HttpDate(std::time_t t);  // "Tue, 01 Aug 2023 10:00:00 GMT"
// "2026-05-15T10:00:00" with ".123" when `millis`, then `zone` ("Z", "+0000").
std::string IsoTime(std::chrono::system_clock::time_point when, bool millis, const char* zone);
// "1234.50", or whole pounds "1234" when `whole`.
std::string PenceText(long long pence, bool whole);
// Whether the space-separated `scopes` hold `wanted`.
bool HasScope(const std::string& scopes, std::string_view wanted);

void JsonAnswer(httplib::Response& res, int status, const std::string& body);
// {"code","message"}: the API's error form.
void ApiError(httplib::Response& res, int status, std::string_view code, std::string_view message);
// {"error","error_description"}: the OAuth endpoints' error form, never cached.
void OAuthError(httplib::Response& res, int status, std::string_view error,
                std::string_view description);
void HtmlAnswer(httplib::Response& res, int status, const std::string& title,
                const std::string& content);

}  // namespace calvenor::sandbox
