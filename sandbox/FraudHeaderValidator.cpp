#include "FraudHeaderValidator.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <utility>

#include "SandboxTypes.h"
#include "Text.h"

namespace calvenor::sandbox {
namespace {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// RFC 3986: unreserved ASCII characters as they are, every other byte as %XX.
bool IsPercentEncoded(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~')
            continue;
        if (c == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

bool IsPositiveWhole(const std::string& text) {
    if (text.empty() || text.size() > 9 || text[0] == '0')
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> Find(const KeyValues& pairs, const std::string& key) {
    for (const auto& [k, v] : pairs)
        if (k == key)
            return v;
    return std::nullopt;
}

class CChecker {
public:
    CChecker(FraudValidation& result, HeaderValues values) : m_result(result), m_values(values) {}

    // Values that arrive already decoded can no longer show how they were encoded.
    bool Encoded(const std::string& text) const {
        return m_values == HeaderValues::Decoded || IsPercentEncoded(text);
    }
    std::string Decode(const std::string& text) const {
        return m_values == HeaderValues::Decoded ? text : PercentDecode(text);
    }

    void Error(const std::string& header, const std::string& message) {
        m_result.errors.push_back({header, message});
    }
    void Warning(const std::string& header, const std::string& message) {
        m_result.warnings.push_back({header, message});
    }

    // "a=1&b=2" with literal separators and encoded keys and values, each key once; nullopt
    // after an error.
    std::optional<KeyValues> KeyValueList(const std::string& header, const std::string& value) {
        KeyValues pairs;
        for (const auto& part : Split(value, '&')) {
            const auto eq = part.find('=');
            if (eq == std::string::npos || eq == 0) {
                Error(header,
                      "Value is not key=value pairs separated by & (the separators themselves "
                      "must not be percent encoded)");
                return std::nullopt;
            }
            const std::string key = part.substr(0, eq), item = part.substr(eq + 1);
            if (!Encoded(key) || !Encoded(item)) {
                Error(header, "Value is not percent encoded: \"" + part + "\"");
                return std::nullopt;
            }
            if (Find(pairs, Decode(key))) {
                Error(header, "Key \"" + Decode(key) + "\" appears more than once");
                return std::nullopt;
            }
            pairs.emplace_back(Decode(key), Decode(item));
        }
        return pairs;
    }

    // A key=value value whose keys are exactly `keys`, in any order; nullopt after an error.
    std::optional<KeyValues> DocumentedKeys(const std::string& header, const std::string& value,
                                            const std::vector<std::string>& keys) {
        auto pairs = KeyValueList(header, value);
        if (!pairs)
            return std::nullopt;
        const bool documented = pairs->size() == keys.size() &&
                                std::all_of(keys.begin(), keys.end(),
                                            [&](const auto& key) { return Find(*pairs, key); });
        if (!documented) {
            std::string list;
            for (const auto& key : keys)
                list += (list.empty() ? "" : ", ") + key;
            Error(header, "Value is not the documented key list: " + list);
            return std::nullopt;
        }
        return pairs;
    }

private:
    FraudValidation& m_result;
    HeaderValues m_values;
};

bool IsTimestamp(const std::string& value) {
    static const std::regex pattern(R"(\d{4}-\d{2}-\d{2}T([01]\d|2[0-3]):[0-5]\d:[0-5]\d\.\d{3}Z)");
    return std::regex_match(value, pattern) && CivilDate::Parse(value.substr(0, 10)).has_value();
}

void CheckConnectionMethod(CChecker& c, const std::string& h, const std::string& v) {
    if (v != kDesktopAppDirect)
        c.Error(h,
                "Value must be DESKTOP_APP_DIRECT for a desktop application connecting "
                "directly; it is \"" +
                    v + "\"");
}

void CheckDeviceId(CChecker& c, const std::string& h, const std::string& v) {
    static const std::regex uuid(
        "[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}");
    if (!std::regex_match(v, uuid))
        c.Error(h,
                "Value must be a UUID generated once per device, for example "
                "beec798b-b366-47fa-b1f8-92cede14a1ce");
}

bool IsOnlyLocal(const std::string& address) {
    unsigned char b[16];
    if (::inet_pton(AF_INET, address.c_str(), b) == 1)
        return b[0] == 127 || (b[0] == 169 && b[1] == 254);
    if (::inet_pton(AF_INET6, address.c_str(), b) != 1)
        return false;
    const bool loopback =
        std::all_of(b, b + 15, [](unsigned char x) { return x == 0; }) && b[15] == 1;
    return loopback || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80);
}

void CheckUserIds(CChecker& c, const std::string& h, const std::string& v) {
    const auto pairs = c.KeyValueList(h, v);
    if (!pairs)
        return;
    for (const auto& [key, value] : *pairs)
        if (value.empty())
            c.Error(h, "Identifier \"" + key + "\" has no value");
}

void CheckTimezone(CChecker& c, const std::string& h, const std::string& v) {
    static const std::regex zone(R"(UTC[+-](0\d|1[0-4]):[0-5]\d)");
    if (!std::regex_match(v, zone))
        c.Error(h, "Value must be UTC followed by +hh:mm or -hh:mm");
}

void CheckLocalIps(CChecker& c, const std::string& h, const std::string& v) {
    for (const auto& ip : Split(v, ',')) {
        unsigned char buffer[16];
        if (!c.Encoded(ip))
            return c.Error(h, "Value is not percent encoded (IPv6 colons are %3A)");
        const std::string decoded = c.Decode(ip);
        if (::inet_pton(AF_INET, decoded.c_str(), buffer) != 1 &&
            ::inet_pton(AF_INET6, decoded.c_str(), buffer) != 1)
            return c.Error(h, "\"" + ip + "\" is not an IP address");
        if (IsOnlyLocal(decoded))
            c.Warning(h, "\"" + decoded + "\" is a loopback or link-local address");
    }
}

void CheckTimestamp(CChecker& c, const std::string& h, const std::string& v) {
    if (!IsTimestamp(v))
        c.Error(h, "Value must be a UTC time stamp in the form yyyy-MM-ddThh:mm:ss.sssZ");
}

void CheckMacAddresses(CChecker& c, const std::string& h, const std::string& v) {
    static const std::regex mac("[0-9a-fA-F]{2}(:[0-9a-fA-F]{2}){5}");
    for (const auto& address : Split(v, ',')) {
        if (!c.Encoded(address))
            return c.Error(h, "Value is not percent encoded (%3A between bytes)");
        if (!std::regex_match(c.Decode(address), mac))
            return c.Error(h, "\"" + address + "\" is not a MAC address of six bytes");
        if (AsciiLower(c.Decode(address)) == "00:00:00:00:00:00")
            return c.Error(h, "00:00:00:00:00:00 is not a real MAC address");
    }
}

void CheckScreens(CChecker& c, const std::string& h, const std::string& v) {
    for (const auto& screen : Split(v, ',')) {
        const auto pairs =
            c.DocumentedKeys(h, screen, {"width", "height", "scaling-factor", "colour-depth"});
        if (!pairs)
            return;
        for (const char* key : {"width", "height", "colour-depth"})
            if (!IsPositiveWhole(*Find(*pairs, key)))
                return c.Error(h, std::string(key) + " must be a positive whole number");
        const auto scaling = Find(*pairs, "scaling-factor");
        static const std::regex decimal(R"(\d+(\.\d+)?)");
        if (!std::regex_match(*scaling, decimal) || std::stod(*scaling) <= 0)
            return c.Error(h, "scaling-factor must be a positive number");
    }
}

void CheckWindowSize(CChecker& c, const std::string& h, const std::string& v) {
    const auto pairs = c.DocumentedKeys(h, v, {"width", "height"});
    if (!pairs)
        return;
    for (const char* key : {"width", "height"})
        if (!IsPositiveWhole(*Find(*pairs, key)))
            return c.Error(h, std::string(key) + " must be a positive whole number of pixels");
}

void CheckUserAgent(CChecker& c, const std::string& h, const std::string& v) {
    const auto pairs = c.KeyValueList(h, v);
    if (!pairs)
        return;
    for (const char* key : {"os-family", "os-version", "device-manufacturer", "device-model"}) {
        const auto value = Find(*pairs, key);
        if (!value)
            return c.Error(h, std::string("Value needs ") + key);
        const bool device = std::string_view(key).rfind("device-", 0) == 0;
        if (value->empty()) {
            if (device)
                c.Warning(h, std::string(key) + " is empty: send it when the device reports it");
            else
                c.Error(h, std::string(key) + " must not be empty");
        }
    }
}

void CheckMultiFactor(CChecker& c, const std::string& h, const std::string& v) {
    for (const auto& factor : Split(v, ',')) {
        const auto pairs = c.KeyValueList(h, factor);
        if (!pairs)
            return;
        const auto type = Find(*pairs, "type");
        if (!type || (*type != "TOTP" && *type != "AUTH_CODE" && *type != "OTHER"))
            return c.Error(h, "type must be TOTP, AUTH_CODE or OTHER");
        if (!Find(*pairs, "timestamp") || !Find(*pairs, "unique-reference"))
            return c.Error(h, "Each factor needs timestamp and unique-reference");
    }
}

void CheckVendorVersion(CChecker& c, const std::string& h, const std::string& v) {
    const auto pairs = c.KeyValueList(h, v);
    if (!pairs)
        return;
    for (const auto& [key, value] : *pairs)
        if (value.empty())
            c.Error(h, "Software \"" + key + "\" has no version");
}

void CheckLicenseIds(CChecker& c, const std::string& h, const std::string& v) {
    const auto pairs = c.KeyValueList(h, v);
    if (!pairs)
        return;
    static const std::set<std::size_t> hashLengths = {32, 40, 56, 64, 96, 128};
    for (const auto& [key, value] : *pairs) {
        const bool hashed =
            hashLengths.count(value.size()) && std::all_of(value.begin(), value.end(), IsHex);
        if (!hashed)
            c.Error(h, "Licence \"" + key +
                           "\" must be sent hashed (for example a hex SHA-256 digest), never "
                           "the licence itself");
    }
}

void CheckProductName(CChecker& c, const std::string& h, const std::string& v) {
    if (!c.Encoded(v))
        c.Error(h, "Value is not percent encoded");
}

struct Rule {
    void (*check)(CChecker&, const std::string&, const std::string&);
    bool warnWhenMissing;
    const char* missingMessage;
};

const std::map<std::string, Rule>& Rules() {
    static const std::map<std::string, Rule> rules = {
        {"gov-client-connection-method", {CheckConnectionMethod, false, nullptr}},
        {"gov-client-device-id", {CheckDeviceId, false, nullptr}},
        {"gov-client-user-ids", {CheckUserIds, false, nullptr}},
        {"gov-client-timezone", {CheckTimezone, false, nullptr}},
        {"gov-client-local-ips",
         {CheckLocalIps, true,
          "Header is missing: send the device's local IP addresses (omit it only when the "
          "device has none besides loopback)"}},
        {"gov-client-local-ips-timestamp", {CheckTimestamp, false, nullptr}},
        {"gov-client-mac-addresses",
         {CheckMacAddresses, true,
          "Header is missing: send the device's MAC addresses (omit it only when it has none)"}},
        {"gov-client-screens", {CheckScreens, false, nullptr}},
        {"gov-client-window-size", {CheckWindowSize, false, nullptr}},
        {"gov-client-user-agent", {CheckUserAgent, false, nullptr}},
        {"gov-client-multi-factor",
         {CheckMultiFactor, true,
          "Header is missing: omit it only when the user did not sign in with multi-factor "
          "authentication"}},
        {"gov-vendor-version", {CheckVendorVersion, false, nullptr}},
        {"gov-vendor-license-ids", {CheckLicenseIds, false, nullptr}},
        {"gov-vendor-product-name", {CheckProductName, false, nullptr}},
    };
    return rules;
}

}  // namespace

FraudValidation ValidateFraudHeaders(const std::vector<std::string>& headerLines,
                                     HeaderValues values) {
    FraudValidation result;
    CChecker checker(result, values);
    std::map<std::string, std::vector<std::string>> sent;
    for (const auto& line : headerLines) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = AsciiLower(line.substr(0, colon));
        if (name.rfind("gov-client-", 0) != 0 && name.rfind("gov-vendor-", 0) != 0)
            continue;
        sent[name].push_back(Trim(line.substr(colon + 1)));
    }
    for (const auto& [name, rule] : Rules()) {
        const auto it = sent.find(name);
        if (it == sent.end()) {
            if (rule.warnWhenMissing)
                checker.Warning(name, rule.missingMessage);
            else
                checker.Error(name, "Header is missing: it is required for DESKTOP_APP_DIRECT");
            continue;
        }
        if (it->second.size() > 1) {
            checker.Error(name, "Header is sent more than once");
            continue;
        }
        if (it->second.front().empty()) {
            checker.Error(name, "Value is empty: omit the header instead when the fact is unknown");
            continue;
        }
        rule.check(checker, name, it->second.front());
    }
    for (const auto& [name, values] : sent)
        if (!Rules().count(name))
            checker.Warning(name, "Header is not expected for DESKTOP_APP_DIRECT");
    result.code = !result.errors.empty()     ? "INVALID_HEADERS"
                  : !result.warnings.empty() ? "POTENTIALLY_INVALID_HEADERS"
                                             : "VALID_HEADERS";
    return result;
}

}  // namespace calvenor::sandbox
