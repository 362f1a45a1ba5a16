#include "AdapterInfo.h"

#include <algorithm>

#include "FactFormats.h"

namespace {

bool IsMacAddress(const std::vector<std::uint8_t>& bytes) {
    // Virtual links report an all-zero address, and tunnels put an IP address in that place;
    // neither identifies a network card.
    return bytes.size() == 6 &&
           std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
}

}  // namespace

CAdapterInfo::CAdapterInfo(const CDeviceFacts& facts) : m_facts(facts) {}

CAdapterInfo::~CAdapterInfo() = default;

bool CAdapterInfo::Collect() {
    m_macAddresses.clear();
    m_localIPs.clear();
    std::vector<NetworkInterface> interfaces;
    if (!m_facts.ReadInterfaces(interfaces)) {
        return false;
    }
    for (const auto& item : interfaces) {
        if (item.loopback) {
            continue;
        }
        if (IsMacAddress(item.hardwareAddress)) {
            // A VLAN or a bond shares its card's address: HMRC asks for each address once.
            const std::string mac = FormatMacAddress(item.hardwareAddress);
            if (std::find(m_macAddresses.begin(), m_macAddresses.end(), mac) ==
                m_macAddresses.end()) {
                m_macAddresses.push_back(mac);
            }
        }
        if (!item.up) {
            continue;
        }
        for (const auto& address : item.addresses) {
            std::string text = FormatLocalAddress(address);
            if (!text.empty()) {
                m_localIPs.push_back(std::move(text));
            }
        }
    }
    return true;
}
