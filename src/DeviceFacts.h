#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The device and network facts behind the fraud-prevention headers, read through one interface
// so the header builder can be tested with fixed facts while the filer reads the real system.
// Every reader answers with plain data; the text forms HMRC expects are made by the formatting
// helpers below, which are shared by the builder and its tests.

// The primary screen as the program saw it at start-up. The service library has no windows, so
// the program hands these numbers over (SetScreenFacts) before the main window is made.
struct ScreenFacts {
    int width = 0;        // pixels
    int height = 0;       // pixels
    int logicalDpi = 0;   // logical pixels per inch; 96 is a scaling factor of 1.00
    int colourDepth = 0;  // bits per pixel
};

// One moment of a clock, broken down. Month 1-12, day 1-31, millisecond 0-999.
struct CivilTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// One network interface with what the fraud headers need of it.
struct NetworkInterface {
    enum class Family { IPv4, IPv6 };
    struct Address {
        Family family = Family::IPv4;
        std::vector<std::uint8_t> bytes;  // 4 or 16 bytes, network order
    };

    std::string name;
    bool loopback = false;
    std::vector<std::uint8_t> hardwareAddress;  // empty when the interface has none
    std::vector<Address> addresses;             // unicast addresses in the system's order
};

class CDeviceFacts {
public:
    virtual ~CDeviceFacts();

    // The interfaces in the system's order; false when the list could not be obtained at all.
    virtual bool ReadInterfaces(std::vector<NetworkInterface>& interfaces) const = 0;
    // The persistent device identifier (a lowercase UUID), or empty when it cannot be kept.
    virtual std::string DeviceId() const = 0;
    virtual std::string OsFamily() const = 0;
    virtual std::string OsVersion() const = 0;
    // Firmware strings; empty when unreadable. May carry the raw bytes of the source.
    virtual std::string Manufacturer() const = 0;
    virtual std::string Model() const = 0;
    // The login name, or empty.
    virtual std::string LoginName() const = 0;
    // Local time and UTC of one and the same moment; false when the time zone is unknown.
    virtual bool LocalAndUtcTime(CivilTime& local, CivilTime& utc) const = 0;
    virtual CivilTime UtcNow() const = 0;
    virtual ScreenFacts Screen() const = 0;
};

// The facts of the machine the filer runs on: getifaddrs, the settings store, QSysInfo,
// /sys/class/dmi/id, the password database, the C library's clock and the screen facts set by
// the program.
class CSystemDeviceFacts : public CDeviceFacts {
public:
    ~CSystemDeviceFacts() override;

    bool ReadInterfaces(std::vector<NetworkInterface>& interfaces) const override;
    std::string DeviceId() const override;
    std::string OsFamily() const override;
    std::string OsVersion() const override;
    std::string Manufacturer() const override;
    std::string Model() const override;
    std::string LoginName() const override;
    bool LocalAndUtcTime(CivilTime& local, CivilTime& utc) const override;
    CivilTime UtcNow() const override;
    ScreenFacts Screen() const override;
};

// The process-wide screen facts. The filer's main sets them once from its primary screen; until
// then they are all zero.
void SetScreenFacts(const ScreenFacts& facts);
ScreenFacts GetScreenFacts();

// The device identifier in the settings store (organisation "Ostrel", application "Calvenor",
// key "Agent/Id"). Made once as a lowercase UUID and kept; a stored value that is not a UUID is
// replaced and the new one written back. Empty when the store cannot be written.
std::string ReadOrCreateDeviceId();
// A fresh lowercase UUID without braces.
std::string NewDeviceIdText();
// True for 8-4-4-4-12 hexadecimal digits joined by hyphens (either case), nothing else.
bool IsUuidText(const std::string& text);

// ---- Formatting helpers ----

// "00%3A1A%3A2B%3A3C%3A4D%3A5E": uppercase hexadecimal pairs joined by an encoded colon.
std::string FormatMacAddress(const std::vector<std::uint8_t>& bytes);

// Dotted decimal for IPv4; for IPv6 the usual compressed text, percent-encoded. Empty for an
// IPv6 address that is not reported (link-local, site-local, Teredo) and for malformed bytes.
std::string FormatLocalAddress(const NetworkInterface::Address& address);

// "+01:00", "-05:00", "+05:30": local time minus UTC, dates included.
std::string FormatUtcOffset(const CivilTime& local, const CivilTime& utc);

// "2026-03-07T09:05:03.042Z".
std::string FormatUtcTimestamp(const CivilTime& utc);

// 96 -> "1.00", 120 -> "1.25", 144 -> "1.50", 192 -> "2.00".
std::string FormatScalingFactor(int logicalDpi);

// "width=1920&height=1080&scaling-factor=1.00&colour-depth=32"; without the width and height
// (starting at "&scaling-factor=") when either is zero.
std::string FormatScreens(const ScreenFacts& screen);

// A fact text made safe for a header value: control bytes dropped, surrounding blanks trimmed,
// cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string CleanFactText(const std::string& text, std::size_t maxBytes = 255);

// Lowercase hexadecimal SHA-256 of `bytes`; empty if the digest cannot be computed.
std::string Sha256Hex(const std::string& bytes);
