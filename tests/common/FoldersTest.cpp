#include "Folders.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include "TestSupport.h"

using namespace calvenor::test;

TEST(Folders, EnvironmentDecidesEachFolder) {
    TempFolder dir;
    {
        ScopedEnv data("CALVENOR_DATA_DIR", (dir / "d").string()),
            config("XDG_CONFIG_HOME", (dir / "c").string()),
            run("XDG_RUNTIME_DIR", (dir / "r").string());
        EXPECT_EQ(calvenor::DataFolder(), dir / "d");
        EXPECT_EQ(calvenor::ConfigFolder(), dir / "c");
        EXPECT_EQ(calvenor::PrivateTempFolder(), dir / "r");
    }
    ScopedEnv data("CALVENOR_DATA_DIR", std::nullopt), xdgData("XDG_DATA_HOME", std::nullopt),
        config("XDG_CONFIG_HOME", std::nullopt), run("XDG_RUNTIME_DIR", std::nullopt),
        home("HOME", dir.Path().string());
    EXPECT_EQ(calvenor::DataFolder(), dir / ".local/share/Calvenor");
    EXPECT_EQ(calvenor::ConfigFolder(), dir / ".config");
    // Never the shared temporary folder: Qt's runtime folder is the user's alone.
    EXPECT_EQ(calvenor::PrivateTempFolder().string(),
              QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString());
}
