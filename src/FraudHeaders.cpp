#include "FraudHeaders.h"

#include <utility>

#include "AdapterInfo.h"
#include "FactFormats.h"
#include "Log.h"
#include "UrlEncoder.h"

namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 12;
constexpr int kVersionPatch = 2;
constexpr char kProductName[] = "Calvenor";

constexpr char kNoInterfaces[] = "the network interfaces could not be read";

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string Joined(const std::vector<std::string>& parts, char separator) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) {
            text += separator;
        }
        text += part;
    }
    return text;
}

// HMRC's list form: "a,b", each item percent-encoded.
std::string EncodedList(const std::vector<std::string>& items) {
    std::vector<std::string> encoded;
    for (const auto& item : items) {
        encoded.push_back(FormValueEncode(item));
    }
    return Joined(encoded, ',');
}

// HMRC's key=value form: "a=1&b=2", each key and value percent-encoded, so the separators are the
// only raw punctuation.
std::string KeyValues(const Pairs& pairs) {
    std::vector<std::string> parts;
    for (const auto& [key, value] : pairs) {
        parts.push_back(FormValueEncode(key) + "=" + FormValueEncode(value));
    }
    return Joined(parts, '&');
}

}  // namespace

CFraudHeaders::CFraudHeaders(const std::string& profileText)
    : m_ownFacts(std::make_unique<CSystemDeviceFacts>()),
      m_facts(*m_ownFacts),
      m_profileDigest(Sha256Hex(profileText)) {}

CFraudHeaders::CFraudHeaders(const std::string& profileText, const CDeviceFacts& facts)
    : m_facts(facts), m_profileDigest(Sha256Hex(profileText)) {}

CFraudHeaders::~CFraudHeaders() = default;

void CFraudHeaders::SetWindowSizeReader(std::function<WindowSize()> reader) {
    m_windowSize = std::move(reader);
}

void CFraudHeaders::Add(const char* name, const std::string& value, const char* reasonWhenEmpty) {
    if (!value.empty()) {
        m_headerLines.push_back(std::string(name) + ": " + value);
    } else if (m_omissionsLogged.insert(name).second) {
        LOG_ENTRY("Fraud-prevention header " << name << " not sent: " << reasonWhenEmpty);
    }
}

void CFraudHeaders::Build() {
    if (!m_sessionFactsRead) {
        m_deviceId = GetDeviceId();
        GetUserAgent();
        m_userId = GetUserId();
        m_sessionFactsRead = true;
    }
    m_headerLines.clear();
    Add("Gov-Client-Connection-Method", "DESKTOP_APP_DIRECT");

    // Stamped before the interfaces are read, so it never postdates the addresses.
    const std::string timestamp = GetLocalIPsTimestamp();
    CAdapterInfo adapters(m_facts);
    const bool read = adapters.Collect();
    Add("Gov-Client-MAC-Addresses", EncodedList(adapters.GetMacAddresses()),
        read ? "no network interface has a MAC address" : kNoInterfaces);
    Add("Gov-Client-Device-ID", m_deviceId,
        "the device identifier could not be kept in the settings store");
    Add("Gov-Client-Local-IPs-Timestamp", read ? timestamp : std::string(), kNoInterfaces);
    Add("Gov-Client-Local-IPs", EncodedList(adapters.GetLocalIPs()),
        read ? "no network interface that is up has an address beyond its own link"
             : kNoInterfaces);

    Add("Gov-Vendor-Version", GetVendorVersion());
    Add("Gov-Client-User-Agent", m_userAgent);
    Add("Gov-Client-User-IDs", m_userId, "the login name could not be read");
    Add("Gov-Client-Timezone", GetTimezone(), "the time zone could not be read");
    Add("Gov-Client-Screens", GetScreens(),
        "no screen with a known size, scaling and colour depth");
    Add("Gov-Client-Window-Size", GetWindowSize(), "the main window's size is not known");
    Add("Gov-Vendor-License-IDs", GetVendorIds());
    Add("Gov-Vendor-Product-Name", GetProductName());
}

std::string CFraudHeaders::GetDeviceId() const {
    return FormValueEncode(CleanFactText(m_facts.DeviceId()));
}

std::string CFraudHeaders::NewDeviceId() {
    return NewDeviceIdText();
}

std::string CFraudHeaders::GetLocalIPsTimestamp() const {
    return FormatUtcTimestamp(m_facts.UtcNow());
}

std::string CFraudHeaders::GetUserAgent() {
    m_userAgent = KeyValues({{"os-family", CleanFactText(m_facts.OsFamily())},
                             {"os-version", CleanFactText(m_facts.OsVersion())},
                             {"device-manufacturer", CleanFactText(m_facts.Manufacturer())},
                             {"device-model", CleanFactText(m_facts.Model())}});
    return m_userAgent;
}

std::string CFraudHeaders::GetUserId() const {
    const std::string login = CleanFactText(m_facts.LoginName());
    return login.empty() ? std::string() : KeyValues({{"os", login}});
}

std::string CFraudHeaders::GetTimezone() const {
    CivilTime local;
    CivilTime utc;
    if (!m_facts.LocalAndUtcTime(local, utc)) {
        return {};
    }
    return "UTC" + FormatUtcOffset(local, utc);
}

std::string CFraudHeaders::GetScreens() const {
    std::vector<std::string> screens;
    for (const ScreenFacts& s : m_facts.Screens()) {
        // A screen the windowing system cannot fully describe is left out rather than sent with
        // a zero HMRC would refuse.
        if (s.width > 0 && s.height > 0 && s.logicalDpi > 0 && s.colourDepth > 0) {
            screens.push_back(KeyValues({{"width", std::to_string(s.width)},
                                         {"height", std::to_string(s.height)},
                                         {"scaling-factor", FormatScalingFactor(s.logicalDpi)},
                                         {"colour-depth", std::to_string(s.colourDepth)}}));
        }
    }
    return Joined(screens, ',');
}

std::string CFraudHeaders::GetWindowSize() const {
    const WindowSize size = m_windowSize ? m_windowSize() : WindowSize{};
    if (size.width <= 0 || size.height <= 0) {
        return {};
    }
    return KeyValues(
        {{"width", std::to_string(size.width)}, {"height", std::to_string(size.height)}});
}

std::string CFraudHeaders::GetVendorIds() const {
    return KeyValues({{kProductName, m_profileDigest}});
}

std::string CFraudHeaders::GetVendorVersion() {
    return KeyValues(
        {{kProductName, std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                            std::to_string(kVersionPatch)}});
}

std::string CFraudHeaders::GetProductName() {
    return FormValueEncode(kProductName);
}
