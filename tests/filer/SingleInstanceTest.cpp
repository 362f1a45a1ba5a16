#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>

#include "SingleInstance.h"
#include "TestSupport.h"

namespace calvenor::test {
namespace {

TEST(SingleInstance, SecondFilerOnTheSameDataFolderIsRefusedUntilTheFirstEnds) {
    TempFolder folder;
    const auto data = folder / "data";
    {
        CSingleInstance first(data);
        ASSERT_EQ(first.Acquire(), CSingleInstance::Outcome::Acquired);
        CSingleInstance second(data);
        EXPECT_EQ(second.Acquire(), CSingleInstance::Outcome::AlreadyRunning);
        CSingleInstance elsewhere(folder / "other");
        EXPECT_EQ(elsewhere.Acquire(), CSingleInstance::Outcome::Acquired);
    }
    CSingleInstance after(data);
    EXPECT_EQ(after.Acquire(), CSingleInstance::Outcome::Acquired);
}

TEST(SingleInstance, ProgramRefusesToStartWhileAnotherHoldsTheDataFolder) {
    IsolatedHome home;
    WriteFile(home.ProfilePath(), ReadFile(TestData("filer/profile.json")));
    CSingleInstance running(home.DataFolder());
    ASSERT_EQ(running.Acquire(), CSingleInstance::Outcome::Acquired);

    QProcess filer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    filer.setProcessEnvironment(environment);
    filer.start(QString::fromUtf8(CALVENOR_BIN_DIR "/calvenor"), {"--self-test"});
    ASSERT_TRUE(filer.waitForFinished(60000));
    EXPECT_EQ(filer.exitCode(), 1);
    const std::string errors = filer.readAllStandardError().toStdString();
    EXPECT_NE(errors.find("Calvenor is already running. Use the open window, or close it before "
                          "starting another."),
              std::string::npos)
        << errors;
    EXPECT_EQ(filer.readAllStandardOutput().toStdString().find("main window shown"),
              std::string::npos);
}

}  // namespace
}  // namespace calvenor::test
