#include "FraudHeaders.h"

#include "AdapterInfo.h"
#include "UrlEncoder.h"

namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 12;
constexpr int kVersionPatch = 2;
constexpr char kProductName[] = "Calvenor";
// The main window's fixed size in the Windows original; HMRC only asks that it be stated.
constexpr int kWindowWidth = 363;
constexpr int kWindowHeight = 411;

// A fact as it may appear in a header: no control bytes, trimmed, at most 255 bytes, then the
// reserved characters percent-encoded.
std::string EncodedFact(const std::string& raw) {
    return CUrlEncoder::EncodeText(CleanFactText(raw));
}

}  // namespace

CFraudHeaders::CFraudHeaders(const std::string& profileText)
    : m_ownFacts(std::make_unique<CSystemDeviceFacts>()),
      m_facts(*m_ownFacts),
      m_profileDigest(Sha256Hex(profileText)) {
    Build();
}

CFraudHeaders::CFraudHeaders(const std::string& profileText, const CDeviceFacts& facts)
    : m_facts(facts), m_profileDigest(Sha256Hex(profileText)) {
    Build();
}

CFraudHeaders::~CFraudHeaders() = default;

void CFraudHeaders::Build() {
    m_headerLines.clear();
    m_headerLines.push_back("Gov-Client-Connection-Method: DESKTOP_APP_DIRECT");

    // The address, identifier, time stamp and address list stand or fall together with the
    // interface query.
    CAdapterInfo adapters(m_facts);
    if (adapters.Collect()) {
        m_headerLines.push_back("Gov-Client-MAC-Addresses: " + adapters.GetMacAddress());
        m_headerLines.push_back("Gov-Client-Device-ID: " + GetDeviceId());
        // Stamped before the addresses are read, so it never postdates them.
        m_headerLines.push_back("Gov-Client-Local-IPs-Timestamp: " + GetLocalIPsTimestamp());
        const std::string localIPs = adapters.GetLocalIPs();
        if (!localIPs.empty()) {
            m_headerLines.push_back("Gov-Client-Local-IPs: " + localIPs);
        }
    }

    m_headerLines.push_back("Gov-Vendor-Version: " + GetVendorVersion());
    m_headerLines.push_back("Gov-Client-User-Agent: " + GetUserAgent());

    const auto addIfValue = [this](const char* name, const std::string& value) {
        if (!value.empty()) {
            m_headerLines.push_back(name + value);
        }
    };
    const std::string userId = GetUserId();
    addIfValue("Gov-Client-User-IDs: ", userId.empty() ? userId : "os=" + userId);
    const std::string offset = GetTimezone();
    addIfValue("Gov-Client-Timezone: ", offset.empty() ? offset : "UTC" + offset);
    addIfValue("Gov-Client-Screens: ", GetScreens());
    addIfValue("Gov-Client-Window-Size: ", GetWindowSize());
    addIfValue("Gov-Vendor-License-IDs: ", GetVendorIds());

    m_headerLines.push_back("Gov-Vendor-Product-Name: " + GetProductName());
}

std::string CFraudHeaders::GetDeviceId() const {
    return CleanFactText(m_facts.DeviceId());
}

std::string CFraudHeaders::NewDeviceId() {
    return NewDeviceIdText();
}

std::string CFraudHeaders::GetLocalIPsTimestamp() const {
    return FormatUtcTimestamp(m_facts.UtcNow());
}

std::string CFraudHeaders::GetUserAgent() {
    m_userAgent = "os-family=" + EncodedFact(m_facts.OsFamily());
    m_userAgent += "&os-version=" + EncodedFact(m_facts.OsVersion());
    m_userAgent += "&device-manufacturer=" + EncodedFact(m_facts.Manufacturer());
    m_userAgent += "&device-model=" + EncodedFact(m_facts.Model());
    return m_userAgent;
}

std::string CFraudHeaders::GetUserId() const {
    return EncodedFact(m_facts.LoginName());
}

std::string CFraudHeaders::GetTimezone() const {
    CivilTime local;
    CivilTime utc;
    if (!m_facts.LocalAndUtcTime(local, utc)) {
        return {};
    }
    return FormatUtcOffset(local, utc);
}

std::string CFraudHeaders::GetScreens() const {
    return FormatScreens(m_facts.Screen());
}

std::string CFraudHeaders::GetWindowSize() {
    return "width=" + std::to_string(kWindowWidth) + "&height=" + std::to_string(kWindowHeight);
}

std::string CFraudHeaders::GetVendorIds() const {
    return std::string(kProductName) + "=" + m_profileDigest;
}

std::string CFraudHeaders::GetVendorVersion() {
    return std::string(kProductName) + "=" + std::to_string(kVersionMajor) + "." +
           std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch);
}

std::string CFraudHeaders::GetProductName() {
    return CUrlEncoder::EncodeText(kProductName);
}
