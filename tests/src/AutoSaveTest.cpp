#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "AutoSave.h"
#include "Log.h"
#include "TestSupport.h"

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
        return ReadFile(home.LogPath()).find(text) != std::string::npos;
    }
    fs::path Folder() const { return home.DataFolder() / "AutoSave"; }
    calvenor::test::IsolatedHome home;
};

TEST_F(AutoSaveTest, FirstSaveCreatesAPrivateFolderAndTheNamedRecord) {
    CAutoSave save(FixedClock());
    save.SetPeriodText("2026-04-01 To 2026-06-30");
    save.SetCompanyText("123456789 : ACME Ltd");
    ReturnFigures figures;
    SetBoxTexts(figures, {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"});
    save.SetFigures(figures);
    ASSERT_TRUE(save.Save(
        "Processing Date : 2026-07-02T10:15:00.000Z\r\nForm Bundle Number : 123456789012\r\n"
        "Payment Indicator : DD\r\nCharge Ref Number : XD002750002155\r\n"
        "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10\r\n"
        "\r\nWe recommend you save this receipt for your records."));

    const fs::path file = Folder() / "20260307_090503.042.txt";
    EXPECT_EQ(save.GetLastPath(), file);
    EXPECT_TRUE(calvenor::test::MatchesGolden("autosave_record.txt", ReadFile(file)));
    struct stat info {};
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Empty texts leave their lines out.
    save.SetCompanyText("");
    EXPECT_EQ(save.BuildText("R\r\n").substr(0, 60),
              "Results for Period: 2026-04-01 To 2026-06-30\nR\r\n\n\nBox1 = 100");
    CAutoSave bare(FixedClock());
    EXPECT_EQ(bare.BuildText("R").substr(0, 10), "R\n\nBox1 = ");
}

TEST_F(AutoSaveTest, SavesInTheSameMillisecondNeverOverwrite) {
    CAutoSave first(FixedClock());
    first.SetCompanyText("first");
    ASSERT_TRUE(first.Save("one"));
    CAutoSave second(FixedClock());
    second.SetCompanyText("second");
    ASSERT_TRUE(second.Save("two"));
    EXPECT_EQ(second.GetLastPath(), Folder() / "20260307_090503.042-2.txt");
    EXPECT_EQ(ReadFile(Folder() / "20260307_090503.042.txt").substr(0, 18), "VAT Number: first\n");
    EXPECT_EQ(ReadFile(Folder() / "20260307_090503.042-2.txt").substr(0, 19),
              "VAT Number: second\n");
}

TEST_F(AutoSaveTest, AFolderThatCannotBeWrittenOrMadeIsAFailedSaveNotAThrow) {
    if (::geteuid() != 0) {  // root writes into read-only folders
        CAutoSave save(FixedClock());
        ASSERT_EQ(::chmod(save.GetFolder().c_str(), 0500), 0);
        EXPECT_FALSE(save.Save("text"));
        ::chmod(save.GetFolder().c_str(), 0700);
        EXPECT_TRUE(Logged("CAutoSave::Save : Failed to open autosave file\r\n"));
        fs::remove_all(Folder());
        CLog::ResetForTesting();
    }
    // A plain file where the folder should be: construction succeeds, the save fails.
    fs::create_directories(home.DataFolder());
    calvenor::test::WriteFile(Folder(), "not a folder");
    CAutoSave save(FixedClock());
    EXPECT_FALSE(save.Save("text"));
    EXPECT_TRUE(Logged("CAutoSave::Save : Failed to open autosave file\r\n"));
}

TEST_F(AutoSaveTest, TimeThatDoesNotFitTheNameIsLogged) {
    CAutoSave save([] { return CAutoSave::LocalTime{12345, 1, 1, 0, 0, 0, 0}; });
    EXPECT_FALSE(save.Save("text"));
    EXPECT_TRUE(Logged("CAutoSave::Save : Empty autosave file anme\r\n"));
    EXPECT_EQ(CAutoSave::FormatFileStem({2026, 12, 31, 23, 59, 59, 999}), "20261231_235959.999");
}

}  // namespace
