// The device facts behind the fraud-prevention headers, their text forms, and the header set built
// from fixed facts. The real machine's set is checked against HMRC's rules in
// SandboxJourneyTest.cpp.
#include "FraudHeaders.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <algorithm>
#include <functional>

#include "AdapterInfo.h"
#include "DeviceFacts.h"
#include "TestSupport.h"

namespace {

using Family = NetworkInterface::Family;

struct TextRow {
    const char* name;
    std::string actual, expected;
};

void ExpectRows(std::initializer_list<TextRow> rows) {
    for (const auto& row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.name;
}

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
    std::string osVersion = "Debian GNU/Linux 12 (bookworm)";
    std::string manufacturer = "Dell Inc.\n";
    std::string model = "OptiPlex 7090\n";
    std::string loginName = "jsmith";
    bool timeZoneKnown = true;
    ScreenFacts screen{1920, 1080, 120, 32};

    bool ReadInterfaces(std::vector<NetworkInterface>& out) const override {
        out = adaptersAnswer ? interfaces : std::vector<NetworkInterface>{};
        return adaptersAnswer;
    }
    std::string DeviceId() const override { return deviceId; }
    std::string OsFamily() const override { return "Linux"; }
    std::string OsVersion() const override { return osVersion; }
    std::string Manufacturer() const override { return manufacturer; }
    std::string Model() const override { return model; }
    std::string LoginName() const override { return loginName; }
    bool LocalAndUtcTime(CivilTime& l, CivilTime& u) const override {
        l = {2026, 3, 29, 0, 30, 0, 0};
        u = {2026, 3, 28, 23, 30, 0, 0};
        return timeZoneKnown;
    }
    CivilTime UtcNow() const override { return {2026, 3, 7, 9, 5, 3, 42}; }
    ScreenFacts Screen() const override { return screen; }
};

std::vector<std::string> Names(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const auto& line : lines)
        names.push_back(line.substr(0, line.find(':')));
    return names;
}

std::string LineNamed(const std::vector<std::string>& lines, const std::string& name) {
    for (const auto& line : lines) {
        if (line.rfind(name + ": ", 0) == 0)
            return line;
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
    for (const auto& name : gone)
        names.erase(std::remove(names.begin(), names.end(), name), names.end());
    return names;
}

}  // namespace

// ---- Text forms of the facts ----

// Forms that the exact header set and the adapter list below pin already are not repeated here.
TEST(DeviceFacts, AddressesTakeHmrcsFormsAndUnreportableOnesAreLeftOut) {
    ExpectRows({
        {"mac uppercase", FormatMacAddress({0xab, 0xcd, 0xef, 0x0f, 0xf0, 0x09}),
         "AB%3ACD%3AEF%3A0F%3AF0%3A09"},
        {"mac eight bytes", FormatMacAddress({1, 2, 3, 4, 5, 6, 7, 8}),
         "01%3A02%3A03%3A04%3A05%3A06%3A07%3A08"},
        {"ipv4", FormatLocalAddress(V4(10, 0, 0, 255)), "10.0.0.255"},
        {"ipv6 global",
         FormatLocalAddress(
             V6({0x2a, 0x00, 0x23, 0xc5, 0xfe, 0x1a, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x10})),
         "2a00%3A23c5%3Afe1a%3A1%3A%3A10"},
        {"ipv6 trailing zeros", FormatLocalAddress(V6({0x20, 0x01, 0x0d, 0xb8})),
         "2001%3Adb8%3A%3A"},
        {"ipv6 unique local",
         FormatLocalAddress(V6({0xfd, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})),
         "fd12%3A3456%3A%3A1"},
        {"ipv6 site local", FormatLocalAddress(V6({0xfe, 0xc0, 0, 0, 0, 0, 0, 0, 1})), ""},
        {"ipv6 teredo zero server", FormatLocalAddress(V6({0x20, 0x01, 0x00, 0x00})), ""},
        {"ipv6 short", FormatLocalAddress({Family::IPv6, {0x20, 0x01}}), ""},
        {"ipv4 short", FormatLocalAddress({Family::IPv4, {10, 0, 0}}), ""},
    });
}

TEST(DeviceFacts, TimesScreensAndTextsTakeHmrcsForms) {
    ExpectRows({
        {"offset uk winter",
         FormatUtcOffset({2026, 1, 15, 12, 0, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}), "+00:00"},
        {"offset india", FormatUtcOffset({2026, 1, 15, 17, 30, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}),
         "+05:30"},
        {"offset newfoundland",
         FormatUtcOffset({2026, 1, 15, 8, 30, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}), "-03:30"},
        {"offset behind across new year",
         FormatUtcOffset({2025, 12, 31, 19, 0, 0, 0}, {2026, 1, 1, 0, 0, 0, 0}), "-05:00"},
        {"offset ahead across leap february",
         FormatUtcOffset({2024, 3, 1, 8, 45, 0, 0}, {2024, 2, 29, 19, 0, 0, 0}), "+13:45"},
        {"timestamp large fields", FormatUtcTimestamp({2026, 12, 31, 23, 59, 59, 999}),
         "2026-12-31T23:59:59.999Z"},
        {"scaling 110 drops remainder", FormatScalingFactor(110), "1.14"},
        {"scaling 72", FormatScalingFactor(72), "0.75"},
        {"scaling unknown", FormatScalingFactor(0), "0.00"},
        {"scaling 960", FormatScalingFactor(960), "10.00"},
        {"screens without height", FormatScreens({1920, 0, 96, 24}),
         "&scaling-factor=1.00&colour-depth=24"},
        {"clean only blanks", CleanFactText(" \n "), ""},
        {"cut at limit", CleanFactText(std::string(300, 'x')), std::string(255, 'x')},
        {"cut never splits utf8", CleanFactText(std::string(254, 'x') + "\xC3\xA9"),
         std::string(254, 'x')},
        {"cut keeps whole utf8", CleanFactText("ab\xC3\xA9", 4), "ab\xC3\xA9"},
        {"cut then trim", CleanFactText("abc def", 4), "abc"},
    });
}

// ---- Device identifier ----

class DeviceId : public testing::Test {
protected:
    QSettings Store() const {
        return QSettings(QString::fromStdString(StoreFile().string()), QSettings::NativeFormat);
    }
    std::filesystem::path StoreFile() const {
        return m_home.Root() / "config" / "Ostrel" / "Calvenor.conf";
    }
    calvenor::test::IsolatedHome m_home;
};

TEST_F(DeviceId, IsMadeOnceAndKeptAndAStoredValueThatIsNotAUuidIsReplaced) {
    const std::string first = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(first)) << first;
    EXPECT_EQ(first.find_first_of("ABCDEF{}"), std::string::npos) << first;
    EXPECT_EQ(Store().value("Agent/Id").toString().toStdString(), first);
    EXPECT_EQ(ReadOrCreateDeviceId(), first);

    const QVariant stored[] = {QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"),
                               QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"),
                               QStringLiteral(""),
                               QStringLiteral("not-a-uuid"),
                               QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"),
                               QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e\n"),
                               QStringLiteral("0f8fad5bxd9cb-469f-a165-70867728950e"),
                               QVariant(QStringList{"a", "b"})};
    for (std::size_t i = 0; i < std::size(stored); ++i) {
        SCOPED_TRACE(stored[i].toString().toStdString());
        Store().setValue("Agent/Id", stored[i]);
        Store().setValue("Other/Kept", "yes");
        const std::string id = ReadOrCreateDeviceId();
        if (i < 2) {
            EXPECT_EQ(id, "0f8fad5b-d9cb-469f-a165-70867728950e");
        }
        EXPECT_TRUE(IsUuidText(id)) << id;
        EXPECT_EQ(ReadOrCreateDeviceId(), id);
        EXPECT_EQ(Store().value("Other/Kept").toString(), "yes");
    }
}

TEST_F(DeviceId, ADamagedStoreIsRewrittenAndAnUnwritableOneGivesNone) {
    std::filesystem::create_directories(StoreFile().parent_path());
    calvenor::test::WriteFile(StoreFile(), std::string("\x00\xff\x01[[[\n=\n[Agent\nId=zz\n", 18));
    const std::string id = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(id)) << id;
    EXPECT_EQ(ReadOrCreateDeviceId(), id);

    // A plain file where the settings folder should be: no user, root included, can write it.
    calvenor::test::WriteFile(m_home.Root() / "not-a-folder", "x");
    calvenor::test::ScopedEnv config("XDG_CONFIG_HOME", (m_home.Root() / "not-a-folder").string());
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
}

// ---- The header set ----

TEST(FraudHeaders, BuildsTheFullSetInOrderAndBuildingAgainReplacesIt) {
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
    headers.Build();
    EXPECT_EQ(headers.GetHeaderLines(), expected);
}

// A missing fact removes or empties only its own lines; fact texts are cleaned of control bytes
// (no header can be injected) and their reserved characters encoded, while the separators between
// the parts of a value stay literal.
TEST(FraudHeaders, EachFactShapesOnlyItsOwnLines) {
    struct Row {
        const char* name;
        std::function<void(FakeFacts&)> change;
        std::vector<std::string> gone, lines;
    };
    const auto odd = [](FakeFacts& f) {
        f.osVersion = "12";
        f.manufacturer = "Smith & Sons";
        f.model = "Model=X?";
        f.loginName = "j&smith";
    };
    const auto controls = [](FakeFacts& f) {
        f.manufacturer = "  Evil\r\nX-Injected: 1\n";
        f.model = "\t\x01Model\x7F 9 \n";
        f.loginName = "bob\n";
        f.osVersion = "Linux\r\n";
        f.deviceId = "3f2504e0-4f89-41d3-9a0c-0305e82c3301\n";
    };
    const Row rows[] = {
        {"only loopback addresses keep the time stamp",
         [](FakeFacts& f) { f.interfaces.back().addresses.clear(); },
         {"Gov-Client-Local-IPs"},
         {}},
        {"a failed adapter query removes the four network lines",
         [](FakeFacts& f) { f.adaptersAnswer = false; },
         {"Gov-Client-MAC-Addresses", "Gov-Client-Device-ID", "Gov-Client-Local-IPs-Timestamp",
          "Gov-Client-Local-IPs"},
         {}},
        {"no login name", [](FakeFacts& f) { f.loginName.clear(); }, {"Gov-Client-User-IDs"}, {}},
        {"unknown time zone",
         [](FakeFacts& f) { f.timeZoneKnown = false; },
         {"Gov-Client-Timezone"},
         {}},
        {"no device id or hardware address",
         [](FakeFacts& f) {
             f.deviceId.clear();
             f.interfaces.back().hardwareAddress.clear();
         },
         {},
         {"Gov-Client-MAC-Addresses: ", "Gov-Client-Device-ID: "}},
        {"unreadable firmware",
         [](FakeFacts& f) {
             f.manufacturer.clear();
             f.model.clear();
         },
         {},
         {"Gov-Client-User-Agent: os-family=Linux&os-version=Debian%20GNU%2FLinux%2012%20%28"
          "bookworm%29&device-manufacturer=&device-model="}},
        {"reserved characters",
         odd,
         {},
         {"Gov-Client-User-Agent: os-family=Linux&os-version=12"
          "&device-manufacturer=Smith%20%26%20Sons&device-model=Model%3DX%3F",
          "Gov-Client-User-IDs: os=j%26smith"}},
        {"control bytes",
         controls,
         {},
         {"Gov-Client-User-Agent: os-family=Linux&os-version=Linux"
          "&device-manufacturer=EvilX-Injected%3A%201&device-model=Model%209",
          "Gov-Client-User-IDs: os=bob"}},
        {"screens without a size",
         [](FakeFacts& f) {
             f.screen = {0, 1080, 96, 24};
         },
         {},
         {"Gov-Client-Screens: &scaling-factor=1.00&colour-depth=24"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFacts facts;
        row.change(facts);
        const auto lines = CFraudHeaders("{}", facts).GetHeaderLines();
        EXPECT_EQ(Names(lines), Without(kAllNames, row.gone));
        for (const auto& expected : row.lines)
            EXPECT_EQ(LineNamed(lines, expected.substr(0, expected.find(':'))), expected);
        for (const auto& line : lines) {
            for (unsigned char c : line)
                EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "control byte in: " << line;
        }
    }
}

TEST(FraudHeaders, LicenceLineCarriesADigestAndNoByteOfTheProfile) {
    FakeFacts facts;
    const std::string profile =
        R"({"client_id":"Qz8","client_secret":"s3cr3t-value","clients":[{"company_name":"ACME"}]})";
    const auto licence = [&](const std::string& text) {
        return LineNamed(CFraudHeaders(text, facts).GetHeaderLines(), "Gov-Vendor-License-IDs");
    };
    EXPECT_EQ(licence(profile), "Gov-Vendor-License-IDs: Calvenor=" + Sha256Hex(profile));
    EXPECT_NE(licence(profile + " "), licence(profile));
}

// ---- Adapters ----

TEST(AdapterInfo, TakesTheFirstRealHardwareAddressAndListsAddressesInOrder) {
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

    NetworkInterface first = Ethernet();
    first.addresses = {V4(192, 168, 1, 20),
                       V6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1a, 0x2b, 0xff, 0xfe, 0x3c}),
                       V4(192, 168, 1, 21)};
    NetworkInterface second;
    second.name = "eth1";
    second.addresses = {V4(10, 0, 0, 5), V6({0x20, 0x01, 0x00, 0x00, 0x41, 0x36, 0xe3, 0x78}),
                        V6({0x2a, 0x02, 0x0c, 0x7f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07})};
    facts.interfaces = {Loopback(), first, second};
    EXPECT_EQ(info.GetLocalIPs(), "192.168.1.20,192.168.1.21,10.0.0.5,2a02%3Ac7f%3A%3A7");
    facts.interfaces = {Loopback()};
    EXPECT_EQ(info.GetLocalIPs(), "");
    facts.interfaces = {Loopback(), first};
    facts.adaptersAnswer = false;
    EXPECT_EQ(info.GetLocalIPs(), "");
}
