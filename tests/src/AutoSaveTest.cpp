#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "AutoSave.h"
#include "Log.h"
#include "TestSupport.h"

namespace {

using calvenor::test::IsolatedHome;
using calvenor::test::MatchesGolden;
using calvenor::test::ReadFile;
namespace fs = std::filesystem;

const std::string kWindowText =
    "Processing Date : 2026-07-02T10:15:00.000Z\r\nForm Bundle Number : 123456789012\r\n"
    "Payment Indicator : DD\r\nCharge Ref Number : XD002750002155\r\n"
    "Receipt ID : 2a5c9a3b-1e4f-4e3f-9a63-8b1d5f2c7e10\r\n"
    "\r\nWe recommend you save this receipt for your records.";

CAutoSave::Clock FixedClock() {
    return [] { return CAutoSave::LocalTime{2026, 3, 7, 9, 5, 3, 42}; };
}

ReturnFigures Figures() {
    ReturnFigures figures;
    SetBoxTexts(figures, {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"});
    return figures;
}

class AutoSaveTest : public testing::Test {
protected:
    void SetUp() override { CLog::ResetForTesting(); }
    IsolatedHome home;
};

TEST_F(AutoSaveTest, FirstSaveCreatesPrivateFoldersAndTheNamedRecord) {
    CAutoSave save(FixedClock());
    save.SetPeriodText("2026-04-01 To 2026-06-30");
    save.SetCompanyText("123456789 : ACME Ltd");
    save.SetFigures(Figures());
    ASSERT_TRUE(save.Save(kWindowText));

    const fs::path file = home.DataFolder() / "AutoSave" / "20260307_090503.042.txt";
    EXPECT_EQ(save.GetLastPath(), file);
    EXPECT_TRUE(MatchesGolden("autosave_record.txt", ReadFile(file)));
    struct stat info {};
    ASSERT_EQ(::stat((home.DataFolder() / "AutoSave").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(AutoSaveTest, EmptyTextsLeaveTheirLinesOut) {
    CAutoSave save(FixedClock());
    save.SetPeriodText("2026-04-01 To 2026-06-30");
    save.SetFigures(Figures());
    EXPECT_EQ(save.BuildText("R\r\n"),
              "Results for Period: 2026-04-01 To 2026-06-30\nR\r\n\n\nBox1 = 100.00\nBox2 = "
              "0.00\nBox3 = 100.00\nBox4 = 20.00\nBox5 = 80.00\nBox6 = 500\nBox7 = 100\nBox8 = "
              "0\nBox9 = 0");
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

    const fs::path folder = home.DataFolder() / "AutoSave";
    EXPECT_EQ(second.GetLastPath(), folder / "20260307_090503.042-2.txt");
    EXPECT_EQ(ReadFile(folder / "20260307_090503.042.txt").substr(0, 18), "VAT Number: first\n");
    EXPECT_EQ(ReadFile(folder / "20260307_090503.042-2.txt").substr(0, 19), "VAT Number: second\n");
}

TEST_F(AutoSaveTest, UnwritableFolderIsLoggedNotThrown) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    CAutoSave save(FixedClock());
    ASSERT_EQ(::chmod(save.GetFolder().c_str(), 0500), 0);
    EXPECT_FALSE(save.Save("text"));
    ::chmod(save.GetFolder().c_str(), 0700);
    EXPECT_NE(ReadFile(home.LogPath()).find("CAutoSave::Save : Failed to open autosave file\r\n"),
              std::string::npos);
}

TEST_F(AutoSaveTest, FolderThatCannotBeMadeShowsAsAFailedSave) {
    // A plain file where the AutoSave folder should be: construction succeeds, the save fails.
    fs::create_directories(home.DataFolder());
    calvenor::test::WriteFile(home.DataFolder() / "AutoSave", "not a folder");
    CAutoSave save(FixedClock());
    EXPECT_FALSE(save.Save("text"));
    EXPECT_NE(ReadFile(home.LogPath()).find("CAutoSave::Save : Failed to open autosave file\r\n"),
              std::string::npos);
}

TEST_F(AutoSaveTest, TimeThatDoesNotFitTheNameIsLogged) {
    CAutoSave save([] { return CAutoSave::LocalTime{12345, 1, 1, 0, 0, 0, 0}; });
    EXPECT_FALSE(save.Save("text"));
    EXPECT_NE(ReadFile(home.LogPath()).find("CAutoSave::Save : Empty autosave file anme\r\n"),
              std::string::npos);
    EXPECT_EQ(CAutoSave::FormatFileStem({2026, 12, 31, 23, 59, 59, 999}), "20261231_235959.999");
}

}  // namespace
