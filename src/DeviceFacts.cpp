#include "DeviceFacts.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/if_packet.h>
#endif

#include <QSettings>
#include <QString>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>

#include "FactFormats.h"
#include "Folders.h"

namespace {

std::function<std::vector<ScreenFacts>()> g_screensReader;

// Firmware strings are a few dozen bytes; anything past this is not a name.
constexpr std::size_t kMaxFirmwareRead = 4096;

std::string ReadSmallFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(kMaxFirmwareRead, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

CivilTime FromTm(const std::tm& tm, int millisecond) {
    CivilTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = millisecond;
    return t;
}

NetworkInterface& InterfaceNamed(std::vector<NetworkInterface>& list, const char* name) {
    for (auto& entry : list) {
        if (entry.name == name) {
            return entry;
        }
    }
    list.push_back(NetworkInterface{});
    list.back().name = name;
    return list.back();
}

// The settings store of the device identifier. On Linux this is the very file Qt's native
// per-user store would use ($XDG_CONFIG_HOME/Ostrel/Calvenor.conf), but its folder is looked up
// on every use rather than once per process, so a changed XDG_CONFIG_HOME is honoured.
std::unique_ptr<QSettings> OpenSettings() {
    const auto file = calvenor::ConfigFolder() / "Ostrel" / "Calvenor.conf";
    return std::make_unique<QSettings>(QString::fromStdString(file.string()),
                                       QSettings::NativeFormat);
}

}  // namespace

CDeviceFacts::~CDeviceFacts() = default;
CSystemDeviceFacts::~CSystemDeviceFacts() = default;

bool CSystemDeviceFacts::ReadInterfaces(std::vector<NetworkInterface>& interfaces) const {
    interfaces.clear();
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) {
        return false;
    }
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(head, &::freeifaddrs);
    // getifaddrs lists the links first and then their addresses by family; gather them per
    // interface, interfaces in order of first appearance, addresses in the order listed.
    for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr) {
            continue;
        }
        NetworkInterface& item = InterfaceNamed(interfaces, entry->ifa_name);
        if ((entry->ifa_flags & IFF_UP) != 0) {
            item.up = true;
        }
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0) {
            item.loopback = true;
        }
        if (entry->ifa_addr == nullptr) {
            continue;
        }
        switch (entry->ifa_addr->sa_family) {
            case AF_INET: {
                const auto* in4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(&in4->sin_addr);
                item.addresses.push_back(
                    {NetworkInterface::Family::IPv4, std::vector<std::uint8_t>(bytes, bytes + 4)});
                break;
            }
            case AF_INET6: {
                const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(&in6->sin6_addr);
                item.addresses.push_back(
                    {NetworkInterface::Family::IPv6, std::vector<std::uint8_t>(bytes, bytes + 16)});
                break;
            }
#ifdef __linux__
            case AF_PACKET: {
                const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
                const std::size_t length =
                    std::min<std::size_t>(link->sll_halen, sizeof(link->sll_addr));
                item.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
                break;
            }
#endif
            default:
                break;
        }
    }
    return true;
}

std::string CSystemDeviceFacts::DeviceId() const {
    return ReadOrCreateDeviceId();
}

std::string CSystemDeviceFacts::OsFamily() const {
    return "Linux";
}

std::string CSystemDeviceFacts::OsVersion() const {
    // The distribution's own name, "Debian GNU/Linux 12 (bookworm)".
    return QSysInfo::prettyProductName().toUtf8().toStdString();
}

std::string CSystemDeviceFacts::Manufacturer() const {
    return ReadSmallFile("/sys/class/dmi/id/sys_vendor");
}

std::string CSystemDeviceFacts::Model() const {
    return ReadSmallFile("/sys/class/dmi/id/product_name");
}

std::string CSystemDeviceFacts::LoginName() const {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_name == nullptr) {
        return {};
    }
    return found->pw_name;
}

bool CSystemDeviceFacts::LocalAndUtcTime(CivilTime& local, CivilTime& utc) const {
    const std::time_t now = std::time(nullptr);
    std::tm localTm{};
    std::tm utcTm{};
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &localTm) == nullptr ||
        ::gmtime_r(&now, &utcTm) == nullptr) {
        return false;
    }
    local = FromTm(localTm, 0);
    utc = FromTm(utcTm, 0);
    return true;
}

CivilTime CSystemDeviceFacts::UtcNow() const {
    const auto now = std::chrono::system_clock::now();
    const auto sinceEpoch = now.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm utcTm{};
    if (::gmtime_r(&whole, &utcTm) == nullptr) {
        return CivilTime{};
    }
    return FromTm(utcTm, static_cast<int>(millis));
}

std::vector<ScreenFacts> CSystemDeviceFacts::Screens() const {
    return g_screensReader ? g_screensReader() : std::vector<ScreenFacts>{};
}

void SetScreensReader(std::function<std::vector<ScreenFacts>()> reader) {
    g_screensReader = std::move(reader);
}

std::string NewDeviceIdText() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower().toStdString();
}

std::string ReadOrCreateDeviceId() {
    auto settings = OpenSettings();
    const QString key = QStringLiteral("Agent/Id");
    const QVariant stored = settings->value(key);
    if (stored.typeId() == QMetaType::QString) {
        const std::string text = stored.toString().toStdString();
        if (IsUuidText(text)) {
            std::string lower = text;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return lower;
        }
    }
    // First run, or something that is not an identifier: make one and keep it.
    const std::string id = NewDeviceIdText();
    if (!IsUuidText(id)) {
        return {};
    }
    settings->setValue(key, QString::fromStdString(id));
    settings->sync();
    settings.reset();
    // Read it back rather than trust the status, which also reports a damaged file that was
    // read before being rewritten. One that was not kept would change on every run: send none
    // then, and try again next run.
    if (OpenSettings()->value(key).toString().toStdString() != id) {
        return {};
    }
    return id;
}
