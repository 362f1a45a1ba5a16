#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DeviceFacts.h"

// The fraud-prevention header set of a desktop program that connects to HMRC directly: complete
// header lines ("Gov-Client-Connection-Method: DESKTOP_APP_DIRECT"), no line ends, in the order
// HMRC's VAT calls carry them. The service object builds the set once, copies the lines and
// drops this object; the obligations and submission requests append the lines after their
// Authorization header. The token requests carry none.
class CFraudHeaders {
public:
    // The facts of this machine.
    explicit CFraudHeaders(const std::string& profileText);
    // The facts of `facts`, which must outlive this object.
    CFraudHeaders(const std::string& profileText, const CDeviceFacts& facts);
    virtual ~CFraudHeaders();

    CFraudHeaders(const CFraudHeaders&) = delete;
    CFraudHeaders& operator=(const CFraudHeaders&) = delete;

    // Builds the set afresh (the constructors already did). A fact that cannot be read only
    // empties or leaves out its own line; nothing is reported.
    void Build();

    const std::vector<std::string>& GetHeaderLines() const { return m_headerLines; }

    // The values, as they follow their header names.
    std::string GetDeviceId() const;
    static std::string NewDeviceId();
    std::string GetLocalIPsTimestamp() const;
    std::string GetUserAgent();
    std::string GetUserId() const;
    std::string GetTimezone() const;
    std::string GetScreens() const;
    static std::string GetWindowSize();
    std::string GetVendorIds() const;
    static std::string GetVendorVersion();
    static std::string GetProductName();

private:
    std::unique_ptr<CDeviceFacts> m_ownFacts;
    const CDeviceFacts& m_facts;
    // Only the digest of the profile is kept: the profile holds the client secret.
    std::string m_profileDigest;
    // Working text of the user-agent value.
    std::string m_userAgent;
    std::vector<std::string> m_headerLines;
};
