#include <sys/stat.h>

#include "FigureFile.h"
#include "FilerWindowTest.h"

// Whole sessions with awkward data: a large profile; company names with markup characters and
// letters beyond ASCII, and every file in folders whose names have spaces and such letters. After
// a session no secret is anywhere but the profile and the owner-only token file.
namespace calvenor::test {
namespace {

const std::string kOddName = "Zoë & Søn <Ltd> \"Quoted\" 'Ünïcode'";
const std::string kOddListText = "100000001 : " + kOddName;

mode_t Mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST_F(FilerWindowTest, TenThousandClientsLoadAndTheLastCanBeChosen) {
    std::string clients;
    for (int i = 0; i < 10000; ++i)
        clients += (i ? "," : "") + std::string(R"({"company_name":"Client )") + std::to_string(i) +
                   R"( Ltd","vrn":")" + std::to_string(200000000 + i) + "\"}";
    Open(ProfileFor(m_sandbox.BaseUrl(), clients));
    ASSERT_EQ(Combo("companyCombo")->count(), 10001);
    EXPECT_EQ(Combo("companyCombo")->itemText(10000), "200009999 : Client 9999 Ltd");
    EXPECT_TRUE(m_recorder.Messages().empty());

    AuthoriseByCode();
    ChooseCompany("200009999");
    m_sandbox.ClearReceived();
    Button("getObligationsButton")->click();
    ASSERT_FALSE(m_sandbox.Received().empty());
    EXPECT_EQ(m_sandbox.Received().back().Path(), "/organisations/vat/200009999/obligations");
}

TEST_F(FilerWindowTest, WholeSessionInOddFoldersLeavesNoSecretBehind) {
    const fs::path odd = m_home.Root() / "Dössier mit Leerzeichen";
    const fs::path profile = odd / "agent profile é.json";
    const fs::path data = odd / "Dätä folder";
    const fs::path tokenFile = data / "TokDir" / "tokens.tok";
    const fs::path figures = odd / "Fïgures & more" / DefaultFigureFileName(kOddListText);
    const fs::path receipt = odd / "Reçus" / "Submission Receipt ü.txt";
    const fs::path log = odd / "rün dir" / "Calvenor.log";  // the system makes the folder
    for (const fs::path& file : {profile, figures, receipt, log})
        fs::create_directories(file.parent_path());
    ScopedEnv profileEnv("CALVENOR_PROFILE", profile.string());
    ScopedEnv dataEnv("CALVENOR_DATA_DIR", data.string());
    ScopedEnv logEnv("XDG_RUNTIME_DIR", log.parent_path().string());

    // The approvals program saves the figure file the filer imports.
    ReturnFigures approved;
    SetBoxTexts(approved, kFigures);
    CVatConfirm confirm(CaptureProgram::Approvals);
    confirm.SetCompanyText(kOddListText);
    confirm.SetFigures(approved);
    EXPECT_EQ(confirm.DefaultFileName(), figures.filename().string());
    m_recorder.QueueSaveFileName(QString::fromStdString(figures.string()));
    Click(&confirm, "saveButton");
    EXPECT_EQ(ReadFile(figures), FigureFileText(GetBoxTexts(approved)));

    m_sandbox.SetObligations("100000001", {kOpen});
    WriteFile(profile,
              ProfileFor(m_sandbox.BaseUrl(), R"({"company_name":"Zoë & Søn <Ltd> \"Quoted\" )"
                                              R"('Ünïcode'","vrn":"100000001"})"));
    Reopen();
    ASSERT_EQ(Combo("companyCombo")->itemText(1), QString::fromStdString(kOddListText));

    // Authorise by code; the next run renews from the token file.
    std::vector<std::string> secrets = {std::string(sandbox::kDemoClientSecret)};
    Button("startAuthorisationButton")->click();
    Button("copyButton")->click();
    secrets.push_back(m_sandbox.GrantCode());
    Edit("codeEdit")->setText(QString::fromStdString(secrets.back()));
    Button("codeOkButton")->click();
    secrets.push_back(m_window->Session().Transaction().GetAccessToken());
    secrets.push_back(m_window->Session().Transaction().GetRefreshToken());
    Reopen();
    Button("startAuthorisationButton")->click();
    ExpectMessage(0, "Already Authorised",
                  "Already Authorised - Please select a company and proceed as normal\r\n",
                  BeepKind::Information);
    EXPECT_EQ(Enabled(), "obligations");
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
    secrets.push_back(m_window->Session().Transaction().GetAccessToken());
    secrets.push_back(m_window->Session().Transaction().GetRefreshToken());

    // The renewed access token is the one presented for obligations.
    ChooseCompany("100000001");
    Button("getObligationsButton")->click();
    ASSERT_TRUE(Button("enterVatButton")->isEnabled());

    // Import the figure file in the entry window, submit, save the receipt.
    std::string entryTitle;
    AnswerModals({[&](QWidget* modal) {
                      entryTitle = modal->windowTitle().toStdString();
                      qobject_cast<CVatEntry*>(modal)->ImportFile(figures.string());
                      Click(modal, "continueButton");
                  },
                  kSubmit, AtResults([&](CResultsDialog& results) {
                      m_recorder.QueueSaveFileName(QString::fromStdString(receipt.string()));
                      Click(&results, "saveButton");
                  })});
    Button("enterVatButton")->click();

    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    EXPECT_NE(m_sandbox.FiledReturns()[0].requestBody.find(R"("netVatDue":"79.50")"),
              std::string::npos);
    EXPECT_NE(entryTitle.find(kOddListText), std::string::npos) << entryTitle;
    EXPECT_NE(ReadFile(receipt).find(kOddListText), std::string::npos);
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(data / "AutoSave"))
        copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(ReadFile(copies[0]).find(kOddListText), std::string::npos);
    EXPECT_NE(ReadFile(log).find("Logging Initialised."), std::string::npos);
    ASSERT_EQ(m_recorder.Messages().size(), 2u);
    EXPECT_EQ(m_recorder.Messages()[1].text, "No Open Periods Found for this company");

    // Exit keeping the authorisation, then look at every file the session left.
    AnswerModals({[](QWidget* modal) { Click(modal, "yesButton"); }});
    Button("exitButton")->click();
    m_window.reset();
    for (const std::string& secret : secrets)
        ASSERT_GE(secret.size(), 8u) << "a secret the session should have had is missing";
    std::vector<std::string> scanned;
    for (const auto& entry : fs::recursive_directory_iterator(m_home.Root())) {
        if (!entry.is_regular_file() || entry.path() == tokenFile || entry.path() == profile ||
            entry.path() == m_home.ProfilePath())
            continue;
        scanned.push_back(entry.path().filename().string());
        const std::string content = ReadFile(entry.path());
        for (const std::string& secret : secrets)
            EXPECT_EQ(content.find(secret), std::string::npos) << secret << " in " << entry.path();
    }
    // The log, the figure file, the automatic copy, the receipt and the settings store.
    EXPECT_GE(scanned.size(), 5u) << testing::PrintToString(scanned);
    EXPECT_EQ(Mode(tokenFile), 0600u);
    EXPECT_EQ(Mode(tokenFile.parent_path()), 0700u);
    EXPECT_EQ(Mode(data), 0700u);
}

}  // namespace
}  // namespace calvenor::test
