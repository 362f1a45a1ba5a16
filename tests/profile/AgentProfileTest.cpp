#include "AgentProfile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace calvenor::test;

namespace {

std::string Profile(const std::string& clients,
                    const std::string& url = "https://test-api.service.hmrc.gov.uk") {
    return R"({"client_id":"id","client_secret":"secret","service_base_url":")" + url +
           R"(","clients":)" + clients + "}";
}

std::vector<std::string> Names(const AgentProfile& profile) {
    std::vector<std::string> names;
    for (const auto& c : profile.clients)
        names.push_back(c.companyName + "/" + c.vrn);
    return names;
}

}  // namespace

TEST(AgentProfile, OrdersByteWiseKeepsFirstDuplicateAndSkipsIncompleteEntries) {
    const auto result = ParseAgentProfile(Profile(R"([
        {"company_name":"alpha Ltd","vrn":"111111111"},
        {"company_name":"Zeta Ltd","vrn":"222222222"},
        {"company_name":"Abbot Ltd","vrn":"333333333"},
        {"company_name":"ACME Ltd","vrn":"444444444"},
        {"company_name":"ACME Ltd","vrn":"555555555"},
        {"company_name":"","vrn":"666666666"},
        {"company_name":"No Number","vrn":""},
        {"vrn":"777777777"},
        {"company_name":"Beta Two","vrn":"888888888"},
        {"company_name":"Beta","vrn":"999999999"}])"),
                                          "p.json");
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_EQ(Names(result.profile),
              (std::vector<std::string>{"ACME Ltd/444444444", "Abbot Ltd/333333333",
                                        "Beta/999999999", "Beta Two/888888888",
                                        "Zeta Ltd/222222222", "alpha Ltd/111111111"}));
    EXPECT_TRUE(result.warning.empty());
    EXPECT_EQ(result.profile.clientId, "id");
    EXPECT_EQ(result.profile.clientSecret, "secret");
}

TEST(AgentProfile, BadNumbersAreSkippedBeforeDuplicatesAndNamedInOneWarning) {
    const auto result = ParseAgentProfile(Profile(R"([
        {"company_name":"Short Ltd","vrn":"12345"},
        {"company_name":"Dup Ltd","vrn":"GB1234567"},
        {"company_name":"Long Ltd","vrn":"1234567890"},
        {"company_name":"Dup Ltd","vrn":"123456789"}])"),
                                          "/home/agent/profile.json");
    ASSERT_TRUE(result.loaded);
    EXPECT_EQ(Names(result.profile), std::vector<std::string>{"Dup Ltd/123456789"});
    EXPECT_NE(result.warning.find("/home/agent/profile.json"), std::string::npos);
    EXPECT_NE(result.warning.find("Short Ltd (12345)"), std::string::npos);
    EXPECT_NE(result.warning.find("Dup Ltd (GB1234567)"), std::string::npos);
    EXPECT_NE(result.warning.find("Long Ltd (1234567890)"), std::string::npos);
}

TEST(AgentProfile, NoClientsIsValidAndTextIsKeptByteExact) {
    const std::string text =
        "{\"client_id\":\"a\",\"client_secret\":\"b\",\r\n"
        " \"service_base_url\":\"http://127.0.0.1:8787/\", \"clients\": []}\n";
    const auto result = ParseAgentProfile(text, "p.json");
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_TRUE(result.profile.clients.empty());
    EXPECT_EQ(result.profile.profileText, text);
    EXPECT_EQ(result.profile.serviceBaseUrl, "http://127.0.0.1:8787");
}

struct BadProfile {
    const char* name;
    std::string text;
    const char* reason;
};

class AgentProfileErrors : public ::testing::TestWithParam<BadProfile> {};

TEST_P(AgentProfileErrors, NameThePathAndTheReason) {
    const auto result = ParseAgentProfile(GetParam().text, "/cfg/profile.json");
    EXPECT_FALSE(result.loaded);
    EXPECT_TRUE(result.profile.clients.empty());
    EXPECT_TRUE(result.profile.clientSecret.empty());
    EXPECT_NE(result.error.find("/cfg/profile.json"), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(GetParam().reason), std::string::npos) << result.error;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, AgentProfileErrors,
    ::testing::Values(
        BadProfile{"malformed", R"({"client_id": "a",})",
                   "at offset 18: Missing a name for object member."},
        BadProfile{"not_object", "[1,2]", "must be a JSON object"},
        BadProfile{"clients_not_array", Profile(R"({"a":1})"), "\"clients\" must be a list"},
        BadProfile{"client_not_object", Profile("[3]"), "every entry of \"clients\""},
        BadProfile{"vrn_wrong_type", Profile(R"([{"company_name":"A","vrn":123456789}])"),
                   "\"vrn\" must be a text"},
        BadProfile{"secret_missing", R"({"client_id":"a","service_base_url":"https://x"})",
                   "\"client_secret\" is missing"},
        BadProfile{"id_wrong_type",
                   R"({"client_id":1,"client_secret":"b","service_base_url":"https://x"})",
                   "\"client_id\" must be a text"},
        BadProfile{"http_remote", Profile("[]", "http://api.service.hmrc.gov.uk"),
                   "must start with https://"},
        BadProfile{"no_scheme", Profile("[]", "api.service.hmrc.gov.uk"),
                   "must start with https://"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AgentProfile, LoadsFromTheEnvironmentPathAndReportsMissingFiles) {
    IsolatedHome home;
    auto missing = LoadAgentProfile();
    EXPECT_FALSE(missing.loaded);
    EXPECT_NE(missing.error.find(home.ProfilePath().string()), std::string::npos);
    EXPECT_NE(missing.error.find("does not exist"), std::string::npos);

    WriteFile(home.ProfilePath(), Profile(R"([{"company_name":"ACME Ltd","vrn":"123456789"}])"));
    auto loaded = LoadAgentProfile();
    ASSERT_TRUE(loaded.loaded) << loaded.error;
    EXPECT_EQ(AgentProfile::CompanyListText(loaded.profile.clients.at(0)), "123456789 : ACME Ltd");

    ScopedEnv unset("CALVENOR_PROFILE", std::nullopt);
    EXPECT_EQ(AgentProfilePath(), home.Root() / "config" / "Calvenor" / "profile.json");
}

// Awkward orders: bytes above 0x7f (UTF-8) after every ASCII byte, a NUL inside a name counted
// as a byte, and, past the size where a sort stops being insertion sort, every name in the file
// twice (reversed each time): only the first entry of each may be listed.
TEST(AgentProfile, ListsEveryNameOnceInByteOrderWithItsFirstEntry) {
    std::string twice = "[";
    for (const char copy : {'1', '2'})
        for (int i = 39; i >= 0; --i)
            twice += std::string(twice.size() > 1 ? "," : "") + R"({"company_name":"Firm )" +
                     std::to_string(i) + R"(","vrn":")" + copy + "00000000\"}";
    const auto repeated = ParseAgentProfile(Profile(twice + "]"), "p.json");
    ASSERT_EQ(repeated.profile.clients.size(), 40u);
    for (std::size_t i = 0; i < 40; ++i) {
        const ClientRecord& client = repeated.profile.clients[i];
        EXPECT_TRUE(i == 0 || repeated.profile.clients[i - 1].companyName < client.companyName);
        EXPECT_EQ(client.vrn, "100000000") << client.companyName;
    }

    const auto odd = ParseAgentProfile(Profile(R"([
        {"company_name":"\u00c9clair","vrn":"111111111"},
        {"company_name":"Firm\u0000","vrn":"222222222"},
        {"company_name":"zeta","vrn":"333333333"},
        {"company_name":"Firm","vrn":"444444444"},
        {"company_name":"Firm\u0000","vrn":"555555555"}])"),
                                       "p.json");
    EXPECT_EQ(Names(odd.profile),
              (std::vector<std::string>{"Firm/444444444", std::string("Firm\0/222222222", 15),
                                        "zeta/333333333",
                                        "\xC3\x89"
                                        "clair/111111111"}));
}
