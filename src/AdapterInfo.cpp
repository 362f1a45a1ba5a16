#include "AdapterInfo.h"

#include <algorithm>
#include <vector>

#include "DeviceFacts.h"

namespace {

bool IsUsableHardwareAddress(const std::vector<std::uint8_t>& bytes) {
    // Virtual links report an all-zero address; it identifies nothing.
    return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
}

}  // namespace

CAdapterInfo::CAdapterInfo(const CDeviceFacts& facts) : m_facts(facts) {}

CAdapterInfo::~CAdapterInfo() = default;

bool CAdapterInfo::Collect() {
    m_macAddress.clear();
    std::vector<NetworkInterface> interfaces;
    if (!m_facts.ReadInterfaces(interfaces)) {
        return false;
    }
    for (const auto& item : interfaces) {
        if (!item.loopback && IsUsableHardwareAddress(item.hardwareAddress)) {
            m_macAddress = FormatMacAddress(item.hardwareAddress);
            break;
        }
    }
    return true;
}

std::string CAdapterInfo::GetLocalIPs() {
    m_localIPs.clear();
    std::vector<NetworkInterface> interfaces;
    if (!m_facts.ReadInterfaces(interfaces)) {
        return m_localIPs;
    }
    for (const auto& item : interfaces) {
        if (item.loopback) {
            continue;
        }
        for (const auto& address : item.addresses) {
            const std::string text = FormatLocalAddress(address);
            if (text.empty()) {
                continue;
            }
            if (!m_localIPs.empty()) {
                m_localIPs += ',';
            }
            m_localIPs += text;
        }
    }
    return m_localIPs;
}
