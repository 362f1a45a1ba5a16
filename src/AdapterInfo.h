#pragma once

#include <string>
#include <vector>

class CDeviceFacts;

// The network part of the fraud-prevention facts: the MAC addresses and the local addresses of
// this machine, from one reading of its interfaces. Made, used and dropped within one build of
// the header set, so every request describes the network as it is when the request is made.
class CAdapterInfo {
public:
    explicit CAdapterInfo(const CDeviceFacts& facts);
    virtual ~CAdapterInfo();

    // Reads the interface list once. False when it could not be read at all; the lists are then
    // empty.
    bool Collect();

    // "00:1A:2B:3C:4D:5E" for every interface but loopback whose six-byte hardware address is
    // not all zeros, in the system's order, each address once.
    const std::vector<std::string>& GetMacAddresses() const { return m_macAddresses; }

    // Every reported address (see FormatLocalAddress) of every interface that is up, loopback
    // excluded, in interface order then address order.
    const std::vector<std::string>& GetLocalIPs() const { return m_localIPs; }

private:
    const CDeviceFacts& m_facts;
    std::vector<std::string> m_macAddresses;
    std::vector<std::string> m_localIPs;
};
