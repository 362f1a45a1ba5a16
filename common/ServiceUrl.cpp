#include "ServiceUrl.h"

#include <algorithm>
#include <cctype>
#include "Text.h"

namespace calvenor {
namespace {

std::string_view Authority(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return {};
    std::string_view rest = url.substr(scheme + 3);
    const auto end = rest.find_first_of("/?#");
    return rest.substr(0, end);
}

}  // namespace

std::string UrlHost(std::string_view url) {
    if (!StartsWithNoCase(url, "https://") && !StartsWithNoCase(url, "http://"))
        return {};
    std::string_view authority = Authority(url);
    if (authority.find('@') != std::string_view::npos) {
        authority = authority.substr(authority.rfind('@') + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return {};
        return AsciiLower(authority.substr(0, close + 1));
    }
    return AsciiLower(authority.substr(0, authority.find(':')));
}

bool IsAllowedServiceUrl(std::string_view url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7f)
            return false;
    }
    const std::string host = UrlHost(url);
    if (host.empty())
        return false;
    // A user-info part can disguise the real host from a reader of the profile.
    if (Authority(url).find('@') != std::string_view::npos)
        return false;
    if (StartsWithNoCase(url, "https://"))
        return true;
    return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

}  // namespace calvenor
