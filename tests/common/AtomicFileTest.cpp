#include "AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"

using calvenor::WriteFileAtomically;
using namespace calvenor::test;

namespace {

std::size_t EntriesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

}  // namespace

TEST(AtomicFile, ReplacesContentWithTheModeAndLeavesNoTemporaryFile) {
    TempFolder dir;
    WriteFile(dir / "tokens.tok", "old content that is longer");
    ASSERT_TRUE(WriteFileAtomically(dir / "tokens.tok", "a|b\r\n", 0600));
    EXPECT_EQ(ReadFile(dir / "tokens.tok"), "a|b\r\n");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "tokens.tok").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFile, FailuresKeepTheOldFileByteForByteAndLeaveNoTemporaryFile) {
    TempFolder dir;
    const auto target = dir / "figures.csv";
    WriteFile(target, "1,2,3\r\n");

    // A target that is a folder cannot be replaced by a file.
    std::filesystem::create_directory(dir / "folder.csv");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir / "folder.csv", "x", std::nullopt, &error));
    EXPECT_FALSE(error.empty());

    // A write interrupted just before it is published.
    calvenor::SetBeforeRenameHookForTesting([](const std::filesystem::path&) { return false; });
    EXPECT_FALSE(WriteFileAtomically(target, "half", std::nullopt, &error));
    calvenor::SetBeforeRenameHookForTesting(nullptr);
    EXPECT_EQ(ReadFile(target), "1,2,3\r\n");

    EXPECT_FALSE(WriteFileAtomically(dir / "missing" / "x.txt", "x"));
    EXPECT_EQ(EntriesIn(dir.Path()), 2u);  // the target and the folder
}

TEST(AtomicFile, ReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempFolder dir;
    WriteFile(dir / "a.txt", "keep");
    std::filesystem::permissions(
        dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WriteFileAtomically(dir / "a.txt", "lost"));
    EXPECT_EQ(ReadFile(dir / "a.txt"), "keep");
}

TEST(AtomicFile, ReadWholeFileRefusesOversizedFilesAndFolders) {
    TempFolder dir;
    WriteFile(dir / "big", std::string(100, 'x'));
    std::string bytes, error;
    EXPECT_FALSE(calvenor::ReadWholeFile(dir / "big", bytes, &error, 99));
    EXPECT_TRUE(calvenor::ReadWholeFile(dir / "big", bytes, &error, 100));
    EXPECT_EQ(bytes.size(), 100u);
    EXPECT_FALSE(calvenor::ReadWholeFile(dir.Path(), bytes, &error));
    EXPECT_FALSE(calvenor::ReadWholeFile(dir / "none", bytes, &error));
}
