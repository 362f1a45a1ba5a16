#include "Tokens.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ostream>

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

    IsolatedHome m_home;
};

}  // namespace

TEST_F(TokensTest, FirstStoreCreatesPrivateFoldersAndAnEmptyTokenSet) {
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

TEST_F(TokensTest, ALaterStoreFindsTheFolderAndWritesNothing) {
    { CTokens first; }
    fs::remove(TokenFile());
    CTokens second;
    EXPECT_FALSE(fs::exists(TokenFile()));
    EXPECT_FALSE(second.Load());
    EXPECT_FALSE(second.DeleteFile());
}

TEST_F(TokensTest, RoundTripsTokensOfAnyLength) {
    const std::string longToken(300, 'a');
    {
        CTokens tokens;
        tokens.SetAccessToken(longToken);
        tokens.SetRefreshToken("r-1.x_~");
        tokens.SetExpiresIn(14400);
        ASSERT_TRUE(tokens.Save());
    }
    EXPECT_EQ(ReadFile(TokenFile()), longToken + "|r-1.x_~|14400");
    EXPECT_EQ(Mode(TokenFile()), 0600u);
    CTokens tokens;
    ASSERT_TRUE(tokens.Load());
    EXPECT_EQ(tokens.GetAccessToken(), longToken);
    EXPECT_EQ(tokens.GetRefreshToken(), "r-1.x_~");
    EXPECT_EQ(tokens.GetExpiresIn(), 14400);
    EXPECT_TRUE(tokens.DeleteFile());
    EXPECT_FALSE(fs::exists(TokenFile()));
}

struct LoadRow {
    const char* name;
    std::string content;
    std::string access, refresh;
    std::int32_t expires;
    friend void PrintTo(const LoadRow& row, std::ostream* os) { *os << row.name; }
};

class TokenLoadTest : public TokensTest, public ::testing::WithParamInterface<LoadRow> {};

TEST_P(TokenLoadTest, ReadsWhatTheFileHolds) {
    CTokens tokens;
    WriteFile(TokenFile(), GetParam().content);
    ASSERT_TRUE(tokens.Load());
    EXPECT_EQ(tokens.GetAccessToken(), GetParam().access);
    EXPECT_EQ(tokens.GetRefreshToken(), GetParam().refresh);
    EXPECT_EQ(tokens.GetExpiresIn(), GetParam().expires);
}

INSTANTIATE_TEST_SUITE_P(Files, TokenLoadTest,
                         ::testing::Values(LoadRow{"EmptySet", "||0", "", "", 0},
                                           LoadRow{"FullSet", "a|b|14400", "a", "b", 14400},
                                           LoadRow{"NoExpiry", "a|b|", "a", "b", 0},
                                           LoadRow{"ExpiryNotANumber", "a|b|soon", "a", "b", 0},
                                           LoadRow{"ExpiryTooLarge", "a|b|99999999999", "a", "b",
                                                   0},
                                           LoadRow{"OneSeparator", "a|b", "a", "b", 0},
                                           LoadRow{"EmptyFile", "", "", "", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TokensTest, ATokenThatCouldNotBeReadBackIsNotStored) {
    {
        CTokens tokens;
        tokens.SetAccessToken("a");
        tokens.SetRefreshToken("b");
        tokens.SetExpiresIn(1);
        ASSERT_TRUE(tokens.Save());
    }
    for (const std::string bad : {"x|y", "x\ny", "x\ry"}) {
        CTokens tokens;
        tokens.SetAccessToken("ok");
        tokens.SetRefreshToken(bad);
        tokens.SetExpiresIn(2);
        EXPECT_FALSE(tokens.Save());
        EXPECT_EQ(ReadFile(TokenFile()), "a|b|1");
    }
}

TEST_F(TokensTest, AFileThatCannotBeReplacedFailsTheSave) {
    CTokens tokens;
    fs::remove(TokenFile());
    fs::create_directories(TokenFile() / "in-the-way");
    tokens.SetRefreshToken("r");
    EXPECT_FALSE(tokens.Save());
    EXPECT_TRUE(fs::is_directory(TokenFile()));
}

TEST_F(TokensTest, AFolderThatCannotBeMadeThrows) {
    WriteFile(m_home.Root() / "plain-file", "x");
    ScopedEnv data("CALVENOR_DATA_DIR", (m_home.Root() / "plain-file" / "data").string());
    try {
        CTokens tokens;
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to create token dir");
    }
}

TEST_F(TokensTest, CreateDirectoryPathMakesOnlyLevelsEndingInASeparator) {
    const fs::path root = m_home.Root();
    EXPECT_TRUE(CreateDirectoryPath((root / "a" / "b").string() + "/c"));
    EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
    EXPECT_FALSE(fs::exists(root / "a" / "b" / "c"));
    EXPECT_EQ(Mode(root / "a"), 0700u);
    WriteFile(root / "file", "x");
    EXPECT_TRUE(
        CreateDirectoryPath((root / "file" / "d").string() + "/"));  // reported by the next step
    EXPECT_FALSE(fs::exists(root / "file" / "d"));
}
