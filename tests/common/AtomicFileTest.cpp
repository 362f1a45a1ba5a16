#include "AtomicFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace calvenor::test;
namespace fs = std::filesystem;

// A write replaces the whole file with the mode asked for. A folder in the target's place, a
// write interrupted just before it is published and a missing folder each fail, keep the old
// file byte for byte and leave no temporary file behind.
TEST(AtomicFile, FailuresKeepTheOldFileByteForByteAndLeaveNoTemporaryFile) {
    TempFolder dir;
    WriteFile(dir / "figures.csv", "old content that is longer");
    ASSERT_TRUE(calvenor::WriteFileAtomically(dir / "figures.csv", "1,2,3\r\n", 0600));
    EXPECT_EQ(fs::status(dir / "figures.csv").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(dir / "folder.csv");
    std::string error;
    EXPECT_FALSE(calvenor::WriteFileAtomically(dir / "folder.csv", "x", std::nullopt, &error));
    EXPECT_FALSE(error.empty());
    calvenor::SetBeforeRenameHookForTesting([](const fs::path&) { return false; });
    EXPECT_FALSE(calvenor::WriteFileAtomically(dir / "figures.csv", "half"));
    calvenor::SetBeforeRenameHookForTesting(nullptr);
    EXPECT_FALSE(calvenor::WriteFileAtomically(dir / "missing" / "x.txt", "x"));
    EXPECT_EQ(ReadFile(dir / "figures.csv"), "1,2,3\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);  // the file and the folder
}

TEST(AtomicFile, ReadWholeFileRefusesOversizedFilesAndFolders) {
    TempFolder dir;
    WriteFile(dir / "big", std::string(100, 'x'));
    std::string bytes;
    EXPECT_FALSE(calvenor::ReadWholeFile(dir / "big", bytes, nullptr, 99));
    EXPECT_TRUE(calvenor::ReadWholeFile(dir / "big", bytes, nullptr, 100) && bytes.size() == 100);
    EXPECT_FALSE(calvenor::ReadWholeFile(dir.Path(), bytes, nullptr));
    EXPECT_FALSE(calvenor::ReadWholeFile(dir / "none", bytes, nullptr));
}
