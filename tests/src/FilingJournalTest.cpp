#include "FilingJournal.h"

#include <gtest/gtest.h>

#include "AtomicFile.h"
#include "SandboxHome.h"
#include "TestSupport.h"

using namespace calvenor::test;
namespace fs = std::filesystem;

namespace {

JournalEntry Entry(const std::string& periodKey, JournalState state) {
    return {"123456789",  "123456789 : ACME Ltd",
            periodKey,    "2018-01-01",
            "2018-03-31", kFigures,
            {},           state,
            "rec-1",      "2018-05-07"};
}

class FilingJournalTest : public ::testing::Test {
protected:
    void TearDown() override { calvenor::SetBeforeRenameHookForTesting({}); }
    TempFolder m_dir;
    CFilingJournal m_journal{m_dir / "Journal" / "journal.json"};
    std::string m_error, m_problem;
};

// Every field comes back as written; each outcome for the same client and period replaces the
// last, another period is added, and each state reads back as itself.
TEST_F(FilingJournalTest, KeepsOneEntryPerClientAndPeriodWithEveryField) {
    for (int state = 0; state <= static_cast<int>(JournalState::NotFiled); ++state) {
        for (const char* period : {"18A1", "18A2"})
            ASSERT_TRUE(m_journal.Record(Entry(period, JournalState(state)), m_error, m_problem));
        EXPECT_EQ(m_journal.Find("123456789", "18A1", m_problem)->state, JournalState(state));
    }
    const std::vector<JournalEntry> entries = m_journal.Read(m_problem);
    EXPECT_EQ(m_problem, "");
    ASSERT_EQ(entries.size(), 2u);
    const JournalEntry& e = entries[1];
    EXPECT_EQ(e.vrn + e.company + e.periodKey + e.periodStart + e.periodEnd + e.receiptId +
                  e.processingDate,
              "123456789123456789 : ACME Ltd18A22018-01-012018-03-31rec-12018-05-07");
    EXPECT_EQ(e.figures, kFigures);
    EXPECT_FALSE(m_journal.Find("987654321", "18A1", m_problem));
}

// A write stopped before it is published (a killed program) leaves the old journal as it was.
TEST_F(FilingJournalTest, AStoppedWriteLeavesTheOldJournal) {
    ASSERT_TRUE(m_journal.Record(Entry("18A1", JournalState::Filed), m_error, m_problem));
    const std::string before = ReadFile(m_journal.Path());
    calvenor::SetBeforeRenameHookForTesting([](const fs::path&) { return false; });

    EXPECT_FALSE(m_journal.Record(Entry("18A2", JournalState::Sending), m_error, m_problem));
    EXPECT_NE(m_error.find(m_journal.Path().string()), std::string::npos) << m_error;
    EXPECT_EQ(ReadFile(m_journal.Path()), before);
}

// A journal that cannot be read is reported once, kept aside byte for byte under a new name, and
// a new journal starts in its place.
TEST_F(FilingJournalTest, AnUnreadableJournalIsKeptAsideAndReported) {
    // An entry up to its figures, with `state`.
    const auto entry = [](const std::string& state) {
        return R"({"entries":[{"vrn":"1","company":"","periodKey":"18A1","periodStart":"",)"
               R"("periodEnd":"","written":"","receiptId":"","processingDate":"","state":")" +
               state + R"(","figures":)";
    };
    const std::string nine = R"(["1","2","3","4","5","6","7","8","9"])";
    const std::pair<const char*, std::string> cases[] = {
        {"not JSON", "{\"entries\":["},
        {"empty file", ""},
        {"a list, not an object", "[]"},
        {"an unknown state", entry("maybe") + nine + "}]}"},
        {"eight figures", entry("filed") + R"(["1","2","3","4","5","6","7","8"]}]})"},
        {"a figure as a number", entry("filed") + R"([1,"2","3","4","5","6","7","8","9"]}]})"},
        {"a missing field", R"({"entries":[{"vrn":"1","state":"filed","figures":)" + nine + "}]}"},
        {"a field more", entry("filed") + nine + R"(,"token":"x"}]})"},
    };
    fs::create_directories(m_dir / "Journal");
    WriteFile(m_journal.Path(), entry("unknown") + nine + "}]}");  // the shape the cases break
    ASSERT_EQ(m_journal.Read(m_problem).size(), 1u) << m_problem;
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(m_dir / "Journal");
        fs::create_directories(m_dir / "Journal");
        WriteFile(m_journal.Path(), bytes);
        m_problem.clear();

        EXPECT_TRUE(m_journal.Read(m_problem).empty());
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(m_dir / "Journal"))
            left.push_back(entry.path().filename().string());
        ASSERT_EQ(left.size(), 1u);
        EXPECT_TRUE(left[0].starts_with("journal.json.corrupt-")) << left[0];
        EXPECT_EQ(ReadFile(m_dir / "Journal" / left[0]), bytes);
        EXPECT_NE(m_problem.find(left[0]), std::string::npos) << m_problem;

        m_problem.clear();
        ASSERT_TRUE(m_journal.Record(Entry("18A1", JournalState::Sending), m_error, m_problem));
        EXPECT_EQ(m_problem, "");
    }
}

}  // namespace
