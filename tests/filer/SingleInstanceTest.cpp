#include <gtest/gtest.h>

#include <QProcess>
#include <optional>

#include "SingleInstance.h"
#include "TestSupport.h"

namespace calvenor::test {
namespace {

// Two filers would spend each other's single-use refresh tokens: while one holds the data folder,
// the program refuses to start, and says why; once it ends, the folder can be taken again.
TEST(SingleInstance, ProgramRefusesToStartWhileAnotherHoldsTheDataFolder) {
    IsolatedHome home;
    WriteFile(home.ProfilePath(), ReadFile(TestData("filer/profile.json")));
    std::optional<CSingleInstance> running(home.DataFolder());
    ASSERT_EQ(running->Acquire(), CSingleInstance::Outcome::Acquired);
    EXPECT_EQ(CSingleInstance(home.Root() / "other").Acquire(), CSingleInstance::Outcome::Acquired);

    QProcess filer;
    filer.start(QString::fromUtf8(CALVENOR_BIN_DIR "/calvenor"), {"--self-test"});
    ASSERT_TRUE(filer.waitForFinished(60000));
    EXPECT_EQ(filer.exitCode(), 1);
    EXPECT_TRUE(filer.readAllStandardError().contains(
        "Calvenor is already running. Use the open window, or close it before starting another."));
    running.reset();
    EXPECT_EQ(CSingleInstance(home.DataFolder()).Acquire(), CSingleInstance::Outcome::Acquired);
}

}  // namespace
}  // namespace calvenor::test
