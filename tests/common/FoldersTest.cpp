#include "Folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QStandardPaths>

#include "TestSupport.h"

using namespace calvenor::test;

TEST(Folders, EnvironmentDecidesEachFolder) {
    TempFolder dir;
    {
        ScopedEnv data("CALVENOR_DATA_DIR", (dir / "d").string());
        ScopedEnv config("XDG_CONFIG_HOME", (dir / "c").string());
        ScopedEnv run("XDG_RUNTIME_DIR", (dir / "r").string());
        EXPECT_EQ(calvenor::DataFolder(), dir / "d");
        EXPECT_EQ(calvenor::ConfigFolder(), dir / "c");
        EXPECT_EQ(calvenor::PrivateTempFolder(), dir / "r");
    }
    ScopedEnv data("CALVENOR_DATA_DIR", std::nullopt);
    ScopedEnv xdgData("XDG_DATA_HOME", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", dir.Path().string());
    ScopedEnv run("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(calvenor::DataFolder(), dir / ".local/share/Calvenor");
    EXPECT_EQ(calvenor::ConfigFolder(), dir / ".config");
    // Never the shared temporary folder: Qt's runtime folder is the user's alone.
    EXPECT_EQ(calvenor::PrivateTempFolder().string(),
              QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString());
}

TEST(Folders, CreatePrivateFolderMakesEveryLevelOwnerOnly) {
    TempFolder dir;
    const auto deep = dir / "a" / "b" / "TokDir";
    ASSERT_TRUE(calvenor::CreatePrivateFolder(deep));
    for (const auto& level : {dir / "a", dir / "a" / "b", deep}) {
        struct stat info {};
        ASSERT_EQ(::stat(level.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << level;
    }
    EXPECT_TRUE(calvenor::CreatePrivateFolder(deep));  // already there

    WriteFile(dir / "file", "x");
    std::string error;
    EXPECT_FALSE(calvenor::CreatePrivateFolder(dir / "file" / "sub", &error));
    EXPECT_NE(error.find("not a folder"), std::string::npos);
}
