#include "AgentProfile.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "TestSupport.h"

using namespace calvenor::test;

namespace {

std::string Profile(const std::string& clients, const std::string& url = "https://test-api.service.hmrc.gov.uk") {
    return R"({"client_id":"id","client_secret":"secret","service_base_url":")" + url +
           R"(","clients":)" + clients + "}";
}

std::vector<std::string> Names(const AgentProfile& profile) {
    std::vector<std::string> names;
    for (const auto& c : profile.clients) names.push_back(c.companyName + "/" + c.vrn);
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
              (std::vector<std::string>{"ACME Ltd/444444444", "Abbot Ltd/333333333", "Beta/999999999",
                                        "Beta Two/888888888", "Zeta Ltd/222222222", "alpha Ltd/111111111"}));
    EXPECT_TRUE(result.warning.empty());
    EXPECT_EQ(result.profile.clientId, "id");
    EXPECT_EQ(result.profile.clientSecret, "secret");
}

TEST(AgentProfile, BadNumbersAreSkippedBeforeDuplicatesAndNamedInOneWarning) {
    const auto result = ParseAgentProfile(Profile(R"([
        {"company_name":"Short Ltd","vrn":"12345"},
        {"company_name":"Dup Ltd","vrn":"GB1234567"},
        {"company_name":"Dup Ltd","vrn":"123456789"}])"),
                                          "/home/agent/profile.json");
    ASSERT_TRUE(result.loaded);
    EXPECT_EQ(Names(result.profile), std::vector<std::string>{"Dup Ltd/123456789"});
    EXPECT_NE(result.warning.find("/home/agent/profile.json"), std::string::npos);
    EXPECT_NE(result.warning.find("Short Ltd (12345)"), std::string::npos);
    EXPECT_NE(result.warning.find("Dup Ltd (GB1234567)"), std::string::npos);
}

TEST(AgentProfile, NoClientsIsValidAndTextIsKeptByteExact) {
    const std::string text = "{\"client_id\":\"a\",\"client_secret\":\"b\",\r\n"
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
        BadProfile{"malformed", R"({"client_id": "a",})", "at offset 18: Missing a name for object member."},
        BadProfile{"not_object", "[1,2]", "must be a JSON object"},
        BadProfile{"clients_not_array", Profile(R"({"a":1})"), "\"clients\" must be a list"},
        BadProfile{"client_not_object", Profile("[3]"), "every entry of \"clients\""},
        BadProfile{"vrn_wrong_type", Profile(R"([{"company_name":"A","vrn":123456789}])"), "\"vrn\" must be a text"},
        BadProfile{"secret_missing", R"({"client_id":"a","service_base_url":"https://x"})", "\"client_secret\" is missing"},
        BadProfile{"id_wrong_type", R"({"client_id":1,"client_secret":"b","service_base_url":"https://x"})", "\"client_id\" must be a text"},
        BadProfile{"http_remote", Profile("[]", "http://api.service.hmrc.gov.uk"), "must start with https://"},
        BadProfile{"no_scheme", Profile("[]", "api.service.hmrc.gov.uk"), "must start with https://"}),
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

// Long client lists in awkward orders: whatever the file's order, the list comes out in byte
// order with the first entry of each name kept, as a plain ordered map of the entries says.
namespace {

std::string JsonText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\0') {
            out += "\\u0000";
        } else {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
    }
    return out;
}

std::string ProfileOf(const std::vector<ClientRecord>& entries) {
    std::string list = "[";
    for (const ClientRecord& e : entries) {
        list += (list.size() > 1 ? ",{\"company_name\":\"" : "{\"company_name\":\"") +
                JsonText(e.companyName) + "\",\"vrn\":\"" + e.vrn + "\"}";
    }
    return Profile(list + "]");
}

std::string Vrn(std::size_t i) {
    return std::to_string(100000000 + i);
}

std::vector<ClientRecord> NumberedInReverse() {
    std::vector<ClientRecord> entries;
    for (std::size_t i = 0; i < 3000; ++i) {
        entries.push_back({"Client " + std::to_string(100000 - i) + " Ltd", Vrn(i)});
    }
    return entries;
}

// Every name twice, the copies far apart, with different numbers.
std::vector<ClientRecord> DuplicatesFarApart() {
    std::vector<ClientRecord> entries;
    for (std::size_t i = 0; i < 1200; ++i)
        entries.push_back({"Firm " + std::to_string(i * 7919 % 1200), Vrn(i)});
    for (std::size_t i = 0; i < 1200; ++i)
        entries.push_back({"Firm " + std::to_string(i), Vrn(5000 + i)});
    return entries;
}

// Names alike for far longer than a few bytes, then told apart at the end.
std::vector<ClientRecord> LongSharedPrefix() {
    std::vector<ClientRecord> entries;
    const std::string prefix = "The Northern Amalgamated Holdings Group of Companies ";
    for (std::size_t i = 0; i < 900; ++i) {
        entries.push_back(
            {prefix + std::to_string(i % 300 * 37 % 300) + (i % 2 ? "" : " Ltd"), Vrn(i)});
    }
    return entries;
}

// "A", "AA", "AAA"...: each name begins the next, in a shuffled order.
std::vector<ClientRecord> NamesThatBeginOthers() {
    std::vector<ClientRecord> entries;
    for (std::size_t i = 0; i < 400; ++i) {
        const std::size_t length = 1 + i * 131 % 200;
        entries.push_back({std::string(length, 'A') + (i % 3 == 0 ? " B" : ""), Vrn(i)});
    }
    return entries;
}

// "Firm\0", "Firm\0\0", "Firm"...: a name that ends is not one that goes on in NULs.
std::vector<ClientRecord> NulBytesAfterNames() {
    std::vector<ClientRecord> entries;
    for (std::size_t i = 0; i < 200; ++i) {
        entries.push_back({"Firm" + std::string((i + 1) % 3, '\0'), Vrn(i)});
    }
    return entries;
}

// Short random names over spaces, letters, bytes above 0x7f (UTF-8) and NUL: many collide.
std::vector<ClientRecord> RandomBytes() {
    const std::vector<std::string> pieces = {
        " ", "a", "Z", "0", "\xC3\x89", "\xC3\xBF", std::string(1, '\0'), "\x7F", "\xE2\x82\xAC"};
    std::mt19937 random(20261206);
    std::vector<ClientRecord> entries;
    for (std::size_t i = 0; i < 5000; ++i) {
        std::string name;
        const std::size_t length = 1 + random() % 6;
        for (std::size_t k = 0; k < length; ++k)
            name += pieces[random() % pieces.size()];
        entries.push_back({name, Vrn(i)});
    }
    return entries;
}

struct LargeProfile {
    const char* name;
    std::vector<ClientRecord> (*entries)();
};

class AgentProfileLargeLists : public ::testing::TestWithParam<LargeProfile> {};

}  // namespace

TEST_P(AgentProfileLargeLists, KeepByteOrderAndTheFirstOfEachName) {
    const std::vector<ClientRecord> entries = GetParam().entries();
    std::map<std::string, std::string> expected;
    for (const ClientRecord& e : entries)
        expected.emplace(e.companyName, e.vrn);
    std::vector<std::string> wanted;
    for (const auto& [name, vrn] : expected)
        wanted.push_back(name + "/" + vrn);

    const auto result = ParseAgentProfile(ProfileOf(entries), "p.json");
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_EQ(Names(result.profile), wanted);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, AgentProfileLargeLists,
    ::testing::Values(LargeProfile{"numbered_in_reverse", NumberedInReverse},
                      LargeProfile{"duplicates_far_apart", DuplicatesFarApart},
                      LargeProfile{"long_shared_prefix", LongSharedPrefix},
                      LargeProfile{"names_that_begin_others", NamesThatBeginOthers},
                      LargeProfile{"nul_bytes_after_names", NulBytesAfterNames},
                      LargeProfile{"random_bytes", RandomBytes}),
    [](const auto& info) { return std::string(info.param.name); });
