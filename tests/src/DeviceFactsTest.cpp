#include "DeviceFacts.h"

#include <gtest/gtest.h>

#include <QSettings>

#include "TestSupport.h"

namespace {

// ---- Hardware addresses ----

struct MacRow {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* expected;
};

void PrintTo(const MacRow& row, std::ostream* out) {
    *out << row.name;
}

class MacAddressFormat : public testing::TestWithParam<MacRow> {};

TEST_P(MacAddressFormat, JoinsUppercasePairsWithAnEncodedColon) {
    EXPECT_EQ(FormatMacAddress(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, MacAddressFormat,
                         testing::Values(MacRow{"six_bytes",
                                                {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                                                "00%3A1A%3A2B%3A3C%3A4D%3A5E"},
                                         MacRow{"lowercase_nibbles_become_uppercase",
                                                {0xab, 0xcd, 0xef, 0x0f, 0xf0, 0x09},
                                                "AB%3ACD%3AEF%3A0F%3AF0%3A09"},
                                         MacRow{"eight_byte_infiniband_style",
                                                {1, 2, 3, 4, 5, 6, 7, 8},
                                                "01%3A02%3A03%3A04%3A05%3A06%3A07%3A08"},
                                         MacRow{"none", {}, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Local addresses ----

struct AddressRow {
    const char* name;
    NetworkInterface::Family family;
    std::vector<std::uint8_t> bytes;
    const char* expected;
};

void PrintTo(const AddressRow& row, std::ostream* out) {
    *out << row.name;
}

class LocalAddressFormat : public testing::TestWithParam<AddressRow> {};

TEST_P(LocalAddressFormat, FormatsOrRejects) {
    auto bytes = GetParam().bytes;
    if (GetParam().family == NetworkInterface::Family::IPv6 && bytes.size() < 16 &&
        std::string(GetParam().name) != "short_ipv6_is_rejected") {
        bytes.resize(16, 0);
    }
    EXPECT_EQ(FormatLocalAddress({GetParam().family, bytes}), GetParam().expected);
}

using F = NetworkInterface::Family;
INSTANTIATE_TEST_SUITE_P(
    Rows, LocalAddressFormat,
    testing::Values(
        AddressRow{"ipv4_dotted_decimal", F::IPv4, {192, 168, 0, 1}, "192.168.0.1"},
        AddressRow{"ipv4_no_padding", F::IPv4, {10, 0, 0, 255}, "10.0.0.255"},
        AddressRow{"global_ipv6_is_encoded",
                   F::IPv6,
                   {0x2a, 0x00, 0x23, 0xc5, 0xfe, 0x1a, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x10},
                   "2a00%3A23c5%3Afe1a%3A1%3A%3A10"},
        AddressRow{
            "documentation_ipv6_kept", F::IPv6, {0x20, 0x01, 0x0d, 0xb8}, "2001%3Adb8%3A%3A"},
        AddressRow{"unique_local_kept",
                   F::IPv6,
                   {0xfd, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
                   "fd12%3A3456%3A%3A1"},
        AddressRow{"link_local_rejected", F::IPv6, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 1}, ""},
        AddressRow{"site_local_rejected", F::IPv6, {0xfe, 0xc0, 0, 0, 0, 0, 0, 0, 1}, ""},
        AddressRow{
            "teredo_rejected", F::IPv6, {0x20, 0x01, 0x00, 0x00, 0x41, 0x36, 0xe3, 0x78}, ""},
        AddressRow{"teredo_with_zero_server_rejected", F::IPv6, {0x20, 0x01, 0x00, 0x00}, ""},
        AddressRow{"short_ipv6_is_rejected", F::IPv6, {0x20, 0x01}, ""},
        AddressRow{"short_ipv4_is_rejected", F::IPv4, {10, 0, 0}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Offset from UTC ----

struct OffsetRow {
    const char* name;
    CivilTime local;
    CivilTime utc;
    const char* expected;
};

void PrintTo(const OffsetRow& row, std::ostream* out) {
    *out << row.name;
}

class UtcOffsetFormat : public testing::TestWithParam<OffsetRow> {};

TEST_P(UtcOffsetFormat, IsLocalMinusUtcWithDates) {
    EXPECT_EQ(FormatUtcOffset(GetParam().local, GetParam().utc), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UtcOffsetFormat,
    testing::Values(
        OffsetRow{"uk_winter", {2026, 1, 15, 12, 0, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}, "+00:00"},
        OffsetRow{"bst_across_midnight",
                  {2026, 3, 29, 0, 30, 0, 0},
                  {2026, 3, 28, 23, 30, 0, 0},
                  "+01:00"},
        OffsetRow{"new_york", {2026, 1, 15, 7, 0, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}, "-05:00"},
        OffsetRow{"india", {2026, 1, 15, 17, 30, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}, "+05:30"},
        OffsetRow{"newfoundland", {2026, 1, 15, 8, 30, 0, 0}, {2026, 1, 15, 12, 0, 0, 0}, "-03:30"},
        OffsetRow{"behind_across_new_year",
                  {2025, 12, 31, 19, 0, 0, 0},
                  {2026, 1, 1, 0, 0, 0, 0},
                  "-05:00"},
        OffsetRow{"ahead_across_month_end_in_leap_year",
                  {2024, 3, 1, 8, 45, 0, 0},
                  {2024, 2, 29, 19, 0, 0, 0},
                  "+13:45"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Scaling factor ----

struct ScalingRow {
    const char* name;
    int dpi;
    const char* expected;
};

void PrintTo(const ScalingRow& row, std::ostream* out) {
    *out << row.name;
}

class ScalingFactorFormat : public testing::TestWithParam<ScalingRow> {};

TEST_P(ScalingFactorFormat, IsDpiOver96WithTwoDecimals) {
    EXPECT_EQ(FormatScalingFactor(GetParam().dpi), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScalingFactorFormat,
    testing::Values(ScalingRow{"dpi_96", 96, "1.00"}, ScalingRow{"dpi_120", 120, "1.25"},
                    ScalingRow{"dpi_144", 144, "1.50"}, ScalingRow{"dpi_192", 192, "2.00"},
                    ScalingRow{"dpi_110_drops_remainder", 110, "1.14"},
                    ScalingRow{"dpi_72_below_one", 72, "0.75"},
                    ScalingRow{"dpi_unknown", 0, "0.00"}, ScalingRow{"dpi_960", 960, "10.00"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Time stamp ----

struct TimestampRow {
    const char* name;
    CivilTime utc;
    const char* expected;
};

void PrintTo(const TimestampRow& row, std::ostream* out) {
    *out << row.name;
}

class TimestampFormat : public testing::TestWithParam<TimestampRow> {};

TEST_P(TimestampFormat, PadsEveryField) {
    EXPECT_EQ(FormatUtcTimestamp(GetParam().utc), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TimestampFormat,
    testing::Values(
        TimestampRow{"all_small", {2026, 3, 7, 9, 5, 3, 42}, "2026-03-07T09:05:03.042Z"},
        TimestampRow{"zero_millis", {2026, 1, 1, 0, 0, 0, 0}, "2026-01-01T00:00:00.000Z"},
        TimestampRow{"all_large", {2026, 12, 31, 23, 59, 59, 999}, "2026-12-31T23:59:59.999Z"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Fact texts ----

struct CleanRow {
    const char* name;
    std::string raw;
    std::size_t maxBytes;
    std::string expected;
};

void PrintTo(const CleanRow& row, std::ostream* out) {
    *out << row.name;
}

class FactTextCleaning : public testing::TestWithParam<CleanRow> {};

TEST_P(FactTextCleaning, DropsControlBytesTrimsAndCuts) {
    EXPECT_EQ(CleanFactText(GetParam().raw, GetParam().maxBytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FactTextCleaning,
    testing::Values(CleanRow{"trailing_newline", "LENOVO\n", 255, "LENOVO"},
                    CleanRow{"surrounding_blanks", "  Dell Inc.  ", 255, "Dell Inc."},
                    CleanRow{"inner_controls_dropped",
                             "A\r\nB\tC\x7F"
                             "D",
                             255, "ABCD"},
                    CleanRow{"only_blanks", " \n ", 255, ""},
                    CleanRow{"cut_at_limit", std::string(300, 'x'), 255, std::string(255, 'x')},
                    CleanRow{"cut_never_splits_utf8", std::string(254, 'x') + "\xC3\xA9", 255,
                             std::string(254, 'x')},
                    CleanRow{"cut_keeps_whole_utf8", "ab\xC3\xA9", 4, "ab\xC3\xA9"},
                    CleanRow{"cut_then_trim", "abc def", 4, "abc"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Screens, FormatsSizeScalingAndDepth) {
    EXPECT_EQ(FormatScreens({1920, 1080, 120, 32}),
              "width=1920&height=1080&scaling-factor=1.25&colour-depth=32");
    EXPECT_EQ(FormatScreens({1920, 0, 96, 24}), "&scaling-factor=1.00&colour-depth=24");
}

TEST(Sha256, MatchesTheStandardTestVectors) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// ---- Device identifier ----

class DeviceId : public testing::Test {
protected:
    std::filesystem::path StoreFile() const {
        return m_home.Root() / "config" / "Ostrel" / "Calvenor.conf";
    }
    QString Stored() const {
        QSettings settings(QString::fromStdString(StoreFile().string()), QSettings::NativeFormat);
        return settings.value("Agent/Id").toString();
    }
    void Store(const QVariant& value) const {
        QSettings settings(QString::fromStdString(StoreFile().string()), QSettings::NativeFormat);
        settings.setValue("Agent/Id", value);
        settings.setValue("Other/Kept", "yes");
    }

    calvenor::test::IsolatedHome m_home;
};

TEST_F(DeviceId, IsCreatedOnceAndKept) {
    ASSERT_FALSE(std::filesystem::exists(StoreFile()));
    const std::string first = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(first)) << first;
    EXPECT_EQ(first.find_first_of("ABCDEF{}"), std::string::npos) << first;
    EXPECT_EQ(Stored().toStdString(), first);
    EXPECT_EQ(ReadOrCreateDeviceId(), first);
    EXPECT_EQ(ReadOrCreateDeviceId(), first);
}

TEST_F(DeviceId, AStoredUuidIsUsedAsItIs) {
    Store(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
    EXPECT_EQ(ReadOrCreateDeviceId(), "0f8fad5b-d9cb-469f-a165-70867728950e");
    Store(QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    EXPECT_EQ(ReadOrCreateDeviceId(), "0f8fad5b-d9cb-469f-a165-70867728950e");
}

TEST_F(DeviceId, AValueThatIsNotAUuidIsReplacedAndWrittenBack) {
    const QVariant bad[] = {QStringLiteral(""),
                            QStringLiteral("not-a-uuid"),
                            QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"),
                            QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e\n"),
                            QStringLiteral("0f8fad5bxd9cb-469f-a165-70867728950e"),
                            QVariant(QStringList{"a", "b"})};
    for (const auto& value : bad) {
        Store(value);
        const std::string id = ReadOrCreateDeviceId();
        EXPECT_TRUE(IsUuidText(id)) << value.toString().toStdString();
        EXPECT_EQ(Stored().toStdString(), id);
        EXPECT_EQ(ReadOrCreateDeviceId(), id);
    }
    QSettings settings(QString::fromStdString(StoreFile().string()), QSettings::NativeFormat);
    EXPECT_EQ(settings.value("Other/Kept").toString(), "yes");
}

TEST_F(DeviceId, ADamagedStoreIsRewrittenWithANewId) {
    std::filesystem::create_directories(StoreFile().parent_path());
    calvenor::test::WriteFile(StoreFile(), std::string("\x00\xff\x01[[[\n=\n[Agent\nId=zz\n", 18));
    const std::string id = ReadOrCreateDeviceId();
    EXPECT_TRUE(IsUuidText(id)) << id;
    EXPECT_EQ(ReadOrCreateDeviceId(), id);
}

TEST_F(DeviceId, IsEmptyWhenTheStoreCannotBeWritten) {
    // A plain file where the settings folder should be: no user, root included, can write it.
    calvenor::test::WriteFile(m_home.Root() / "not-a-folder", "x");
    calvenor::test::ScopedEnv config("XDG_CONFIG_HOME", (m_home.Root() / "not-a-folder").string());
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
    EXPECT_EQ(ReadOrCreateDeviceId(), "");
}

}  // namespace
