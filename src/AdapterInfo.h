#pragma once

#include <string>

class CDeviceFacts;

// The network part of the fraud-prevention facts: the first adapter's hardware address and the
// local addresses of every adapter but loopback. Made, used and dropped within one build of the
// header set.
class CAdapterInfo {
public:
    explicit CAdapterInfo(const CDeviceFacts& facts);
    virtual ~CAdapterInfo();

    // Reads the interface list once and keeps the hardware address of the first interface that
    // has one (loopback skipped). False when the list could not be read at all; an empty list
    // still counts as an answer.
    bool Collect();

    // "00%3A1A%3A2B%3A3C%3A4D%3A5E", or empty when no interface has a hardware address.
    const std::string& GetMacAddress() const { return m_macAddress; }

    // Reads the interfaces afresh: every IPv4 address and every reported IPv6 address of each
    // non-loopback interface, interface order then address order, joined by "," (IPv6 colons
    // percent-encoded). Empty when there is none or the list cannot be read.
    std::string GetLocalIPs();

private:
    const CDeviceFacts& m_facts;
    std::string m_macAddress;
    std::string m_localIPs;
};
