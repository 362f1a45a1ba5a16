#include <algorithm>
#include <optional>

#include "FraudHeaderValidator.h"
#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

// What a conforming filer sends: every header HMRC lists for DESKTOP_APP_DIRECT except
// Gov-Client-Multi-Factor (the filer has no multi-factor sign-in of its own).
std::vector<std::string> ConformingHeaders() {
    return {"Gov-Client-Connection-Method: DESKTOP_APP_DIRECT",
            "Gov-Client-MAC-Addresses: 0A%3A1B%3A2C%3A3D%3A4E%3A5F",
            "Gov-Client-Device-ID: beec798b-b366-47fa-b1f8-92cede14a1ce",
            "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:05:03.042Z",
            "Gov-Client-Local-IPs: 192.168.1.10,fe80%3A%3A1",
            "Gov-Vendor-Version: Calvenor=2.12.2",
            "Gov-Client-User-Agent: "
            "os-family=Linux&os-version=Debian%2012&device-manufacturer=Dell%20Inc.&device-model="
            "XPS%2013",
            "Gov-Client-User-IDs: os=jdoe",
            "Gov-Client-Timezone: UTC+01:00",
            "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.00&colour-depth=32",
            "Gov-Client-Window-Size: width=363&height=411",
            "Gov-Vendor-License-IDs: "
            "Calvenor=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
            "Gov-Vendor-Product-Name: Calvenor"};
}

bool Names(const std::vector<HeaderFinding>& findings, const std::string& header) {
    return std::any_of(findings.begin(), findings.end(),
                       [&](const HeaderFinding& f) { return f.header == header; });
}

TEST(FraudHeaders, ConformingSetHasOnlyTheMultiFactorWarning) {
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

struct BrokenCase {
    const char* name;
    const char* header;                // the line's name as sent
    std::optional<std::string> value;  // nullopt: the line is left out
    bool add;                          // send an extra line instead of replacing
    bool error;                        // an error, not just a warning
};

class BrokenHeaders : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenHeaders, AreReportedAgainstTheirHeader) {
    const BrokenCase& c = GetParam();
    std::vector<std::string> lines = ConformingHeaders();
    lines.push_back(
        "Gov-Client-Multi-Factor: type=OTHER&timestamp=2026-03-07T09%3A05Z&unique-reference=1");
    const std::string prefix = std::string(c.header) + ":";
    if (!c.add) {
        std::erase_if(lines, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
    if (c.value)
        lines.push_back(prefix + " " + *c.value);

    const FraudValidation result = ValidateFraudHeaders(lines);
    std::string lower = c.header;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    EXPECT_EQ(result.code, c.error ? "INVALID_HEADERS" : "POTENTIALLY_INVALID_HEADERS");
    EXPECT_TRUE(Names(c.error ? result.errors : result.warnings, lower));
    // Nothing else is blamed.
    for (const auto& f : result.errors)
        EXPECT_EQ(f.header, lower) << f.message;
    for (const auto& f : result.warnings)
        EXPECT_EQ(f.header, lower) << f.message;
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, BrokenHeaders,
    ::testing::Values(
        BrokenCase{"OtherConnectionMethod", "Gov-Client-Connection-Method", "WEB_APP_VIA_SERVER",
                   false, true},
        BrokenCase{"DeviceIdNotAUuid", "Gov-Client-Device-ID", "my-laptop", false, true},
        BrokenCase{"EmptyDeviceId", "Gov-Client-Device-ID", "", false, true},
        BrokenCase{"EncodedSeparatorInUserIds", "Gov-Client-User-IDs", "os%3Djdoe", false, true},
        BrokenCase{"RawSpaceInUserIds", "Gov-Client-User-IDs", "os=j doe", false, true},
        BrokenCase{"EmptyUserId", "Gov-Client-User-IDs", "os=", false, true},
        BrokenCase{"TimezoneWithoutUtc", "Gov-Client-Timezone", "+01:00", false, true},
        BrokenCase{"TimezoneOutOfRange", "Gov-Client-Timezone", "UTC+15:00", false, true},
        BrokenCase{"TimestampWithoutMilliseconds", "Gov-Client-Local-IPs-Timestamp",
                   "2026-03-07T09:05:03Z", false, true},
        BrokenCase{"TimestampNotUtc", "Gov-Client-Local-IPs-Timestamp",
                   "2026-03-07T09:05:03.042+01:00", false, true},
        BrokenCase{"TimestampImpossibleDate", "Gov-Client-Local-IPs-Timestamp",
                   "2026-02-30T09:05:03.042Z", false, true},
        BrokenCase{"RawColonsInIpv6", "Gov-Client-Local-IPs", "192.168.1.10,fe80::1", false, true},
        BrokenCase{"NotAnAddress", "Gov-Client-Local-IPs", "300.1.1.1", false, true},
        BrokenCase{"LocalIpsMissing", "Gov-Client-Local-IPs", std::nullopt, false, false},
        BrokenCase{"RawColonsInMac", "Gov-Client-MAC-Addresses", "0A:1B:2C:3D:4E:5F", false, true},
        BrokenCase{"ShortMac", "Gov-Client-MAC-Addresses", "0A%3A1B", false, true},
        BrokenCase{"ZeroMac", "Gov-Client-MAC-Addresses", "00%3A00%3A00%3A00%3A00%3A00", false,
                   true},
        BrokenCase{"EmptyMac", "Gov-Client-MAC-Addresses", "", false, false},
        BrokenCase{"ZeroScreenWidth", "Gov-Client-Screens",
                   "width=0&height=1080&scaling-factor=1.00&colour-depth=32", false, true},
        BrokenCase{"ScreenWithoutColourDepth", "Gov-Client-Screens",
                   "width=1920&height=1080&scaling-factor=1.00", false, true},
        BrokenCase{"EncodedSeparatorsInScreens", "Gov-Client-Screens",
                   "width%3D1920%26height%3D1080%26scaling-factor%3D1%26colour-depth%3D32", false,
                   true},
        BrokenCase{"NegativeWindowHeight", "Gov-Client-Window-Size", "width=363&height=-411", false,
                   true},
        BrokenCase{"FractionalWindowWidth", "Gov-Client-Window-Size", "width=363.5&height=411",
                   false, true},
        BrokenCase{"EmptyOsFamily", "Gov-Client-User-Agent",
                   "os-family=&os-version=12&device-manufacturer=Dell&device-model=XPS", false,
                   true},
        BrokenCase{"EmptyManufacturer", "Gov-Client-User-Agent",
                   "os-family=Linux&os-version=12&device-manufacturer=&device-model=", false,
                   false},
        BrokenCase{"UnencodedManufacturer", "Gov-Client-User-Agent",
                   "os-family=Linux&os-version=12&device-manufacturer=Dell Inc.&device-model=XPS",
                   false, true},
        BrokenCase{"LicenceSentInClear", "Gov-Vendor-License-IDs",
                   "Calvenor=%7B%22client_id%22%3A%22abc%22%7D", false, true},
        BrokenCase{"VersionWithoutValue", "Gov-Vendor-Version", "Calvenor=", false, true},
        BrokenCase{"VersionSentTwice", "Gov-Vendor-Version", "Calvenor=2.12.3", true, true},
        BrokenCase{"ProductNameWithRawSpace", "Gov-Vendor-Product-Name", "Calvenor Filer", false,
                   true},
        BrokenCase{"TimezoneMissing", "Gov-Client-Timezone", std::nullopt, false, true},
        BrokenCase{"HeaderOfAnotherMethod", "Gov-Client-Public-IP", "198.51.100.7", true, false},
        BrokenCase{"BadMultiFactorType", "Gov-Client-Multi-Factor",
                   "type=SMS&timestamp=x&unique-reference=1", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

class FraudFeedback : public SandboxFixture {};

TEST_F(FraudFeedback, ReportsTheLastRequestToEachEndpoint) {
    EXPECT_EQ(m_client
                  .Get(Url("/test/fraud-prevention-headers/vat-mtd/"
                           "validation-feedback?connectionMethod=DESKTOP_APP_DIRECT"))
                  .status,
              404);

    auto good = VatHeaders(Token());
    for (const auto& line : ConformingHeaders())
        good.push_back(line);
    auto bad = good;
    bad[3] = "Gov-Client-Connection-Method: WEB_APP_VIA_SERVER";
    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), bad).status, 200);
    EXPECT_EQ(m_client.Get(ObligationsUrl(kQuarterlyClient.vrn), good).status,
              200);  // the last one counts
    EXPECT_EQ(m_client.Post(ReturnsUrl(kQuarterlyClient.vrn), ValidReturnBody("26A1"), bad).status,
              201);

    const HttpAnswer answer =
        m_client.Get(Url("/test/fraud-prevention-headers/vat-mtd/"
                         "validation-feedback?connectionMethod=DESKTOP_APP_DIRECT"));
    ASSERT_EQ(answer.status, 200) << answer.body;
    const auto doc = Parse(answer.body);
    ASSERT_TRUE(doc.IsObject());
    EXPECT_STREQ(doc["connectionMethod"].GetString(), "DESKTOP_APP_DIRECT");
    ASSERT_EQ(doc["requests"].Size(), 2u);
    for (const auto& request : doc["requests"].GetArray()) {
        const std::string endpoint = request["endpoint"].GetString();
        if (endpoint == "/organisations/vat/{vrn}/obligations") {
            EXPECT_STREQ(request["method"].GetString(), "GET");
            EXPECT_STREQ(request["path"].GetString(), "/organisations/vat/100000001/obligations");
            EXPECT_STREQ(request["code"].GetString(), "POTENTIALLY_INVALID_HEADERS");
            EXPECT_EQ(request["errors"].Size(), 0u);
            ASSERT_EQ(request["warnings"].Size(), 1u);
            EXPECT_STREQ(request["warnings"][0]["code"].GetString(), "POTENTIALLY_INVALID_HEADER");
            EXPECT_STREQ(request["warnings"][0]["headers"][0].GetString(),
                         "gov-client-multi-factor");
        } else {
            EXPECT_EQ(endpoint, "/organisations/vat/{vrn}/returns");
            EXPECT_STREQ(request["code"].GetString(), "INVALID_HEADERS");
            ASSERT_EQ(request["errors"].Size(), 1u);
            EXPECT_STREQ(request["errors"][0]["code"].GetString(), "INVALID_HEADER");
            EXPECT_STREQ(request["errors"][0]["headers"][0].GetString(),
                         "gov-client-connection-method");
        }
    }
    EXPECT_EQ(m_server->FraudFeedback().size(), 2u);
    EXPECT_EQ(m_client
                  .Get(Url("/test/fraud-prevention-headers/vat-mtd/"
                           "validation-feedback?connectionMethod=WEB_APP_VIA_SERVER"))
                  .status,
              400);
}

}  // namespace
}  // namespace calvenor::sandbox::test
