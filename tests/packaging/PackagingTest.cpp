#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "AgentProfile.h"
#include "TestSupport.h"

namespace {

const std::filesystem::path kPackaging = std::filesystem::path(CALVENOR_SOURCE_DIR) / "packaging";

// The shipped example is what a new user copies into place first: it must load as it stands,
// aimed at HMRC's test service, with no client left out.
TEST(ExampleProfile, LoadsCleanlyAndAimsAtHmrcTestService) {
    const auto result = LoadAgentProfile(kPackaging / "profile.example.json");
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_EQ(result.profile.serviceBaseUrl, "https://test-api.service.hmrc.gov.uk");
    EXPECT_TRUE(result.warning.empty() && !result.profile.clients.empty()) << result.warning;
}

// A launcher finds the program by Exec and draws it by Icon; both must name what the install
// puts in bin/ and in the icon theme (checked by packaging.InstallHoldsEveryFile), or the menu
// entry is dead or blank.
TEST(DesktopEntries, NameTheInstalledProgramAndItsIcon) {
    for (const std::string program : {"calvenor", "pellwick"}) {
        std::map<std::string, std::string> keys;
        std::istringstream text(calvenor::test::ReadFile(kPackaging / (program + ".desktop")));
        for (std::string line; std::getline(text, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos && line[0] != '#')
                keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
        EXPECT_EQ(keys["Type"] + " " + keys["Exec"] + " " + keys["TryExec"] + " " + keys["Icon"] +
                      " " + keys["Terminal"],
                  "Application " + program + " " + program + " " + program + " false");
        EXPECT_FALSE(keys["Name"].empty() || keys["Comment"].empty()) << program;
    }
}

}  // namespace
