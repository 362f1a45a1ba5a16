#include "AgentProfile.h"

#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"

using namespace calvenor::test;

// Byte order (a name that begins another first, UTF-8 after ASCII, a NUL after the end of a
// name); the first entry of a name kept, also past the size where a sort stops being insertion
// sort (every "Firm NN" twice); entries without a name or number left out; numbers that are not
// nine digits left out before duplicates are looked for, and named in one warning.
TEST(AgentProfile, OrdersClientsByteWiseKeepingTheFirstOfANameAndLeavingOutTheIncomplete) {
    const auto path = TestData("profiles/clients.json");
    const auto result = LoadAgentProfile(path);
    ASSERT_TRUE(result.loaded) << result.error;
    std::string listed;
    for (const ClientRecord& c : result.profile.clients)
        listed += c.companyName + "/" + c.vrn + "\n";
    EXPECT_TRUE(MatchesGolden("profiles/clients_listed.txt", listed));
    EXPECT_NE(result.warning.find(path.string()), std::string::npos) << result.warning;
    for (const char* named : {"Short (12345)", "Long (1234567890)", "Dup (GB1234567)"})
        EXPECT_NE(result.warning.find(named), std::string::npos) << named;
}

// Each profile in tests/data/profiles/refused.txt with the reason its error must give.
TEST(AgentProfile, RefusedProfilesNameThePathAndTheReasonAndKeepNoSecret) {
    std::istringstream table(ReadFile(TestData("profiles/refused.txt")));
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++cases;
        const auto path = TestData("profiles/" + line.substr(0, line.find('\t')));
        const auto result = LoadAgentProfile(path);
        EXPECT_FALSE(result.loaded || !result.profile.clientSecret.empty()) << line;
        EXPECT_NE(result.error.find(path.string() + " cannot be used"), std::string::npos);
        EXPECT_NE(result.error.find(line.substr(line.find('\t') + 1)), std::string::npos)
            << result.error;
    }
    EXPECT_EQ(cases, 9);
}

TEST(AgentProfile, LoadsFromTheEnvironmentsPathKeepingItsTextByteForByte) {
    IsolatedHome home;
    EXPECT_NE(LoadAgentProfile().error.find("the file does not exist"), std::string::npos);
    const std::string text =
        "{\"client_id\":\"a\",\"client_secret\":\"b\",\r\n"
        " \"service_base_url\":\"http://127.0.0.1:8787/\", \"clients\": []}\n";
    WriteFile(home.ProfilePath(), text);
    const auto loaded = LoadAgentProfile();
    ASSERT_TRUE(loaded.loaded) << loaded.error;
    EXPECT_EQ(loaded.profile.profileText, text);
    EXPECT_EQ(loaded.profile.serviceBaseUrl, "http://127.0.0.1:8787");
    ScopedEnv unset("CALVENOR_PROFILE", std::nullopt);
    EXPECT_EQ(AgentProfilePath(), home.Root() / "config" / "Calvenor" / "profile.json");
}
