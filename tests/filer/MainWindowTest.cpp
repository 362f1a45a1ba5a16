#include <QAction>
#include <QCheckBox>
#include <sstream>

#include "AtomicFile.h"
#include "FilerWindowTest.h"

// The main window's own behaviour: start-up, the authorisation journey, choosing a client and a
// period, About and Exit. HMRC's failures are in the fault matrix.
namespace calvenor::test {
namespace {

TEST_F(FilerWindowTest, StartsWithTheCompanyListAndTouchesNeitherHmrcNorTheTokenFile) {
    // A usable token file and a listening HMRC: start-up must touch neither.
    WriteTokenFile("access|refresh|14400");
    CCalvenorDlg& window = Open(ProfileFor(m_sandbox.BaseUrl(), R"(
        {"company_name":"Beta Trading","vrn":"987654321"},
        {"company_name":"ACME Ltd","vrn":"123456789"})"));
    window.show();
    QApplication::processEvents();

    EXPECT_EQ(Items("companyCombo"), QStringList({"Select a Company...", "123456789 : ACME Ltd",
                                                  "987654321 : Beta Trading"}));
    EXPECT_EQ(Combo("companyCombo")->currentIndex(), 0);
    EXPECT_EQ(window.windowTitle(), "Calvenor");
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    // Screen readers announce each control by its label.
    EXPECT_EQ(Edit("urlEdit")->accessibleName(), "HMRC URL");
    EXPECT_EQ(Edit("codeEdit")->accessibleName(), "HMRC Code");
    EXPECT_EQ(Combo("companyCombo")->accessibleName(), "Select Company/VAT Number");
    EXPECT_EQ(Combo("periodCombo")->accessibleName(), "Select Period for Return");

    EXPECT_TRUE(m_recorder.Messages().empty());
    EXPECT_TRUE(m_sandbox.Received().empty());
    EXPECT_EQ(ReadFile(TokenFile()), "access|refresh|14400");
    const std::string log = ReadFile(m_home.LogPath());
    const std::string first = log.substr(0, log.find('\n') + 1);
    EXPECT_NE(first.find(" : filer/CalvenorDlg.cpp : "), std::string::npos) << first;
    EXPECT_TRUE(first.ends_with(" : CCalvenorDlg::OnInitDialog : Logging Initialised.\r\n"))
        << first;
}

// What is wrong in a profile is worded by the profile tests; here the window shows it once.
struct ProfileProblem {
    const char* name;
    std::string profileText;              // empty: no profile file at all
    std::vector<std::string> shownParts;  // none: no message
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
    EXPECT_EQ(Combo("companyCombo")->count(), GetParam().companies);
    if (GetParam().shownParts.empty()) {
        EXPECT_TRUE(m_recorder.Messages().empty());
        return;
    }

    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    const auto& message = m_recorder.Messages().front();
    EXPECT_EQ(message.title, "Agent Profile");
    EXPECT_EQ(message.beep, BeepKind::Exclamation);
    const std::string text = message.text.toStdString();
    EXPECT_NE(text.find(m_home.ProfilePath().string()), std::string::npos) << text;
    for (const std::string& part : GetParam().shownParts)
        EXPECT_NE(text.find(part), std::string::npos) << part << " not in " << text;
}

const std::string kNoClients = R"({"client_id":"a","client_secret":"b",
    "service_base_url":"https://test-api.service.hmrc.gov.uk","clients":[]})";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Profiles, ProfileProblemTest, ::testing::Values(
    ProfileProblem{"missing", "", {"does not exist"}, 0},
    ProfileProblem{"skipped_client", R"({"client_id":"a","client_secret":"b","service_base_url":"http://127.0.0.1:9",
        "clients":[{"company_name":"Short Ltd","vrn":"12345"},{"company_name":"ACME Ltd","vrn":"123456789"}]})",
        {"Short Ltd", "12345"}, 2},
    ProfileProblem{"no_clients", kNoClients, {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FilerWindowTest, AuthorisationJourneyFromStartToGetObligations) {
    Button("startAuthorisationButton")->click();
    const QString url = Edit("urlEdit")->text();
    EXPECT_TRUE(url.startsWith(QString::fromStdString(m_sandbox.BaseUrl()))) << url.toStdString();
    EXPECT_EQ(m_recorder.ClipboardText(), url);
    EXPECT_TRUE(m_recorder.Messages().empty());

    // A browser that does not open: the launch error, and Copy stays for another try.
    m_recorder.QueueOpenUrlResult(false);
    Button("copyButton")->click();
    ExpectMessage(0, "Error",
                  "There is no application associated with\rthe given file name extension.\r"
                  "Please open the application manually",
                  BeepKind::None);
    EXPECT_TRUE(LogHas(m_home.LogPath(),
                       "CCalvenorDlg::OnBnClickedButtonUrlCopy : Open briwser error : 31"));

    QTest::keyClicks(Edit("codeEdit"), "typed early");
    Button("copyButton")->click();
    ASSERT_FALSE(m_recorder.OpenedUrls().empty());
    EXPECT_EQ(m_recorder.OpenedUrls().back().toString(QUrl::FullyEncoded), url);
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());

    Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
    Button("codeOkButton")->click();
    EXPECT_EQ(m_recorder.Messages().size(), 1u);
    const std::string tokens = ReadFile(TokenFile());
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), '|'), 2) << tokens;
}

// HMRC's new tokens work for the run even when the token file cannot take them; the agent learns
// which file, why, and that the next start will need a new sign-in.
class TokensNotKept : public FilerWindowTest, public testing::WithParamInterface<bool> {};

TEST_P(TokensNotKept, StillAuthoriseAndTheAgentIsTold) {
    const bool renewal = GetParam();
    if (renewal) {
        AuthoriseByCode();
        Reopen();
    }
    const std::string stored = ReadFile(TokenFile());
    m_sandbox.ExpireAccessTokens();  // only the tokens issued now can list periods
    SetBeforeRenameHookForTesting([](const fs::path&) { return false; });
    if (renewal)
        Button("startAuthorisationButton")->click();
    else
        AuthoriseByCode();
    SetBeforeRenameHookForTesting({});

    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    const auto& message = m_recorder.Messages()[0];
    const std::string text = message.text.toStdString();
    EXPECT_EQ(message.title, renewal ? "Already Authorised" : "Authorised");
    EXPECT_TRUE(text.starts_with(std::string(renewal ? "Already " : "") +
                                 "Authorised - Please select a company and proceed as normal\r\n"
                                 "\r\nThe authorisation could not be kept in " +
                                 TokenFile().string() + ": "))
        << text;
    EXPECT_TRUE(text.ends_with("the next start will ask you to sign in with HMRC again.")) << text;
    EXPECT_EQ(ReadFile(TokenFile()), stored);
    ChooseCompany("100000001");
    Button("getObligationsButton")->click();
    EXPECT_GT(Combo("periodCombo")->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(By, TokensNotKept, testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Renewal" : "CodeExchange");
});

// ---- Which controls each state offers ----

struct StateRow {
    const char* name;
    const char* steps;    // the user's steps to the state, one word each (see the test)
    std::string enabled;  // the journey's controls that are enabled, in screen order
};

class WindowState : public FilerWindowTest, public testing::WithParamInterface<StateRow> {};

TEST_P(WindowState, OffersEachControlExactlyWhenItsActionCanWork) {
    std::istringstream steps(GetParam().steps);
    for (std::string step; steps >> step;) {
        if (step == "noprofile")
            Open("");
        else if (step == "start")
            Button("startAuthorisationButton")->click();
        else if (step == "nobrowser")
            m_recorder.QueueOpenUrlResult(false);
        else if (step == "copy")
            Button("copyButton")->click();
        else if (step == "type")
            QTest::keyClicks(Edit("codeEdit"), "x");
        else if (step == "grant")
            Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
        else if (step == "ok")
            Button("codeOkButton")->click();
        else if (step == "authorise")
            AuthoriseByCode();
        else if (step == "restart")
            Reopen();
        else if (step == "ready")
            ReadyToFile();
        else if (step == "expire")
            m_sandbox.ExpireAccessTokens();
        else if (step.starts_with("get=")) {
            ChooseCompany(step.substr(4).c_str());
            Button("getObligationsButton")->click();
        } else {  // "path=status": HMRC's next answer there
            Fault answer;
            answer.status = std::stoi(step.substr(step.find('=') + 1));
            answer.body = answer.status == 200 ? "<html>Sign in</html>" : "{}";
            m_sandbox.ArmFault(step.substr(0, step.find('=')), answer);
        }
    }
    EXPECT_EQ(Enabled(), GetParam().enabled);
    EXPECT_TRUE(Button("exitButton")->isEnabled());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(States, WindowState, testing::Values(
    StateRow{"Start", "", "start"},
    StateRow{"ProfileMissing", "noprofile", ""},
    StateRow{"JourneyStarted", "start", "copy code"},
    StateRow{"SignInPageServedDirectly", "/oauth/authorize=200 start", "copy code"},
    StateRow{"JourneyFailed", "/oauth/authorize=500 start", "start"},
    StateRow{"BrowserOpened", "start copy", "code"},
    StateRow{"CodeTyped", "start copy type", "code ok"},
    StateRow{"CodeRefused", "start copy type ok", "code"},
    StateRow{"RefusedCodeEdited", "start copy type ok type", "code ok"},
    StateRow{"AuthorisedByCode", "start nobrowser copy grant ok", "obligations"},
    // A code typed before a renewal can send nothing that would replace the renewed token.
    StateRow{"AuthorisedByRenewal", "authorise restart type start", "obligations"},
    StateRow{"RenewalFailedKept", "authorise restart /oauth/token=503 start", "start"},
    StateRow{"RenewalRejected", "authorise restart /oauth/token=400 start", "start"},
    StateRow{"PeriodsListed", "ready", "obligations file"},
    StateRow{"RetrievalFailedKept", "start nobrowser copy grant ok get=100000005", "start"},
    StateRow{"RetrievalRejected", "ready expire get=100000001", "start"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---- Get Obligations ----

const std::string kNotAuthorised =
    "Error - Failed to retrieve Obligations\rCLIENT AND/OR AGENT NOT AUTHORISED\r\rThis is "
    "normally because:\rthe client is not subscribed to MTD;\rthe agent is not subscribed to "
    "Agent Services;\rthe client has not authorised the agent to act on their behalf;\ror the "
    "authorisation has expired.";

struct RetrievalRow {
    const char* name;
    const char* vrn;  // the client chosen; none: none chosen
    std::string title, text;
    bool backAtStart;  // the retrieval failed: the window returns to its start
};

class EmptyRetrieval : public FilerWindowTest, public testing::WithParamInterface<RetrievalRow> {};

TEST_P(EmptyRetrieval, ListsNoPeriodAndExplains) {
    const RetrievalRow& row = GetParam();
    AuthoriseByCode();
    if (row.vrn)
        ChooseCompany(row.vrn);
    m_sandbox.ClearReceived();
    Button("getObligationsButton")->click();
    ExpectMessage(0, row.title, row.text, BeepKind::Information);
    EXPECT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    if (!row.vrn) {
        for (const auto& request : m_sandbox.Received())
            EXPECT_EQ(request.Path().find("/organisations/"), std::string::npos) << request.target;
    } else {
        EXPECT_TRUE(Combo("companyCombo")->currentText().startsWith(row.vrn));
    }
    if (!row.backAtStart) {
        EXPECT_TRUE(fs::exists(TokenFile()));
        EXPECT_EQ(Enabled(), "obligations");
    } else {
        // One client's refusal says nothing about the token: the next start renews it.
        EXPECT_EQ(m_recorder.Messages()[0].icon, MessageIcon::Warning);
        ExpectBackAtStart(true);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, EmptyRetrieval, testing::Values(
    RetrievalRow{"NoCompanyChosen", nullptr, "Error", "Please Select a Company", false},
    RetrievalRow{"NoOpenPeriods", "100000004", "Error", "No Open Periods Found for this company", false},
    RetrievalRow{"ClientNotAuthorised", "100000005", "Failed to retrieve Obligations", kNotAuthorised, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FilerWindowTest, PeriodsKeepHmrcsOrderAndUnconvertibleDatesAreListedAsSent) {
    AuthoriseByCode();
    Fault answer;
    answer.status = 200;
    answer.body = R"({"obligations":[
        {"start":"2023-07-01","end":"2023-09-30","due":"2023-11-07","status":"O","periodKey":"23C3"},
        {"start":"2023-04-01","end":"2023-06-30","due":"2023-08-07","status":"O","periodKey":"23C2"},
        {"start":"2023-10-01","end":"2023-13-31","due":"2024-02-07","status":"O","periodKey":"23C4"}]})";
    m_sandbox.ArmFault("/organisations/vat/100000001/obligations", answer);
    ChooseCompany("100000001");
    m_sandbox.ClearReceived();
    Button("getObligationsButton")->click();

    EXPECT_TRUE(m_recorder.Messages().empty());
    EXPECT_EQ(Items("periodCombo"),
              QStringList({"01 Jul 2023  To  30 Sep 2023", "01 Apr 2023  To  30 Jun 2023",
                           "2023-10-01 - 2023-13-31"}));
    EXPECT_EQ(m_sandbox.Received().size(), 1u);
    EXPECT_EQ(Combo("periodCombo")->currentIndex(), 0);
    EXPECT_EQ(Enabled(), "obligations file");
    EXPECT_EQ(m_window->Session().SelectedCompanyText(), "100000001 : Ashcombe Joinery Ltd");
    EXPECT_EQ(m_window->Session().SelectedPeriodIndex(), 0);
    ASSERT_EQ(m_window->Session().Obligations().size(), 3u);
    EXPECT_EQ(m_window->Session().Obligations()[0].periodKey, "23C3");

    Combo("periodCombo")->setCurrentIndex(1);
    emit Combo("periodCombo")->activated(1);
    EXPECT_EQ(m_window->Session().SelectedPeriodIndex(), 1);
}

TEST_F(FilerWindowTest, ChangingCompanyEmptiesThePeriodsUntilAskedAgain) {
    AuthoriseByCode();
    ChooseCompany("100000001");
    Button("getObligationsButton")->click();
    ASSERT_GT(Combo("periodCombo")->count(), 0);

    ChooseCompany("100000002");
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    EXPECT_EQ(Enabled(), "obligations");
    EXPECT_TRUE(LogHas(m_home.LogPath(), "CCalvenorDlg::ResetCompanies : ResetCompanies"));

    m_sandbox.ClearReceived();
    Button("getObligationsButton")->click();
    EXPECT_GT(Combo("periodCombo")->count(), 0);
    ASSERT_EQ(m_sandbox.Received().size(), 1u);
    EXPECT_EQ(m_sandbox.Received()[0].Path(), "/organisations/vat/100000002/obligations");
    EXPECT_EQ(m_window->Session().SelectedCompanyText(), "100000002 : Brightwater Bakery Ltd");
}

// ---- Exit and About ----

struct ExitAnswer {
    bool tick, yes;
};
struct ExitRow {
    const char* name;
    bool closeBox;  // the title bar's close box instead of Exit
    std::vector<ExitAnswer> answers;
    bool tokenFileKept;
};

class ExitQuestion : public FilerWindowTest, public testing::WithParamInterface<ExitRow> {};

TEST_P(ExitQuestion, EndsOnlyOnYesAndDeletesTheAuthorisationOnlyWhenTicked) {
    WriteTokenFile("access|refresh|14400");
    CCalvenorDlg& window = Open();
    window.show();
    for (const ExitAnswer& answer : GetParam().answers) {
        AnswerModals({[answer](QWidget* modal) {
            EXPECT_EQ(modal->windowTitle(), "Exit Calvenor");
            auto* box = modal->findChild<QCheckBox*>("deleteAuthorisationCheckBox");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Delete Retained Authorisation on Exit?");
            EXPECT_FALSE(box->isChecked()) << "the box must be unticked at every showing";
            if (answer.tick)
                box->click();
            // Answered with Enter on the focused button: on No it must not mean the default Yes.
            auto* button = modal->findChild<QPushButton*>(answer.yes ? "yesButton" : "noButton");
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Return);
        }});
        if (GetParam().closeBox)
            window.close();
        else
            Button("exitButton")->click();
        EXPECT_EQ(window.isVisible(), !answer.yes);
    }
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(fs::exists(TokenFile()), GetParam().tokenFileKept);
    EXPECT_EQ(m_recorder.Beeps(),
              std::vector<BeepKind>(GetParam().answers.size(), BeepKind::Question));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, ExitQuestion, testing::Values(
    ExitRow{"No", false, {{false, false}}, true},
    ExitRow{"TickedNoThenUntickedYes", false, {{true, false}, {false, true}}, true},
    ExitRow{"TickedYes", false, {{true, true}}, false},
    ExitRow{"CloseBoxNoThenYes", true, {{false, false}, {false, true}}, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

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
    Button("startAuthorisationButton")->setFocus();  // but Enter presses a focused button
    QTest::keyClick(Button("startAuthorisationButton"), Qt::Key_Return);
    EXPECT_FALSE(Edit("urlEdit")->text().isEmpty());
}

TEST_F(FilerWindowTest, TokenStoreThatCannotBePreparedIsLoggedAndExitStillEnds) {
    // The data folder is a file: the token folder cannot be made.
    WriteFile(m_home.Root() / "not-a-folder", "x");
    ScopedEnv data("CALVENOR_DATA_DIR", (m_home.Root() / "not-a-folder").string());
    CCalvenorDlg& window = Open();
    window.show();
    AnswerModals({[](QWidget* modal) {
        modal->findChild<QCheckBox*>("deleteAuthorisationCheckBox")->click();
        Click(modal, "yesButton");
    }});
    Button("exitButton")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(LogHas(m_home.LogPath(),
                       "CCalvenorDlg::DeleteTokenFile : CToken error (Dlg): "
                       "Failed to create token dir"));
}

TEST_F(FilerWindowTest, AboutOpensFromTheContextMenuItemAndWithF1) {
    CCalvenorDlg& window = Open();
    int seen = 0;
    const ModalStep about = [&seen](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "About Calvenor");
        auto* version = modal->findChild<QLineEdit*>("versionLine");
        auto* notice = modal->findChild<QLineEdit*>("noticeLine");
        ASSERT_TRUE(version && notice);
        EXPECT_EQ(version->text(), "Calvenor  Ver 2.12.2");
        EXPECT_TRUE(version->isReadOnly());
        EXPECT_FALSE(notice->text().isEmpty());
        ++seen;
        Click(modal, "okButton");
    };
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* action = window.findChild<QAction*>("aboutAction");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "&About Calvenor...");
    EXPECT_TRUE(window.actions().contains(action));
    AnswerModals({about});
    action->trigger();
    EXPECT_EQ(seen, 1);

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    AnswerModals({about});
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace calvenor::test
