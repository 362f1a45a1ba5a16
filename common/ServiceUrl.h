#pragma once

#include <string>
#include <string_view>

namespace calvenor {

// Secrets and tokens travel to this address, so it must be https, or http to this machine
// (127.0.0.1, localhost, [::1]) for the local sandbox. Used for the profile's service base URL
// and for every redirect target HMRC answers with.
bool IsAllowedServiceUrl(std::string_view url);

// The host part of an absolute http or https URL, lower-cased; empty when there is none.
std::string UrlHost(std::string_view url);

}  // namespace calvenor
