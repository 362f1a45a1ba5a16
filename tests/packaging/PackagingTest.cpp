#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "AgentProfile.h"
#include "TestSupport.h"

namespace {

const std::filesystem::path kSource = CALVENOR_SOURCE_DIR;

// The shipped example is what a new user copies into place first: it must load as it stands,
// aimed at HMRC's test service, with no client left out.
TEST(ExampleProfileTest, LoadsCleanlyAndAimsAtHmrcTestService) {
    const auto result = LoadAgentProfile(kSource / "packaging" / "profile.example.json");
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_EQ(result.warning, "");
    EXPECT_EQ(result.profile.serviceBaseUrl, "https://test-api.service.hmrc.gov.uk");
    EXPECT_FALSE(result.profile.clients.empty());
}

std::map<std::string, std::string> ReadDesktopEntry(const std::filesystem::path& path) {
    std::map<std::string, std::string> keys;
    const std::string text = calvenor::test::ReadFile(path);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (const auto eq = line.find('='); eq != std::string::npos && line[0] != '#') {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
        start = end + 1;
    }
    return keys;
}

class DesktopEntryTest : public ::testing::TestWithParam<const char*> {};

// A launcher finds the program by Exec and draws it by Icon; both must name what the install
// puts in bin/ and in the icon theme, or the menu entry is dead or blank.
TEST_P(DesktopEntryTest, NamesTheInstalledProgramAndItsIcon) {
    const std::string program = GetParam();
    auto keys = ReadDesktopEntry(kSource / "packaging" / (program + ".desktop"));
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Exec"], program);
    EXPECT_EQ(keys["TryExec"], program);
    EXPECT_EQ(keys["Icon"], program);
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_FALSE(keys["Name"].empty());
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_TRUE(std::filesystem::exists(kSource / "icons" / (program + ".svg")));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(std::filesystem::exists(kSource / "icons" / "png" / std::to_string(size) /
                                            (program + ".png")))
            << size;
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, DesktopEntryTest, ::testing::Values("calvenor", "pellwick"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
