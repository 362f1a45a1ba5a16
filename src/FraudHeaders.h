#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "DeviceFacts.h"

// The fraud-prevention header set of a desktop program that connects to HMRC directly: complete
// header lines ("Gov-Client-Connection-Method: DESKTOP_APP_DIRECT"), no line ends, always in
// the same order. The service object keeps one builder for the session and builds the set afresh
// for every VAT request, which appends the lines after its Authorization header; the token
// requests carry none. The device identifier and the user-agent and user facts are read once per
// session; the network, the clock, the screens and the window are read at every build.
class CFraudHeaders {
public:
    // The facts of this machine.
    explicit CFraudHeaders(const std::string& profileText);
    // The facts of `facts`, which must outlive this object.
    CFraudHeaders(const std::string& profileText, const CDeviceFacts& facts);
    virtual ~CFraudHeaders();

    CFraudHeaders(const CFraudHeaders&) = delete;
    CFraudHeaders& operator=(const CFraudHeaders&) = delete;

    // The size of the window the user works in, asked at every build.
    void SetWindowSizeReader(std::function<WindowSize()> reader);

    // Builds the set for one request, replacing the last one. A fact that cannot be read leaves
    // its header out (a header is never sent empty: libcurl would drop it unsaid), and the log
    // names the header and the reason the first time only.
    void Build();

    // The lines of the last build; empty before the first.
    const std::vector<std::string>& GetHeaderLines() const { return m_headerLines; }

    // The values as they follow their header names, every key and value percent-encoded; empty
    // when the fact cannot be read.
    std::string GetDeviceId() const;
    static std::string NewDeviceId();
    std::string GetLocalIPsTimestamp() const;
    std::string GetUserAgent();
    std::string GetUserId() const;
    std::string GetTimezone() const;
    std::string GetScreens() const;
    std::string GetWindowSize() const;
    std::string GetVendorIds() const;
    static std::string GetVendorVersion();
    static std::string GetProductName();

private:
    void Add(const char* name, const std::string& value,
             const char* reasonWhenEmpty = "its value could not be made");

    std::unique_ptr<CDeviceFacts> m_ownFacts;
    const CDeviceFacts& m_facts;
    std::function<WindowSize()> m_windowSize;
    // Only the digest of the profile is kept: the profile holds the client secret.
    std::string m_profileDigest;
    // The facts read once per session (after the first build).
    bool m_sessionFactsRead = false;
    std::string m_deviceId;
    std::string m_userAgent;
    std::string m_userId;
    // Headers whose omission has been logged this session.
    std::set<std::string> m_omissionsLogged;
    std::vector<std::string> m_headerLines;
};
