#pragma once

#include <string>
#include <string_view>
#include <vector>

// The bodies of HMRC's error answers.
namespace calvenor::sandbox {

struct FieldError {
    std::string code;
    std::string message;
    std::string path;  // JSON pointer of the member, "/vatDueSales"
};

// {"code":…,"message":…}: the API's flat error form.
std::string ErrorBody(std::string_view code, std::string_view message);
// {"code":…,"message":…,"errors":[{"code","message","path"}…]}: the wrapped form used for
// INVALID_REQUEST and BUSINESS_ERROR.
std::string WrappedErrorBody(std::string_view code, std::string_view message,
                             const std::vector<FieldError>& errors);
// {"error":…,"error_description":…}: the OAuth endpoints' form (RFC 6749).
std::string OAuthErrorBody(std::string_view error, std::string_view description);

}  // namespace calvenor::sandbox
