#include "FraudHeaders.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "AdapterInfo.h"
#include "DeviceFacts.h"
#include "TestSupport.h"

namespace {

using Family = NetworkInterface::Family;

NetworkInterface::Address V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {Family::IPv4, {a, b, c, d}};
}

NetworkInterface::Address V6(std::vector<std::uint8_t> bytes) {
    bytes.resize(16, 0);
    return {Family::IPv6, bytes};
}

NetworkInterface Loopback() {
    NetworkInterface lo;
    lo.name = "lo";
    lo.loopback = true;
    lo.hardwareAddress = {0, 0, 0, 0, 0, 0};
    lo.addresses = {V4(127, 0, 0, 1), V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})};
    return lo;
}

NetworkInterface Ethernet() {
    NetworkInterface eth;
    eth.name = "eth0";
    eth.hardwareAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    eth.addresses = {V4(192, 168, 1, 20)};
    return eth;
}

// Fixed facts of a plausible office PC; each test changes what it is about.
class FakeFacts : public CDeviceFacts {
public:
    bool adaptersAnswer = true;
    std::vector<NetworkInterface> interfaces = {Loopback(), Ethernet()};
    std::string deviceId = "3f2504e0-4f89-41d3-9a0c-0305e82c3301";
    std::string osFamily = "Linux";
    std::string osVersion = "Debian GNU/Linux 12 (bookworm)";
    std::string manufacturer = "Dell Inc.\n";
    std::string model = "OptiPlex 7090\n";
    std::string loginName = "jsmith";
    bool timeZoneKnown = true;
    CivilTime local{2026, 3, 29, 0, 30, 0, 0};
    CivilTime utc{2026, 3, 28, 23, 30, 0, 0};
    CivilTime now{2026, 3, 7, 9, 5, 3, 42};
    ScreenFacts screen{1920, 1080, 120, 32};
    mutable int interfaceReads = 0;

    bool ReadInterfaces(std::vector<NetworkInterface>& out) const override {
        ++interfaceReads;
        out = adaptersAnswer ? interfaces : std::vector<NetworkInterface>{};
        return adaptersAnswer;
    }
    std::string DeviceId() const override { return deviceId; }
    std::string OsFamily() const override { return osFamily; }
    std::string OsVersion() const override { return osVersion; }
    std::string Manufacturer() const override { return manufacturer; }
    std::string Model() const override { return model; }
    std::string LoginName() const override { return loginName; }
    bool LocalAndUtcTime(CivilTime& l, CivilTime& u) const override {
        l = local;
        u = utc;
        return timeZoneKnown;
    }
    CivilTime UtcNow() const override { return now; }
    ScreenFacts Screen() const override { return screen; }
};

std::vector<std::string> Names(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const auto& line : lines) {
        names.push_back(line.substr(0, line.find(':')));
    }
    return names;
}

std::string LineNamed(const std::vector<std::string>& lines, const std::string& name) {
    for (const auto& line : lines) {
        if (line.rfind(name + ": ", 0) == 0) {
            return line;
        }
    }
    return {};
}

const std::vector<std::string> kAllNames = {
    "Gov-Client-Connection-Method", "Gov-Client-MAC-Addresses",
    "Gov-Client-Device-ID",         "Gov-Client-Local-IPs-Timestamp",
    "Gov-Client-Local-IPs",         "Gov-Vendor-Version",
    "Gov-Client-User-Agent",        "Gov-Client-User-IDs",
    "Gov-Client-Timezone",          "Gov-Client-Screens",
    "Gov-Client-Window-Size",       "Gov-Vendor-License-IDs",
    "Gov-Vendor-Product-Name"};

std::vector<std::string> Without(std::vector<std::string> names,
                                 const std::vector<std::string>& gone) {
    for (const auto& name : gone) {
        names.erase(std::remove(names.begin(), names.end(), name), names.end());
    }
    return names;
}

}  // namespace

TEST(FraudHeaders, BuildsTheFullSetInOrder) {
    FakeFacts facts;
    facts.interfaces.back().addresses.push_back(
        V6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}));
    CFraudHeaders headers("abc", facts);
    const std::vector<std::string> expected = {
        "Gov-Client-Connection-Method: DESKTOP_APP_DIRECT",
        "Gov-Client-MAC-Addresses: 00%3A1A%3A2B%3A3C%3A4D%3A5E",
        "Gov-Client-Device-ID: 3f2504e0-4f89-41d3-9a0c-0305e82c3301",
        "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:05:03.042Z",
        "Gov-Client-Local-IPs: 192.168.1.20,2001%3Adb8%3A%3A1",
        "Gov-Vendor-Version: Calvenor=2.12.2",
        "Gov-Client-User-Agent: os-family=Linux&os-version=Debian%20GNU%2FLinux%2012%20%28bookworm"
        "%29&device-manufacturer=Dell%20Inc.&device-model=OptiPlex%207090",
        "Gov-Client-User-IDs: os=jsmith", "Gov-Client-Timezone: UTC+01:00",
        "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.25&colour-depth=32",
        "Gov-Client-Window-Size: width=363&height=411",
        // SHA-256 of "abc".
        "Gov-Vendor-License-IDs: "
        "Calvenor=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "Gov-Vendor-Product-Name: Calvenor"};
    EXPECT_EQ(headers.GetHeaderLines(), expected);
}

TEST(FraudHeaders, BuildingAgainReplacesTheSetInsteadOfAddingToIt) {
    FakeFacts facts;
    CFraudHeaders headers("{}", facts);
    const auto first = headers.GetHeaderLines();
    headers.Build();
    EXPECT_EQ(headers.GetHeaderLines(), first);
}

TEST(FraudHeaders, OnlyLoopbackAddressesLeaveOutTheAddressListButKeepItsTimeStamp) {
    FakeFacts facts;
    facts.interfaces.back().addresses.clear();
    CFraudHeaders headers("{}", facts);
    EXPECT_EQ(Names(headers.GetHeaderLines()), Without(kAllNames, {"Gov-Client-Local-IPs"}));
}

TEST(FraudHeaders, AFailedAdapterQueryRemovesTheFourNetworkLinesTogether) {
    FakeFacts facts;
    facts.adaptersAnswer = false;
    CFraudHeaders headers("{}", facts);
    EXPECT_EQ(Names(headers.GetHeaderLines()),
              Without(kAllNames, {"Gov-Client-MAC-Addresses", "Gov-Client-Device-ID",
                                  "Gov-Client-Local-IPs-Timestamp", "Gov-Client-Local-IPs"}));
}

TEST(FraudHeaders, MissingFactsEmptyOrRemoveOnlyTheirOwnLine) {
    FakeFacts facts;
    facts.loginName.clear();
    facts.timeZoneKnown = false;
    facts.deviceId.clear();
    facts.interfaces.back().hardwareAddress.clear();
    CFraudHeaders headers("{}", facts);
    const auto& lines = headers.GetHeaderLines();
    EXPECT_EQ(Names(lines), Without(kAllNames, {"Gov-Client-User-IDs", "Gov-Client-Timezone"}));
    EXPECT_EQ(LineNamed(lines, "Gov-Client-MAC-Addresses"), "Gov-Client-MAC-Addresses: ");
    EXPECT_EQ(LineNamed(lines, "Gov-Client-Device-ID"), "Gov-Client-Device-ID: ");
}

TEST(FraudHeaders, UnreadableFirmwareLeavesManufacturerAndModelEmpty) {
    FakeFacts facts;
    facts.manufacturer.clear();
    facts.model.clear();
    CFraudHeaders headers("{}", facts);
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-User-Agent"),
              "Gov-Client-User-Agent: os-family=Linux&os-version=Debian%20GNU%2FLinux%2012%20%28"
              "bookworm%29&device-manufacturer=&device-model=");
}

TEST(FraudHeaders, ReservedCharactersInFactsAreEncodedWhileSeparatorsStayLiteral) {
    FakeFacts facts;
    facts.osVersion = "12";
    facts.manufacturer = "Smith & Sons";
    facts.model = "Model=X?";
    facts.loginName = "j&smith";
    CFraudHeaders headers("{}", facts);
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-User-Agent"),
              "Gov-Client-User-Agent: os-family=Linux&os-version=12"
              "&device-manufacturer=Smith%20%26%20Sons&device-model=Model%3DX%3F");
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-User-IDs"),
              "Gov-Client-User-IDs: os=j%26smith");
}

TEST(FraudHeaders, ControlBytesInFactsNeverReachAHeader) {
    FakeFacts facts;
    facts.manufacturer = "  Evil\r\nX-Injected: 1\n";
    facts.model = "\t\x01Model\x7F 9 \n";
    facts.loginName = "bob\n";
    facts.osVersion = "Linux\r\n";
    facts.deviceId = "3f2504e0-4f89-41d3-9a0c-0305e82c3301\n";
    CFraudHeaders headers("{}", facts);
    for (const auto& line : headers.GetHeaderLines()) {
        for (unsigned char c : line) {
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "control byte in: " << line;
        }
    }
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-User-Agent"),
              "Gov-Client-User-Agent: os-family=Linux&os-version=Linux"
              "&device-manufacturer=EvilX-Injected%3A%201&device-model=Model%209");
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-User-IDs"),
              "Gov-Client-User-IDs: os=bob");
}

TEST(FraudHeaders, ScreensWithoutASizeStartAtTheScalingFactor) {
    FakeFacts facts;
    facts.screen = {0, 1080, 96, 24};
    CFraudHeaders headers("{}", facts);
    EXPECT_EQ(LineNamed(headers.GetHeaderLines(), "Gov-Client-Screens"),
              "Gov-Client-Screens: &scaling-factor=1.00&colour-depth=24");
}

TEST(FraudHeaders, LicenceLineCarriesADigestAndNoByteOfTheProfile) {
    FakeFacts facts;
    const std::string profile =
        R"({"client_id":"Qz8","client_secret":"s3cr3t-value","clients":[{"company_name":"ACME"}]})";
    CFraudHeaders headers(profile, facts);
    const std::string line = LineNamed(headers.GetHeaderLines(), "Gov-Vendor-License-IDs");
    const std::string prefix = "Gov-Vendor-License-IDs: Calvenor=";
    ASSERT_EQ(line.rfind(prefix, 0), 0u);
    const std::string digest = line.substr(prefix.size());
    EXPECT_EQ(digest.size(), 64u);
    EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(line.find("s3cr3t"), std::string::npos);
    // The same profile always gives the same licence value; another gives another.
    EXPECT_EQ(LineNamed(CFraudHeaders(profile, facts).GetHeaderLines(), "Gov-Vendor-License-IDs"),
              line);
    EXPECT_NE(
        LineNamed(CFraudHeaders(profile + " ", facts).GetHeaderLines(), "Gov-Vendor-License-IDs"),
        line);
}

// ---- Adapters ----

TEST(AdapterInfo, TakesTheHardwareAddressOfTheFirstInterfaceThatHasOne) {
    FakeFacts facts;
    NetworkInterface tunnel;
    tunnel.name = "tun0";
    tunnel.addresses = {V4(10, 8, 0, 2)};
    NetworkInterface dummy;
    dummy.name = "dummy0";
    dummy.hardwareAddress = {0, 0, 0, 0, 0, 0};
    NetworkInterface wifi;
    wifi.name = "wlan0";
    wifi.hardwareAddress = {0xAA, 0xBB, 0xCC, 0x01, 0x02, 0x03};
    facts.interfaces = {Loopback(), tunnel, dummy, Ethernet(), wifi};
    CAdapterInfo info(facts);
    ASSERT_TRUE(info.Collect());
    EXPECT_EQ(info.GetMacAddress(), "00%3A1A%3A2B%3A3C%3A4D%3A5E");

    facts.interfaces = {Loopback(), tunnel};
    ASSERT_TRUE(info.Collect());
    EXPECT_EQ(info.GetMacAddress(), "");
}

TEST(AdapterInfo, ListsAddressesInInterfaceOrderThenAddressOrder) {
    FakeFacts facts;
    NetworkInterface first = Ethernet();
    first.addresses = {V4(192, 168, 1, 20),
                       V6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1a, 0x2b, 0xff, 0xfe, 0x3c}),
                       V4(192, 168, 1, 21)};
    NetworkInterface second;
    second.name = "eth1";
    second.addresses = {V4(10, 0, 0, 5), V6({0x20, 0x01, 0x00, 0x00, 0x41, 0x36, 0xe3, 0x78}),
                        V6({0x2a, 0x02, 0x0c, 0x7f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07})};
    facts.interfaces = {Loopback(), first, second};
    CAdapterInfo info(facts);
    EXPECT_EQ(info.GetLocalIPs(), "192.168.1.20,192.168.1.21,10.0.0.5,2a02%3Ac7f%3A%3A7");

    facts.interfaces = {Loopback()};
    EXPECT_EQ(info.GetLocalIPs(), "");
    facts.interfaces = {Loopback(), first};
    facts.adaptersAnswer = false;
    EXPECT_EQ(info.GetLocalIPs(), "");
}

// ---- The real machine ----

TEST(FraudHeadersOnThisMachine, GivesWellFormedLinesAndKeepsTheDeviceId) {
    calvenor::test::IsolatedHome home;
    SetScreenFacts({1920, 1080, 96, 24});
    const auto first = CFraudHeaders("{\"client_id\":\"x\"}").GetHeaderLines();
    const auto second = CFraudHeaders("{\"client_id\":\"x\"}").GetHeaderLines();
    SetScreenFacts({});

    ASSERT_GE(first.size(), 8u);
    EXPECT_EQ(first.front(), "Gov-Client-Connection-Method: DESKTOP_APP_DIRECT");
    EXPECT_EQ(first.back(), "Gov-Vendor-Product-Name: Calvenor");
    for (const auto& line : first) {
        const auto colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        for (unsigned char c : line) {
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "control byte in: " << line;
        }
    }
    EXPECT_EQ(LineNamed(first, "Gov-Client-Screens"),
              "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.00&colour-depth=24");
    EXPECT_NE(LineNamed(first, "Gov-Client-User-Agent")
                  .rfind("Gov-Client-User-Agent: os-family=Linux&os-version=", 0),
              std::string::npos);
    const std::string deviceLine = LineNamed(first, "Gov-Client-Device-ID");
    ASSERT_FALSE(deviceLine.empty());
    EXPECT_TRUE(IsUuidText(deviceLine.substr(deviceLine.find(": ") + 2))) << deviceLine;
    EXPECT_EQ(LineNamed(second, "Gov-Client-Device-ID"), deviceLine);
    // Kept where the settings store of this user lives, not in the real home.
    EXPECT_TRUE(std::filesystem::exists(home.Root() / "config" / "Ostrel" / "Calvenor.conf"));
}
