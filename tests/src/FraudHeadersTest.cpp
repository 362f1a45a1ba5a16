// The fraud-prevention header set built from fixed facts, the text forms of those facts, and
// the device identifier kept in the settings store. The real machine's set is checked against
// HMRC's rules by a filing in tests/filer/FraudFeedbackTest.cpp.
#include "FraudHeaders.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "FactFormats.h"
#include "FraudHeaderValidator.h"
#include "Log.h"
#include "TestSupport.h"
#include "Text.h"

using namespace calvenor::test;

namespace {

using Address = NetworkInterface::Address;

Address V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {NetworkInterface::Family::IPv4, {a, b, c, d}};
}

Address V6(std::vector<std::uint8_t> bytes) {
    bytes.resize(16, 0);
    return {NetworkInterface::Family::IPv6, bytes};
}

NetworkInterface Interface(const char* name, bool up, std::vector<std::uint8_t> mac,
                           std::vector<Address> addresses) {
    return {name, up, std::string_view(name) == "lo", std::move(mac), std::move(addresses)};
}

const NetworkInterface kLoopback =
    Interface("lo", true, {0, 0, 0, 0, 0, 0},
              {V4(127, 0, 0, 1), V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})});
const NetworkInterface kWifiDown =
    Interface("wlan0", false, {0xAA, 0xBB, 0xCC, 0x01, 0x02, 0x03}, {V4(10, 0, 0, 9)});

// An office PC: a card with a link-local and a global IPv6 address, a virtual link with an
// all-zero hardware address and addresses at the edges of loopback and link-local, a Wi-Fi card
// that is down, a VLAN sharing the card's address, and a VPN tunnel, whose hardware address is
// an IP address.
std::vector<NetworkInterface> OfficeInterfaces() {
    const std::vector<std::uint8_t> card = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    return {kLoopback,
            Interface("eth0", true, card,
                      {V4(192, 168, 1, 20),
                       V6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1a, 0x2b, 0xff, 0xfe, 0x3c}),
                       V6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01})}),
            Interface("dummy0", true, {0, 0, 0, 0, 0, 0},
                      {V4(169, 254, 3, 4), V4(127, 0, 0, 2), V6({0xfe, 0xbf, 0, 0, 0, 0, 0, 1}),
                       V4(169, 253, 1, 1)}),
            kWifiDown,
            Interface("eth0.100", true, card, {V4(10, 1, 0, 5)}),
            Interface("tun0", true, {10, 8, 0, 2}, {V4(10, 8, 0, 2)})};
}

// Fixed facts, odd where a real machine can be odd; each call of the session below changes some.
class FakeFacts : public CDeviceFacts {
public:
    bool adaptersAnswer = true;
    std::vector<NetworkInterface> interfaces = OfficeInterfaces();
    std::string deviceId = "3f2504e0-4f89-41d3-9a0c-0305e82c3301";
    std::string manufacturer = "Smith & Sons <UK> {x}\n";
    std::string model = "\tModel=X?\\`^\r\nX-Injected: 1\n";
    std::string loginName = "Zo\xC3\xAB O\"Brien|a b";
    bool timeZoneKnown = true;
    CivilTime now{2026, 3, 7, 9, 5, 3, 42};
    std::vector<ScreenFacts> screens = {{1920, 1080, 120, 32}, {1280, 1024, 96, 24}};
    WindowSize window{800, 600};

    bool ReadInterfaces(std::vector<NetworkInterface>& out) const override {
        out = adaptersAnswer ? interfaces : std::vector<NetworkInterface>{};
        return adaptersAnswer;
    }
    std::string DeviceId() const override { return deviceId; }
    std::string OsFamily() const override { return "Linux"; }
    std::string OsVersion() const override { return "Debian GNU/Linux 12 (bookworm)"; }
    std::string Manufacturer() const override { return manufacturer; }
    std::string Model() const override { return model; }
    std::string LoginName() const override { return loginName; }
    bool LocalAndUtcTime(CivilTime& l, CivilTime& u) const override {
        l = {2026, 3, 29, 0, 30, 0, 0};
        u = {2026, 3, 28, 23, 30, 0, 0};
        return timeZoneKnown;
    }
    CivilTime UtcNow() const override { return now; }
    std::vector<ScreenFacts> Screens() const override { return screens; }
};

std::string NameOf(const std::string& line) {
    return line.substr(0, line.find(':'));
}

std::vector<std::string> NamesOf(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    std::ranges::transform(lines, std::back_inserter(names), NameOf);
    return names;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

// ---- Text forms and the device identifier ----

// What the header session below does not reach: offsets behind UTC, by half hours, across a new
// year or a leap day, and a cut inside a character.
TEST(DeviceFacts, TextFormsHoldAtTheirEdges) {
    EXPECT_EQ(FormatUtcOffset({2026, 1, 15, 8, 30, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}), "-03:30");
    EXPECT_EQ(FormatUtcOffset({2025, 12, 31, 19, 0, 0, 0}, {2026, 1, 1, 0, 0, 0, 0}), "-05:00");
    EXPECT_EQ(FormatUtcOffset({2024, 3, 1, 8, 45, 0, 0}, {2024, 2, 29, 19, 0, 0, 0}), "+13:45");
    EXPECT_EQ(CleanFactText(std::string(254, 'x') + "\xC3\xA9"), std::string(254, 'x'));
}

// Made once and kept; a stored value in another form is replaced (other settings kept), a
// damaged store rewritten, and an unwritable one gives no identifier rather than a new one a run.
TEST(DeviceFacts, TheDeviceIdentifierIsMadeOnceAndKept) {
    IsolatedHome home;
    const auto store = home.Root() / "config" / "Ostrel" / "Calvenor.conf";
    const auto settings = [&] {
        return std::make_unique<QSettings>(QString::fromStdString(store.string()),
                                           QSettings::NativeFormat);
    };
    const std::string first = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(first) && first.find_first_of("ABCDEF{}") == std::string::npos);
    EXPECT_EQ(settings()->value("Agent/Id").toString().toStdString(), first);
    EXPECT_EQ(ReadOrCreateDeviceId(), first);

    const QVariant stored[] = {QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"),
                               QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"),
                               QVariant(QStringList{"a", "b"})};
    for (const QVariant& value : stored) {
        settings()->setValue("Agent/Id", value);
        settings()->setValue("Other/Kept", "yes");
        const std::string id = ReadOrCreateDeviceId();
        EXPECT_TRUE(IsUuidText(id)) << id;
        EXPECT_EQ(id == "0f8fad5b-d9cb-469f-a165-70867728950e", &value == &stored[0]) << id;
        EXPECT_EQ(ReadOrCreateDeviceId(), id);
        EXPECT_EQ(settings()->value("Other/Kept").toString(), "yes");
    }

    WriteFile(store, std::string("\x00\xff\x01[[[\n=\n[Agent\nId=zz\n", 18));
    const std::string rewritten = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(rewritten)) << rewritten;
    EXPECT_EQ(ReadOrCreateDeviceId(), rewritten);
    // A plain file where the settings folder should be: no user, root included, can write it.
    WriteFile(home.Root() / "not-a-folder", "x");
    ScopedEnv config("XDG_CONFIG_HOME", (home.Root() / "not-a-folder").string());
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
}

// ---- The header set ----

// One filer session after another: each call changes some facts, builds the set for one request
// and checks the lines it names ("Name: value" sent exactly so, a bare "Name" left out). Every
// call also checks the order of the rest, and that HMRC's checks find nothing wrong but the
// headers left out.
TEST(FraudHeaders, EveryRequestDescribesTheMachineAsItIsThen) {
    IsolatedHome home;
    CLog::ResetForTesting();
    struct Call {
        const char* name;
        std::function<void(FakeFacts&)> change;
        std::vector<std::string> lines;
        bool newSession = false;
    };
    const Call calls[] = {
        {"odd names, three cards, two screens",
         [](FakeFacts&) {},
         {"Gov-Client-Connection-Method: DESKTOP_APP_DIRECT",
          "Gov-Client-MAC-Addresses: 00%3A1A%3A2B%3A3C%3A4D%3A5E,AA%3ABB%3ACC%3A01%3A02%3A03",
          "Gov-Client-Device-ID: 3f2504e0-4f89-41d3-9a0c-0305e82c3301",
          "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:05:03.042Z",
          "Gov-Client-Local-IPs: 192.168.1.20,2001%3Adb8%3A%3A1,169.253.1.1,10.1.0.5,10.8.0.2",
          "Gov-Vendor-Version: Calvenor=2.12.2",
          "Gov-Client-User-Agent: os-family=Linux&os-version=Debian%20GNU%2FLinux%2012%20%28"
          "bookworm%29&device-manufacturer=Smith%20%26%20Sons%20%3CUK%3E%20%7Bx%7D"
          "&device-model=Model%3DX%3F%5C%60%5EX-Injected%3A%201",
          "Gov-Client-User-IDs: os=Zo%C3%AB%20O%22Brien%7Ca%20b", "Gov-Client-Timezone: UTC+01:00",
          "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.25&colour-depth=32,"
          "width=1280&height=1024&scaling-factor=1.00&colour-depth=24",
          "Gov-Client-Window-Size: width=800&height=600",
          // SHA-256 of "abc", never the profile itself.
          "Gov-Vendor-License-IDs: "
          "Calvenor=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
          "Gov-Vendor-Product-Name: Calvenor"}},
        {"window resized",
         [](FakeFacts& f) {
             f.window = {1024, 700};
         },
         {"Gov-Client-Window-Size: width=1024&height=700"}},
        {"network changed",
         [](FakeFacts& f) {
             f.now = {2026, 3, 7, 9, 35, 10, 500};
             f.interfaces[1].addresses = {V4(192, 168, 7, 31)};
             f.interfaces[3].up = true;
         },
         {"Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:35:10.500Z",
          "Gov-Client-Local-IPs: 192.168.7.31,169.253.1.1,10.0.0.9,10.1.0.5,10.8.0.2",
          "Gov-Client-MAC-Addresses: 00%3A1A%3A2B%3A3C%3A4D%3A5E,AA%3ABB%3ACC%3A01%3A02%3A03"}},
        {"a screen without a size",
         [](FakeFacts& f) {
             f.screens = {{0, 0, 96, 24}};
         },
         {"Gov-Client-Screens"}},
        {"interfaces unreadable and time zone unknown",
         [](FakeFacts& f) {
             f.adaptersAnswer = false;
             f.timeZoneKnown = false;
             f.screens = {{1920, 1080, 120, 32}};
         },
         {"Gov-Client-MAC-Addresses", "Gov-Client-Local-IPs-Timestamp", "Gov-Client-Local-IPs",
          "Gov-Client-Timezone",
          "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.25&colour-depth=32"}},
        {"only loopback is up",
         [](FakeFacts& f) {
             f.adaptersAnswer = f.timeZoneKnown = true;
             f.interfaces = {kLoopback, kWifiDown};
         },
         {"Gov-Client-MAC-Addresses: AA%3ABB%3ACC%3A01%3A02%3A03",
          "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:35:10.500Z", "Gov-Client-Local-IPs"}},
        {"next session: no login name, identifier, firmware names or window",
         [](FakeFacts& f) {
             f.loginName = f.deviceId = f.manufacturer = f.model = "";
             f.window = {};
         },
         {"Gov-Client-User-IDs", "Gov-Client-Device-ID", "Gov-Client-Window-Size",
          "Gov-Client-Local-IPs",
          "Gov-Client-User-Agent: os-family=Linux&os-version=Debian%20GNU%2FLinux%2012%20%28"
          "bookworm%29&device-manufacturer=&device-model="},
         true},
    };
    FakeFacts facts;
    std::unique_ptr<CFraudHeaders> headers;
    for (const auto& call : calls) {
        SCOPED_TRACE(call.name);
        call.change(facts);
        if (!headers || call.newSession) {
            headers = std::make_unique<CFraudHeaders>("abc", facts);
            headers->SetWindowSizeReader([&facts] { return facts.window; });
        }
        headers->Build();
        const auto& lines = headers->GetHeaderLines();

        std::vector<std::string> names = NamesOf(calls[0].lines);  // every header, in order
        std::set<std::string> gone;
        for (const auto& expected : call.lines) {
            const auto line = std::ranges::find(lines, NameOf(expected), NameOf);
            if (NameOf(expected) != expected) {
                EXPECT_EQ(line == lines.end() ? "" : *line, expected);
            } else {
                std::erase(names, expected);
                gone.insert(calvenor::AsciiLower(expected));
            }
        }
        EXPECT_EQ(NamesOf(lines), names);
        // Raw bytes, empty values and values starting with a separator are errors there too.
        for (const auto& error : calvenor::sandbox::ValidateFraudHeaders(lines).errors)
            EXPECT_TRUE(gone.count(error.header)) << error.header << ": " << error.message;
    }

    // The log gives each omission its reason once per session: the local addresses were left
    // out by two calls of the first session and again in the second.
    const std::string log = ReadFile(home.LogPath());
    EXPECT_EQ(Count(log, "Gov-Client-Local-IPs not sent: "), 2u) << log;
    EXPECT_EQ(Count(log,
                    "Gov-Client-Screens not sent: no screen with a known size, scaling and "
                    "colour depth\r\n"),
              1u)
        << log;
    CLog::ResetForTesting();
}
