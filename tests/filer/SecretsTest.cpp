#include <sys/stat.h>

#include "FilingWindows.h"
#include "SandboxWindowTest.h"

// After a whole session no secret is anywhere but the profile and the token file, and the token
// file is readable by its owner only.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;
using calvenor::sandbox::Obligation;

mode_t Mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST_F(SandboxWindowTest, NoSecretOutsideTheProfileAndTheTokenFileAfterAWholeSession) {
    m_sandbox.SetObligations(
        "100000001", {Obligation{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7}, false, "18A1", {}}});
    std::vector<std::string> secrets = {std::string(sandbox::kDemoClientSecret)};

    // Authorise by code, then a second run renews from the token file.
    Button("startAuthorisationButton")->click();
    Button("copyButton")->click();
    secrets.push_back(m_sandbox.GrantCode());
    Edit("codeEdit")->setText(QString::fromStdString(secrets.back()));
    Button("codeOkButton")->click();
    secrets.push_back(m_window->Transaction().GetAccessToken());
    secrets.push_back(m_window->Transaction().GetRefreshToken());
    Open(ProfileFor(m_sandbox.BaseUrl()));
    Button("startAuthorisationButton")->click();
    ASSERT_TRUE(Button("getObligationsButton")->isEnabled());
    secrets.push_back(m_window->Transaction().GetAccessToken());
    secrets.push_back(m_window->Transaction().GetRefreshToken());

    // Obligations, a filing whose receipt is saved, and exit keeping the authorisation.
    ChooseCompany(1);
    Button("getObligationsButton")->click();
    const fs::path receipt = m_home.Root() / "Submission Receipt.txt";
    AnswerFilingWindows(3, [&](CResultsDialog& results) {
        m_recorder.QueueSaveFileName(QString::fromStdString(receipt.string()));
        results.findChild<QAbstractButton*>("saveButton")->click();
    });
    Button("enterVatButton")->click();
    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    WhenModalShown(
        [](QWidget* modal) { modal->findChild<QAbstractButton*>("yesButton")->click(); });
    Button("exitButton")->click();
    m_window.reset();

    for (const std::string& secret : secrets)
        ASSERT_GE(secret.size(), 8u) << "a secret the session should have had is missing";
    const fs::path tokenFile = TokenFile();
    std::vector<std::string> scanned;
    for (const auto& entry : fs::recursive_directory_iterator(m_home.Root())) {
        if (!entry.is_regular_file() || entry.path() == tokenFile ||
            entry.path() == m_home.ProfilePath())
            continue;
        scanned.push_back(entry.path().filename().string());
        const std::string content = ReadFile(entry.path());
        for (const std::string& secret : secrets)
            EXPECT_EQ(content.find(secret), std::string::npos) << secret << " in " << entry.path();
    }
    // The log, the automatic copy, the receipt file and the settings store were all looked at.
    EXPECT_TRUE(fs::exists(m_home.LogPath()));
    EXPECT_TRUE(fs::exists(receipt));
    EXPECT_TRUE(fs::exists(m_home.DataFolder() / "AutoSave"));
    EXPECT_GE(scanned.size(), 4u) << testing::PrintToString(scanned);

    EXPECT_EQ(Mode(tokenFile), 0600u);
    EXPECT_EQ(Mode(tokenFile.parent_path()), 0700u);
    EXPECT_EQ(Mode(m_home.DataFolder()), 0700u);
}

}  // namespace
}  // namespace calvenor::test
