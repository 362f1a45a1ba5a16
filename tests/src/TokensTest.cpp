#include "Tokens.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace calvenor::test;
namespace fs = std::filesystem;

namespace {

unsigned Mode(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

bool Save(const std::string& access, const std::string& refresh, std::int32_t expires) {
    CTokens tokens;
    tokens.SetAccessToken(access);
    tokens.SetRefreshToken(refresh);
    tokens.SetExpiresIn(expires);
    return tokens.Save();
}

}  // namespace

// The first store on a machine makes owner-only folders and a file holding the empty set; tokens
// of any length are read back whole; a token the file could not give back as written is refused
// and the file stays as it was.
TEST(TokensTest, KeepsTheSetPrivateAndReadsBackWhatItWrote) {
    IsolatedHome home;
    const fs::path file = home.DataFolder() / "TokDir" / "tokens.tok";
    CTokens first;
    EXPECT_EQ(ReadFile(file), "||0");
    EXPECT_EQ(Mode(home.DataFolder()), 0700u);
    EXPECT_EQ(Mode(file.parent_path()), 0700u);

    const std::string longToken(300, 'a');
    ASSERT_TRUE(Save(longToken, "r-1.x_~", 14400));
    EXPECT_EQ(ReadFile(file), longToken + "|r-1.x_~|14400");
    EXPECT_EQ(Mode(file), 0600u);
    ASSERT_TRUE(first.Load());
    EXPECT_EQ(first.GetAccessToken(), longToken);
    EXPECT_EQ(first.GetRefreshToken(), "r-1.x_~");
    EXPECT_EQ(first.GetExpiresIn(), 14400);
    for (const std::string bad : {"x|y", "x\ny", "x\ry"}) {
        EXPECT_FALSE(Save("ok", bad, 2)) << bad;
        EXPECT_EQ(ReadFile(file), longToken + "|r-1.x_~|14400");
    }
    EXPECT_TRUE(first.DeleteFile());
    CTokens later;  // a later store does not make the file again
    EXPECT_FALSE(later.Load());
    EXPECT_FALSE(later.DeleteFile());
}

TEST(TokensTest, LoadReadsWhatTheFileHolds) {
    IsolatedHome home;
    struct Row {
        std::string content, access, refresh;
        std::int32_t expires;
    };
    const Row rows[] = {{"a|b|", "a", "b", 0},
                        {"a|b|soon", "a", "b", 0},
                        {"a|b|99999999999", "a", "b", 0},
                        {"a|b", "a", "b", 0},
                        {"", "", "", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content);
        CTokens tokens;
        WriteFile(home.DataFolder() / "TokDir" / "tokens.tok", row.content);
        ASSERT_TRUE(tokens.Load());
        EXPECT_EQ(tokens.GetAccessToken(), row.access);
        EXPECT_EQ(tokens.GetRefreshToken(), row.refresh);
        EXPECT_EQ(tokens.GetExpiresIn(), row.expires);
    }
}
