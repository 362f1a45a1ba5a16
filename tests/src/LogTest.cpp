#include "Log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "TestSupport.h"

using namespace calvenor::test;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::SetClockForTesting([this] { return m_time; });
        CLog::ResetForTesting();
    }
    void TearDown() override { CLog::SetClockForTesting(nullptr); }

    IsolatedHome m_home;
    CLog::TimeOfDay m_time{9, 5, 3, 42};
};

}  // namespace

TEST_F(LogTest, FirstUseOfARunDeletesThePreviousLogOnly) {
    WriteFile(m_home.LogPath(), "previous run\r\n");
    CLog::Instance() << "first";
    CLog::Instance().Write();
    CLog::Instance() << "second";
    CLog::Instance().Write();
    EXPECT_EQ(ReadFile(m_home.LogPath()), "09:05:03.042 : first\r\n09:05:03.042 : second\r\n");
}

TEST_F(LogTest, EntryLineNamesFileLineAndQualifiedFunction) {
    LOG_ENTRY("ResponseCode Fail =  " << 403);
    const int line = __LINE__ - 1;
    m_time = {0, 0, 0, 0};
    LOG_ENTRY_IN("CCalvenorDlg::OnInitDialog", "Logging Initialised.");  // a name given
    const int second = __LINE__ - 1;
    const std::string log = ReadFile(m_home.LogPath());
    const std::string function = QualifiedFunctionName(__PRETTY_FUNCTION__);
    EXPECT_EQ(log, "09:05:03.042 : tests/src/LogTest.cpp : " + std::to_string(line) + " : " +
                       function +
                       " : ResponseCode Fail =  403\r\n00:00:00.000 : tests/src/LogTest.cpp : " +
                       std::to_string(second) +
                       " : CCalvenorDlg::OnInitDialog : Logging Initialised.\r\n");
}

TEST_F(LogTest, UnwritableLogDropsTheEntryAndTheNextOneStartsClean) {
    std::filesystem::create_directory(m_home.LogPath());  // a folder where the file should be
    CLog::Instance() << "lost " << 1;
    CLog::Instance().Write();
    std::filesystem::remove(m_home.LogPath());
    CLog::Instance() << "kept " << 1234567;
    CLog::Instance().Write();
    EXPECT_EQ(ReadFile(m_home.LogPath()), "09:05:03.042 : kept 1234567\r\n");
}

TEST_F(LogTest, DoesNotFollowASymbolicLinkAtTheLogPath) {
    CLog::Instance();  // the first use has happened; a link planted now must not be followed
    const auto victim = m_home.Root() / "victim.txt";
    WriteFile(victim, "precious");
    std::filesystem::create_symlink(victim, m_home.LogPath());
    CLog::Instance() << "entry";
    CLog::Instance().Write();
    EXPECT_EQ(ReadFile(victim), "precious");
}

// Something at the log's name that is not the user's own regular file receives nothing; the run
// says so once on standard error and goes on without a log.
TEST_F(LogTest, RefusesAPipeOrAnotherUsersFileAtTheLogPath) {
    const std::string path = m_home.LogPath().string();
    for (const bool pipe : {true, false}) {
        SCOPED_TRACE(pipe ? "pipe" : "another user's file");
        CLog::ResetForTesting();
        CLog::Instance();  // the first use of a run deletes what is there; the plant comes after
        int reader = -1;
        if (pipe) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        } else {
            WriteFile(path, "");
            if (::chown(path.c_str(), ::geteuid() + 1, ::getegid()) != 0)
                continue;  // only root can give a file away
        }
        testing::internal::CaptureStderr();
        for (const char* entry : {"first", "second"}) {
            CLog::Instance() << entry;
            CLog::Instance().Write();
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(path), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        if (pipe) {
            char buffer[64];
            EXPECT_LE(::read(reader, buffer, sizeof buffer), 0);
            ::close(reader);
        } else {
            EXPECT_EQ(ReadFile(path), "");
        }
        std::filesystem::remove(path);
    }
}

TEST(LogFormat, TimeStampsAndFunctionNames) {
    EXPECT_EQ(CLog::FormatTimeStamp({23, 59, 59, 999}), "23:59:59.999");
    EXPECT_EQ(QualifiedFunctionName("std::map<int, int> CX::Get(std::vector<int>) const"),
              "CX::Get");
}
