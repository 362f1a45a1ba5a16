#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "AutoSave.h"
#include "Log.h"
#include "TestSupport.h"

// The automatic copy's bytes are pinned by the results window's test, which writes it as the
// agent sees it; here: its folder, its name, and a save that cannot be made.
namespace {

using calvenor::test::ReadFile;
namespace fs = std::filesystem;

CAutoSave::Clock FixedClock() {
    return [] { return CAutoSave::LocalTime{2026, 3, 7, 9, 5, 3, 42}; };
}

class AutoSaveTest : public testing::Test {
protected:
    void SetUp() override { CLog::ResetForTesting(); }
    bool Logged(const std::string& text) const {
        return ReadFile(home.LogPath()).find("CAutoSave::Save : " + text + "\r\n") !=
               std::string::npos;
    }
    fs::path Folder() const { return home.DataFolder() / "AutoSave"; }
    calvenor::test::IsolatedHome home;
};

// Two saves in the same millisecond keep both records; the folder is the owner's alone.
TEST_F(AutoSaveTest, SavesInTheSameMillisecondNeverOverwrite) {
    for (const char* company : {"first", "second"}) {
        CAutoSave save(FixedClock());
        save.SetCompanyText(company);
        ASSERT_TRUE(save.Save(company));
    }
    EXPECT_EQ(ReadFile(Folder() / "20260307_090503.042.txt").substr(0, 18), "VAT Number: first\n");
    EXPECT_EQ(ReadFile(Folder() / "20260307_090503.042-2.txt").substr(0, 19),
              "VAT Number: second\n");
    struct stat info {};
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(AutoSaveTest, AFolderThatCannotBeWrittenOrMadeIsAFailedSaveNotAThrow) {
    if (::geteuid() != 0) {  // root writes into read-only folders
        CAutoSave save(FixedClock());
        ASSERT_EQ(::chmod(save.GetFolder().c_str(), 0500), 0);
        EXPECT_FALSE(save.Save("text"));
        ::chmod(save.GetFolder().c_str(), 0700);
        EXPECT_TRUE(Logged("Failed to open autosave file"));
        fs::remove_all(Folder());
        CLog::ResetForTesting();
    }
    // A plain file where the folder should be: construction succeeds, the save fails.
    fs::create_directories(home.DataFolder());
    calvenor::test::WriteFile(Folder(), "not a folder");
    CAutoSave save(FixedClock());
    EXPECT_FALSE(save.Save("text"));
    EXPECT_TRUE(Logged("Failed to open autosave file"));
}

TEST_F(AutoSaveTest, TimeThatDoesNotFitTheNameIsLogged) {
    CAutoSave save([] { return CAutoSave::LocalTime{12345, 1, 1, 0, 0, 0, 0}; });
    EXPECT_FALSE(save.Save("text"));
    EXPECT_TRUE(Logged("Empty autosave file anme"));
    EXPECT_EQ(CAutoSave::FormatFileStem({2026, 12, 31, 23, 59, 59, 999}), "20261231_235959.999");
}

}  // namespace
