#include <algorithm>
#include <map>

#include <gtest/gtest.h>
#include "FraudHeaderValidator.h"

namespace calvenor::sandbox::test {
namespace {

// What a conforming filer sends: every header HMRC lists for DESKTOP_APP_DIRECT except
// Gov-Client-Multi-Factor (the filer has no multi-factor sign-in of its own).
std::vector<std::string> ConformingHeaders() {
    return {"Gov-Client-Connection-Method: DESKTOP_APP_DIRECT",
            "Gov-Client-MAC-Addresses: 0A%3A1B%3A2C%3A3D%3A4E%3A5F",
            "Gov-Client-Device-ID: beec798b-b366-47fa-b1f8-92cede14a1ce",
            "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:05:03.042Z",
            "Gov-Client-Local-IPs: 192.168.1.10,2001%3Adb8%3A%3A1",
            "Gov-Vendor-Version: Calvenor=2.12.2",
            "Gov-Client-User-Agent: "
            "os-family=Linux&os-version=Debian%2012&device-manufacturer=Dell%20Inc.&device-model="
            "XPS%2013",
            "Gov-Client-User-IDs: os=Zo%C3%AB%20O%22Brien%7Cx",
            "Gov-Client-Timezone: UTC+01:00",
            "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.00&colour-depth=32,"
            "colour-depth=24&scaling-factor=1.25&height=1024&width=1280",
            "Gov-Client-Window-Size: width=363&height=411",
            "Gov-Vendor-License-IDs: "
            "Calvenor=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
            "Gov-Vendor-Product-Name: Calvenor"};
}

bool Names(const std::vector<HeaderFinding>& findings, const std::string& header) {
    return std::any_of(findings.begin(), findings.end(),
                       [&](const HeaderFinding& f) { return f.header == header; });
}

TEST(FraudHeaderValidator, ConformingSetHasOnlyTheMultiFactorWarning) {
    const FraudValidation result = ValidateFraudHeaders(ConformingHeaders());
    EXPECT_EQ(result.code, "POTENTIALLY_INVALID_HEADERS");
    EXPECT_TRUE(result.errors.empty())
        << result.errors.front().header << ": " << result.errors.front().message;
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].header, "gov-client-multi-factor");

    auto withFactor = ConformingHeaders();
    withFactor.push_back(
        "gov-client-multi-factor: "
        "type=TOTP&timestamp=2026-03-07T09%3A05Z&unique-reference=fc4b5fd6");
    EXPECT_EQ(ValidateFraudHeaders(withFactor).code, "VALID_HEADERS");
}

struct Broken {
    const char* name;
    const char* header;             // after "Gov-", as sent
    const char* value;              // nullptr: the line is left out
    bool error;                     // an error, not just a warning
    const char* message = nullptr;  // how the finding begins, where the wording matters
    bool add = false;               // send an extra line instead of replacing
};

class BrokenHeaders : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenHeaders, AreReportedAgainstTheirHeaderAlone) {
    const Broken& c = GetParam();
    std::vector<std::string> lines = ConformingHeaders();
    lines.push_back(
        "Gov-Client-Multi-Factor: type=OTHER&timestamp=2026-03-07T09%3A05Z&unique-reference=1");
    const std::string prefix = "Gov-" + std::string(c.header) + ":";
    if (!c.add)
        std::erase_if(lines, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    if (c.value)
        lines.push_back(prefix + " " + c.value);

    const FraudValidation result = ValidateFraudHeaders(lines);
    std::string lower = "gov-" + std::string(c.header);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    EXPECT_EQ(result.code, c.error ? "INVALID_HEADERS" : "POTENTIALLY_INVALID_HEADERS");
    const auto& findings = c.error ? result.errors : result.warnings;
    EXPECT_TRUE(Names(findings, lower));
    if (c.message && !findings.empty()) {
        EXPECT_TRUE(findings[0].message.starts_with(c.message)) << findings[0].message;
    }
    for (const auto& findings : {result.errors, result.warnings})
        for (const auto& f : findings)
            EXPECT_EQ(f.header, lower) << f.message;
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, BrokenHeaders,
    ::testing::Values(
        Broken{"OtherConnectionMethod", "Client-Connection-Method", "WEB_APP_VIA_SERVER", true},
        Broken{"DeviceIdNotAUuid", "Client-Device-ID", "my-laptop", true},
        Broken{"EmptyDeviceId", "Client-Device-ID", "", true},
        Broken{"EncodedSeparatorInUserIds", "Client-User-IDs", "os%3Djdoe", true},
        Broken{"RawSpaceInUserIds", "Client-User-IDs", "os=j doe", true,
               "Value is not percent encoded"},
        Broken{"UserIdsKeyTwice", "Client-User-IDs", "os=a&os=b", true},
        Broken{"EmptyUserId", "Client-User-IDs", "os=", true},
        Broken{"EmptyTimezone", "Client-Timezone", "", true, "Value is empty"},
        Broken{"TimezoneWithoutUtc", "Client-Timezone", "+01:00", true},
        Broken{"TimestampWithoutMilliseconds", "Client-Local-IPs-Timestamp", "2026-03-07T09:05:03Z",
               true},
        Broken{"TimestampNotUtc", "Client-Local-IPs-Timestamp", "2026-03-07T09:05:03.042+01:00",
               true},
        Broken{"RawColonsInIpv6", "Client-Local-IPs", "192.168.1.10,fe80::1", true},
        Broken{"NotAnAddress", "Client-Local-IPs", "300.1.1.1", true},
        Broken{"LocalIpsMissing", "Client-Local-IPs", nullptr, false},
        Broken{"RawColonsInMac", "Client-MAC-Addresses", "0A:1B:2C:3D:4E:5F", true},
        Broken{"ShortMac", "Client-MAC-Addresses", "0A%3A1B", true},
        Broken{"ZeroMac", "Client-MAC-Addresses", "00%3A00%3A00%3A00%3A00%3A00", true},
        Broken{"LinkLocalAddress", "Client-Local-IPs", "192.168.1.10,fe80%3A%3A1", false},
        Broken{"ZeroScreenWidth", "Client-Screens",
               "width=0&height=1080&scaling-factor=1.00&colour-depth=32", true},
        Broken{"ScreenWithoutColourDepth", "Client-Screens",
               "width=1920&height=1080&scaling-factor=1.00", true,
               "Value is not the documented key list"},
        Broken{"ScreenListStartingWithComma", "Client-Screens",
               ",width=1920&height=1080&scaling-factor=1.00&colour-depth=32", true},
        Broken{"NegativeWindowHeight", "Client-Window-Size", "width=363&height=-411", true},
        Broken{"WindowSizeWithoutHeight", "Client-Window-Size", "width=363", true,
               "Value is not the documented key list"},
        Broken{"EmptyOsFamily", "Client-User-Agent",
               "os-family=&os-version=12&device-manufacturer=Dell&device-model=XPS", true},
        Broken{"EmptyManufacturer", "Client-User-Agent",
               "os-family=Linux&os-version=12&device-manufacturer=&device-model=", false},
        Broken{"UnencodedManufacturer", "Client-User-Agent",
               "os-family=Linux&os-version=12&device-manufacturer=Dell Inc.&device-model=XPS",
               true},
        Broken{"LicenceSentInClear", "Vendor-License-IDs",
               "Calvenor=%7B%22client_id%22%3A%22abc%22%7D", true},
        Broken{"VersionWithoutValue", "Vendor-Version", "Calvenor=", true},
        Broken{"VersionSentTwice", "Vendor-Version", "Calvenor=2.12.3", true, nullptr, true},
        Broken{"ProductNameWithRawSpace", "Vendor-Product-Name", "Calvenor Filer", true},
        Broken{"TimezoneMissing", "Client-Timezone", nullptr, true},
        Broken{"HeaderOfAnotherMethod", "Client-Public-IP", "198.51.100.7", false, nullptr, true},
        Broken{"BadMultiFactorType", "Client-Multi-Factor",
               "type=SMS&timestamp=x&unique-reference=1", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::sandbox::test
