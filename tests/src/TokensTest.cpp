#include "Tokens.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace calvenor::test;
namespace fs = std::filesystem;

namespace {

class TokensTest : public ::testing::Test {
protected:
    fs::path TokenFile() const { return m_home.DataFolder() / "TokDir" / "tokens.tok"; }
    static unsigned Mode(const fs::path& path) {
        struct stat status {};
        ::stat(path.c_str(), &status);
        return status.st_mode & 07777;
    }
    static bool Save(const std::string& access, const std::string& refresh, std::int32_t expires) {
        CTokens tokens;
        tokens.SetAccessToken(access);
        tokens.SetRefreshToken(refresh);
        tokens.SetExpiresIn(expires);
        return tokens.Save();
    }

    IsolatedHome m_home;
};

}  // namespace

TEST_F(TokensTest, FirstStoreCreatesPrivateFoldersAndAnEmptySetLaterOnesWriteNothing) {
    {
        CTokens tokens;
        EXPECT_EQ(tokens.GetFolderPath(), (m_home.DataFolder() / "TokDir").string() + "/");
        EXPECT_EQ(ReadFile(TokenFile()), "||0");
        EXPECT_EQ(Mode(m_home.DataFolder()), 0700u);
        EXPECT_EQ(Mode(m_home.DataFolder() / "TokDir"), 0700u);
        EXPECT_EQ(Mode(TokenFile()), 0600u);
        ASSERT_TRUE(tokens.Load());
        EXPECT_EQ(tokens.GetAccessToken(), "");
        EXPECT_EQ(tokens.GetRefreshToken(), "");
        EXPECT_EQ(tokens.GetExpiresIn(), 0);
    }
    fs::remove(TokenFile());
    CTokens later;
    EXPECT_FALSE(fs::exists(TokenFile()));
    EXPECT_FALSE(later.Load());
    EXPECT_FALSE(later.DeleteFile());
}

TEST_F(TokensTest, RoundTripsAnyLengthAndRefusesATokenThatCouldNotBeReadBack) {
    const std::string longToken(300, 'a');
    ASSERT_TRUE(Save(longToken, "r-1.x_~", 14400));
    EXPECT_EQ(ReadFile(TokenFile()), longToken + "|r-1.x_~|14400");
    EXPECT_EQ(Mode(TokenFile()), 0600u);
    CTokens tokens;
    ASSERT_TRUE(tokens.Load());
    EXPECT_EQ(tokens.GetAccessToken(), longToken);
    EXPECT_EQ(tokens.GetRefreshToken(), "r-1.x_~");
    EXPECT_EQ(tokens.GetExpiresIn(), 14400);

    ASSERT_TRUE(Save("a", "b", 1));
    for (const std::string bad : {"x|y", "x\ny", "x\ry"}) {
        EXPECT_FALSE(Save("ok", bad, 2)) << bad;
        EXPECT_EQ(ReadFile(TokenFile()), "a|b|1");
    }
    EXPECT_TRUE(tokens.DeleteFile());
    EXPECT_FALSE(fs::exists(TokenFile()));
}

TEST_F(TokensTest, LoadReadsWhatTheFileHolds) {
    struct Row {
        std::string content, access, refresh;
        std::int32_t expires;
    };
    const Row rows[] = {{"a|b|14400", "a", "b", 14400}, {"a|b|", "a", "b", 0},
                        {"a|b|soon", "a", "b", 0},      {"a|b|99999999999", "a", "b", 0},
                        {"a|b", "a", "b", 0},           {"", "", "", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content);
        CTokens tokens;
        WriteFile(TokenFile(), row.content);
        ASSERT_TRUE(tokens.Load());
        EXPECT_EQ(tokens.GetAccessToken(), row.access);
        EXPECT_EQ(tokens.GetRefreshToken(), row.refresh);
        EXPECT_EQ(tokens.GetExpiresIn(), row.expires);
    }
}
