#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QTest>

#include "FilerTestSupport.h"
#include "ModalTestHelper.h"
#include "StubHmrc.h"

namespace calvenor::test {
namespace {

std::string FirstLogLine(const std::filesystem::path& log) {
    const std::string text = ReadFile(log);
    return text.substr(0, text.find('\n') + 1);
}

TEST_F(FilerWindowTest, StartsWithTheCompanyListAndOnlyStartAuthorisationEnabled) {
    // A usable token file and a listening HMRC stand-in: start-up must touch neither.
    CStubHmrc hmrc(
        [](const httplib::Request&, httplib::Response& response) { response.status = 500; });
    WriteTokenFile("access|refresh|14400");

    std::string profile = kTwoClientProfile;
    profile.replace(profile.find("http://127.0.0.1:9"), 18, hmrc.BaseUrl());
    CCalvenorDlg& window = Open(profile);
    window.show();
    QApplication::processEvents();

    QComboBox* companies = Combo("companyCombo");
    ASSERT_EQ(companies->count(), 3);
    EXPECT_EQ(companies->itemText(0), "Select a Company...");
    EXPECT_EQ(companies->itemText(1), "123456789 : ACME Ltd");
    EXPECT_EQ(companies->itemText(2), "987654321 : Beta Trading");
    EXPECT_EQ(companies->currentIndex(), 0);
    EXPECT_EQ(window.windowTitle(), "Calvenor");

    EXPECT_TRUE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_FALSE(Button("copyButton")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
    EXPECT_FALSE(Button("getObligationsButton")->isEnabled());
    EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    EXPECT_TRUE(Button("exitButton")->isEnabled());
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
    EXPECT_EQ(Combo("periodCombo")->count(), 0);

    EXPECT_TRUE(m_recorder.Messages().empty());
    EXPECT_EQ(hmrc.Requests(), 0);
    EXPECT_EQ(ReadFile(TokenFile()), "access|refresh|14400");
    const std::string first = FirstLogLine(m_home.LogPath());
    EXPECT_NE(first.find(" : filer/CalvenorDlg.cpp : "), std::string::npos) << first;
    EXPECT_TRUE(first.ends_with(" : CCalvenorDlg::OnInitDialog : Logging Initialised.\r\n"))
        << first;
    window.done(QDialog::Rejected);
}

TEST_F(FilerWindowTest, ControlsCarryTheirLabelsAsAccessibleNames) {
    Open();
    EXPECT_EQ(Edit("urlEdit")->accessibleName(), "HMRC URL");
    EXPECT_EQ(Edit("codeEdit")->accessibleName(), "HMRC Code");
    EXPECT_EQ(Combo("companyCombo")->accessibleName(), "Select Company/VAT Number");
    EXPECT_EQ(Combo("periodCombo")->accessibleName(), "Select Period for Return");
}

TEST_F(FilerWindowTest, ProfileWithNoClientsListsOnlyThePrompt) {
    CCalvenorDlg& window = Open(R"({"client_id":"a","client_secret":"b",
        "service_base_url":"https://test-api.service.hmrc.gov.uk","clients":[]})");
    window.show();
    QApplication::processEvents();
    ASSERT_EQ(Combo("companyCombo")->count(), 1);
    EXPECT_EQ(Combo("companyCombo")->itemText(0), "Select a Company...");
    EXPECT_TRUE(m_recorder.Messages().empty());
    window.done(QDialog::Rejected);
}

TEST_F(FilerWindowTest, TypingACodeEnablesOkAndEmptyingItDisablesIt) {
    Open();
    QTest::keyClicks(Edit("codeEdit"), "a");
    EXPECT_TRUE(Button("codeOkButton")->isEnabled());
    QTest::keyClick(Edit("codeEdit"), Qt::Key_Backspace);
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
}

struct ProfileProblem {
    const char* name;
    std::string profileText;  // empty: no profile file at all
    std::vector<std::string> shownParts;
    int companies;
};

class ProfileProblemTest : public FilerWindowTest,
                           public ::testing::WithParamInterface<ProfileProblem> {};

TEST_P(ProfileProblemTest, IsShownOnceNamingThePathAndTheWindowStillOpens) {
    CCalvenorDlg& window = Open(GetParam().profileText);
    window.show();
    QApplication::processEvents();
    window.hide();
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());

    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    const auto& message = m_recorder.Messages().front();
    EXPECT_EQ(message.title, "Agent Profile");
    EXPECT_EQ(message.beep, BeepKind::Exclamation);
    const std::string text = message.text.toStdString();
    EXPECT_NE(text.find(m_home.ProfilePath().string()), std::string::npos) << text;
    for (const std::string& part : GetParam().shownParts) {
        EXPECT_NE(text.find(part), std::string::npos) << part << " not in " << text;
    }
    EXPECT_EQ(Combo("companyCombo")->count(), GetParam().companies);
    EXPECT_TRUE(Button("startAuthorisationButton")->isEnabled());
    window.done(QDialog::Rejected);
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileProblemTest,
                         ::testing::Values(ProfileProblem{"missing", "", {"does not exist"}, 1},
                                           ProfileProblem{
                                               "bad_json", R"({"client_id": )", {"offset"}, 1},
                                           ProfileProblem{"refused_base_url",
                                                          R"({"client_id":"a","client_secret":"b",
                           "service_base_url":"http://hmrc.example","clients":[]})",
                                                          {"service_base_url", "https://"},
                                                          1},
                                           ProfileProblem{"skipped_client",
                                                          R"({"client_id":"a","client_secret":"b",
                           "service_base_url":"http://127.0.0.1:9",
                           "clients":[{"company_name":"Short Ltd","vrn":"12345"},
                                      {"company_name":"ACME Ltd","vrn":"123456789"}]})",
                                                          {"Short Ltd", "12345"},
                                                          2}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Exit ----

void AnswerExit(bool tick, bool yes, bool* boxWasUnticked = nullptr) {
    WhenModalShown([=](QWidget* modal) {
        ASSERT_EQ(modal->windowTitle(), "Exit Calvenor");
        auto* box = modal->findChild<QCheckBox*>("deleteAuthorisationCheckBox");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Delete Retained Authorisation on Exit?");
        if (boxWasUnticked != nullptr) {
            *boxWasUnticked = !box->isChecked();
        }
        if (tick) {
            box->click();
        }
        modal->findChild<QPushButton*>(yes ? "yesButton" : "noButton")->click();
    });
}

TEST_F(FilerWindowTest, ExitAnsweredNoKeepsRunning) {
    CCalvenorDlg& window = Open();
    window.show();
    AnswerExit(false, false);
    Button("exitButton")->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(m_recorder.Beeps(), std::vector<BeepKind>{BeepKind::Question});
    window.done(QDialog::Rejected);
}

TEST_F(FilerWindowTest, TickedThenNoThenUntickedYesKeepsTheTokenFile) {
    WriteTokenFile("access|refresh|14400");
    CCalvenorDlg& window = Open();
    window.show();
    AnswerExit(true, false);
    Button("exitButton")->click();
    ASSERT_TRUE(window.isVisible());

    bool unticked = false;
    AnswerExit(false, true, &unticked);
    Button("exitButton")->click();
    EXPECT_TRUE(unticked) << "the box must be unticked at every showing";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_TRUE(std::filesystem::exists(TokenFile()));
}

TEST_F(FilerWindowTest, TickedAndYesDeletesTheTokenFile) {
    WriteTokenFile("access|refresh|14400");
    CCalvenorDlg& window = Open();
    window.show();
    AnswerExit(true, true);
    Button("exitButton")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(std::filesystem::exists(TokenFile()));
}

TEST_F(FilerWindowTest, TitleBarCloseAsksTheSameQuestion) {
    CCalvenorDlg& window = Open();
    window.show();
    AnswerExit(false, false);
    window.close();
    EXPECT_TRUE(window.isVisible());
    AnswerExit(false, true);
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(m_recorder.Beeps().size(), 2u);
}

TEST_F(FilerWindowTest, EscapeAndEnterDoNotCloseTheWindow) {
    CCalvenorDlg& window = Open();
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    Edit("codeEdit")->setFocus();
    QTest::keyClick(Edit("codeEdit"), Qt::Key_Return);
    QTest::keyClick(Combo("companyCombo"), Qt::Key_Enter);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(m_recorder.Beeps().empty()) << "no exit question was asked";
    window.done(QDialog::Rejected);
}

TEST_F(FilerWindowTest, TokenStoreThatCannotBePreparedIsLoggedAndExitStillEnds) {
    // The data folder is a file: the token folder cannot be made.
    WriteFile(m_home.Root() / "not-a-folder", "x");
    ScopedEnv data("CALVENOR_DATA_DIR", (m_home.Root() / "not-a-folder").string());
    CCalvenorDlg& window = Open();
    window.show();
    AnswerExit(true, true);
    Button("exitButton")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_NE(ReadFile(m_home.LogPath())
                  .find("CCalvenorDlg::DeleteTokenFile : CToken error (Dlg): Failed to create "
                        "token dir\r\n"),
              std::string::npos);
}

// ---- About ----

void ExpectAboutAndClose(bool* seen) {
    WhenModalShown([seen](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "About Calvenor");
        auto* version = modal->findChild<QLineEdit*>("versionLine");
        auto* notice = modal->findChild<QLineEdit*>("noticeLine");
        ASSERT_NE(version, nullptr);
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(version->text(), "Calvenor  Ver 2.12.2");
        EXPECT_FALSE(notice->text().isEmpty());
        EXPECT_TRUE(version->isReadOnly());
        *seen = true;
        modal->findChild<QPushButton*>("okButton")->click();
    });
}

TEST_F(FilerWindowTest, AboutOpensFromTheContextMenuItem) {
    CCalvenorDlg& window = Open();
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* about = window.findChild<QAction*>("aboutAction");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), "&About Calvenor...");
    EXPECT_TRUE(window.actions().contains(about));
    bool seen = false;
    ExpectAboutAndClose(&seen);
    about->trigger();
    EXPECT_TRUE(seen);
}

TEST_F(FilerWindowTest, AboutOpensWithF1) {
    CCalvenorDlg& window = Open();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    bool seen = false;
    ExpectAboutAndClose(&seen);
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(seen);
    window.done(QDialog::Rejected);
}

}  // namespace
}  // namespace calvenor::test
