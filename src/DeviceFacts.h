#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The device and network facts behind the fraud-prevention headers, read through one interface
// so the header builder can be tested with fixed facts while the filer reads the real system.
// Every reader answers with plain data; the text forms HMRC expects are made in FactFormats.h.

// One screen as the program's windowing system reports it. The service library has no windows,
// so the program installs a reader for them (SetScreensReader).
struct ScreenFacts {
    int width = 0;        // pixels
    int height = 0;       // pixels
    int logicalDpi = 0;   // logical pixels per inch; 96 is a scaling factor of 1.00
    int colourDepth = 0;  // bits per pixel
};

// The size in pixels of the window the user works in; zero when it is not known.
struct WindowSize {
    int width = 0;
    int height = 0;
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
    bool up = false;
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
    // Every screen, in the windowing system's order; empty when none is known.
    virtual std::vector<ScreenFacts> Screens() const = 0;
};

// The facts of the machine the filer runs on: getifaddrs, the settings store, QSysInfo,
// /sys/class/dmi/id, the password database, the C library's clock and the screens reader the
// program installed.
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
    std::vector<ScreenFacts> Screens() const override;
};

// The process-wide reader of the screens, asked each time the headers are built (screens come
// and go while the filer runs). The filer installs it at start-up; an empty one (the default)
// knows no screen.
void SetScreensReader(std::function<std::vector<ScreenFacts>()> reader);

// The device identifier in the settings store (organisation "Ostrel", application "Calvenor",
// key "Agent/Id"). Made once as a lowercase UUID and kept; a stored value that is not a UUID is
// replaced and the new one written back. Empty when the store cannot be written.
std::string ReadOrCreateDeviceId();
// A fresh lowercase UUID without braces.
std::string NewDeviceIdText();
