#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <set>
#include <sstream>

#include "CalvenorApp.h"
#include "CalvenorDlg.h"
#include "JournalSettling.h"
#include "Log.h"
#include "ModalTestHelper.h"
#include "ReturnData.h"
#include "SandboxHome.h"
#include "UiRecorder.h"
#include "VatConfirm.h"

// What the main window itself does: it shows its filing session's state (the controls offered,
// the URL box, the period list), asks before it closes, opens About and the browser, and runs the
// entry and confirmation windows; a filing from it passes HMRC's header checks. What HMRC
// answers, and what follows, is in the exchange files.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;

inline void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// The main window on the sandbox's profile in an isolated home, with the recorder installed.
class FilerWindowTest : public SandboxHomeTest {
protected:
    void SetUp() override {
        SandboxHomeTest::SetUp();
        CLog::ResetForTesting();
        Open(SandboxProfile());
    }
    void TearDown() override {
        m_window.reset();
        EXPECT_EQ(VisibleTopLevelWindows(), 0) << "a window was left open";
    }

    // Writes `profile` (none when empty) and opens a new main window on it, as a new run would.
    void Open(const std::string& profile) {
        profile.empty() ? void(fs::remove(m_home.ProfilePath()))
                        : WriteFile(m_home.ProfilePath(), profile);
        m_window.reset();  // one transport per process, as in the program
        m_window = std::make_unique<CCalvenorDlg>(LoadAgentProfile());
    }

    template <typename T = QPushButton>
    T* Find(const char* name) {
        T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QComboBox* Combo(const char* name) { return Find<QComboBox>(name); }

    // Start Authorisation, Copy, the granted code, OK.
    void AuthoriseByCode() {
        Find("startAuthorisationButton")->click();
        Find("copyButton")->click();
        Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
        Find("codeOkButton")->click();
    }
    // Authorised, the first client chosen and its one open period listed.
    void ReadyToFile() {
        m_sandbox.SetObligations("100000001", {kOpen});
        AuthoriseByCode();
        Combo("companyCombo")->setCurrentIndex(1);
        Find("getObligationsButton")->click();
        m_sandbox.ClearReceived();
    }

    CUiRecorder m_recorder;
    std::unique_ptr<CCalvenorDlg> m_window;
};

struct StateRow {
    const char* name;
    const char* steps;    // the agent's steps (see the test)
    const char* enabled;  // the controls offered, in screen order
    bool url;             // the URL box (and the clipboard) hold the sign-in address
    int periods;
};

class WindowState : public FilerWindowTest, public testing::WithParamInterface<StateRow> {};

TEST_P(WindowState, ShowsTheSessionsState) {
    std::istringstream steps(GetParam().steps);
    for (std::string step; steps >> step;) {
        if (step == "noprofile")
            Open("");
        else if (step == "type")
            QTest::keyClicks(Edit("codeEdit"), "x");
        else if (step == "ready")
            ReadyToFile();
        else if (step == "expire")  // HMRC stops accepting the token in use
            m_sandbox.ExpireAccessTokens();
        else if (step == "nocompany")  // back to "Select a Company..."
            Combo("companyCombo")->setCurrentIndex(0), emit Combo("companyCombo")->activated(0);
        else if (step == "otherclient")  // choosing a client empties the periods
            emit Combo("companyCombo")->activated(2);
        else if (step == "refused")  // a client who has not authorised the agent: back to start
            Combo("companyCombo")->setCurrentIndex(5), Find("getObligationsButton")->click();
        else
            Find((step + "Button").c_str())->click();  // startAuthorisation, copy, codeOk
    }
    std::string enabled;
    for (const char* name : {"startAuthorisationButton", "copyButton", "codeEdit", "codeOkButton",
                             "getObligationsButton", "viewAccountButton", "enterVatButton"})
        enabled += Find<QWidget>(name)->isEnabled() ? std::string(name) + " " : "";
    EXPECT_EQ(enabled, GetParam().enabled);
    const QString url = Edit("urlEdit")->text();
    EXPECT_EQ(url.startsWith(QString::fromStdString(m_sandbox.BaseUrl())), GetParam().url);
    EXPECT_EQ(!url.isEmpty() && m_recorder.ClipboardText() == url, GetParam().url);
    EXPECT_EQ(Combo("periodCombo")->count(), GetParam().periods);
    EXPECT_EQ(Combo("periodCombo")->currentIndex(), GetParam().periods - 1);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(States, WindowState, testing::Values(
    StateRow{"Start", "", "startAuthorisationButton ", false, 0},
    StateRow{"ProfileMissing", "noprofile", "", false, 0},
    StateRow{"JourneyStarted", "startAuthorisation", "copyButton codeEdit ", true, 0},
    StateRow{"BrowserOpened", "startAuthorisation copy", "codeEdit ", true, 0},
    StateRow{"CodeTyped", "startAuthorisation copy type", "codeEdit codeOkButton ", true, 0},
    StateRow{"CodeRefused", "startAuthorisation copy type codeOk", "codeEdit ", true, 0},
    StateRow{"PeriodsListed", "ready", "getObligationsButton viewAccountButton enterVatButton ",
             true, 1},
    StateRow{"CompanyChanged", "ready otherclient", "getObligationsButton viewAccountButton ",
             true, 0},
    StateRow{"NoCompany", "ready nocompany", "getObligationsButton ", true, 0},
    StateRow{"BackAtStart", "ready refused", "startAuthorisationButton ", false, 0},
    StateRow{"AccountTokenRejected", "ready expire viewAccount", "startAuthorisationButton ",
             false, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FilerWindowTest, CopyOpensTheAddressThroughTheDesktopAndExplainsAFailure) {
    Find("startAuthorisationButton")->click();
    m_recorder.QueueOpenUrlResult(false);
    Find("copyButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text,
              "There is no application associated with\rthe given file name extension.\r"
              "Please open the application manually");
    EXPECT_NE(ReadFile(m_home.LogPath()).find("OnBnClickedButtonUrlCopy : Open briwser error : 31"),
              std::string::npos);
    QTest::keyClicks(Edit("codeEdit"), "typed early");
    Find("copyButton")->click();
    EXPECT_EQ(m_recorder.OpenedUrls().back().toString(QUrl::FullyEncoded), Edit("urlEdit")->text());
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
}

TEST_F(FilerWindowTest, AMissingProfileIsShownOnceAndNoClientIsListed) {
    Open("");
    for (int showing = 0; showing < 2; ++showing)
        m_window->show(), QApplication::processEvents(), m_window->hide();
    EXPECT_EQ(Combo("companyCombo")->count(), 0);
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].title, "Agent Profile");
    EXPECT_TRUE(m_recorder.Messages()[0].text.contains(m_home.ProfilePath().c_str()));
}

template <typename Window>
BoxTexts Shown(QWidget* modal) {
    BoxTexts texts;
    for (int box = 1; box <= 9; ++box)
        texts[box - 1U] = qobject_cast<Window*>(modal)->Box(box)->text().toStdString();
    return texts;
}

// Runs the ip command; why it failed, or empty.
std::string Ip(const QStringList& arguments) {
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    const bool ran = ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit;
    return ran && ip.exitCode() == 0 ? "" : "ip " + arguments.join(' ').toStdString() + " failed";
}

// A second network card for one test (the header then lists more than one): a dummy link, or a
// bridge without ports where the kernel has no dummy driver. Making one needs CAP_NET_ADMIN.
struct ScopedLink {
    ScopedLink() {
        if (!problem.empty() && Ip({"link", "add", name, "type", "bridge"}).empty())
            problem.clear();
        if (problem.empty())
            problem = Ip({"link", "set", name, "address", "02:ca:1f:7e:57:01", "up"});
    }
    ~ScopedLink() { Ip({"link", "delete", name}); }
    const QString name = QStringLiteral("calvtest%1").arg(::getpid() % 10000000);
    std::string problem = Ip({"link", "add", name, "type", "dummy"});
};

// Cancel ends the flow with nothing sent. Figures typed with no digit before the point are cut
// like any other, Back returns to them as they were left, and HMRC receives what the confirmation
// showed, with fraud-prevention headers that describe this desktop (its screens, its network
// cards, the window as the agent left it) and pass HMRC's checks. The receipt follows, the list is
// asked for again, and the period list is emptied after.
TEST_F(FilerWindowTest, AFilingFromThisDesktopSendsWhatWasConfirmedOrNothing) {
    const ScopedLink link;
    CCalvenorApp::HandOverScreenFacts();
    ReadyToFile();
    AnswerModals({[](QWidget* modal) { Click(modal, "cancelButton"); }});
    Find("enterVatButton")->click();
    EXPECT_TRUE(m_sandbox.Received().empty());
    EXPECT_FALSE(Find("enterVatButton")->isEnabled());

    Find("getObligationsButton")->click();
    m_window->resize(1111, 777);
    const BoxTexts typed = {".555", ".12345", "", "-.5", "", ".999", "-.", ".", "-.555"};
    BoxTexts again, confirmed;
    std::string caption;
    AnswerModals(
        {[&](QWidget* modal) {
             for (int box = 1; box <= 9; ++box)
                 QTest::keyClicks(qobject_cast<CVatEntry*>(modal)->Box(box),
                                  QString::fromStdString(typed[box - 1U]));
             Click(modal, "continueButton");
         },
         [](QWidget* modal) { Click(modal, "backButton"); },
         [&](QWidget* modal) { again = Shown<CVatEntry>(modal), Click(modal, "continueButton"); },
         [&](QWidget* modal) {
             confirmed = Shown<CVatConfirm>(modal);
             Click(modal, "declarationCheckBox"), Click(modal, "submitButton");
         },
         [&](QWidget* modal) {
             caption = modal->windowTitle().toStdString();
             QTest::keyClick(modal, Qt::Key_Escape);
         }});
    Find("enterVatButton")->click();
    SetScreensReader({});
    EXPECT_EQ(confirmed, (BoxTexts{"0.55", "0.12", "0.67", "-0.50", "1.17", "0", "0", "0", "-0"}));
    EXPECT_EQ(again, (BoxTexts{"0.55", "0.12", "0.00", "-0.50", "0.00", "0", "0", "0", "-0"}));
    ReturnFigures filed;
    SetBoxTexts(filed, confirmed);
    filed.periodKey = "18A1";
    CReturnData body;
    body.BuildJson(filed);
    const auto sent = m_sandbox.Received();
    const auto submission = std::find_if(
        sent.begin(), sent.end(), [](const auto& request) { return request.method == "POST"; });
    ASSERT_NE(submission, sent.end());
    EXPECT_EQ(submission->body, body.GetJson());
    EXPECT_EQ(caption, "VAT Submission Results : Success");
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "No Open Periods Found for this company");
    EXPECT_EQ(Combo("periodCombo")->count(), 0);

    std::set<std::string> cards;  // as the system lists them, without the filer's own code
    for (const QString& card : QDir("/sys/class/net").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        cards.insert(ReadFile("/sys/class/net/" + card.toStdString() + "/address"));
    std::erase_if(cards, [](auto& mac) { return mac.find_first_not_of("0:\n") == mac.npos; });
    const auto count = [&submission](const char* header) {
        const std::string value = submission->Header(header).value_or("");
        return static_cast<std::size_t>(std::count(value.begin(), value.end(), ',') + 1);
    };
    const qreal ratio = m_window->devicePixelRatioF();
    EXPECT_EQ(submission->Header("Gov-Client-Window-Size"),
              "width=" + std::to_string(qRound(1111 * ratio)) +
                  "&height=" + std::to_string(qRound(777 * ratio)));
    EXPECT_EQ(count("Gov-Client-Screens"), QGuiApplication::screens().size());
    EXPECT_EQ(count("Gov-Client-MAC-Addresses"), cards.size()) << link.problem;
    // What this filer cannot answer: it has no multi-factor sign-in of its own, and a virtual
    // machine or container may have no firmware names.
    for (const auto& endpoint : m_sandbox.FraudFeedback()) {
        for (const auto& error : endpoint.result.errors)
            ADD_FAILURE() << endpoint.endpoint << ": " << error.header << ": " << error.message;
        for (const auto& warning : endpoint.result.warnings)
            EXPECT_TRUE(warning.header == "gov-client-multi-factor" ||
                        warning.message.starts_with("device-"))
                << warning.header << ": " << warning.message;
    }
}

// A period whose last submission lost its connection and is unchecked opens no entry window:
// the reason is shown and nothing is sent.
TEST_F(FilerWindowTest, AnUncheckedPeriodIsRefusedWithItsReason) {
    ReadyToFile();
    std::vector<UserMessage> said;
    const auto entry = journal::BeforeSending("100000001", "100000001 : Demo", "18A1", "2018-01-01",
                                              "2018-03-31", kFigures, said);
    ASSERT_TRUE(entry);
    journal::AfterSending(*entry, false, false, {}, said);
    Find("enterVatButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].title, "Not Yet Checked");
    EXPECT_TRUE(m_sandbox.Received().empty());
}

struct ExitRow {
    const char* name;
    bool closeBox;                             // the title bar's close box instead of Exit
    std::vector<std::pair<bool, bool>> ticks;  // each question: box ticked, answered Yes
    bool tokenFileKept;
};

class ExitQuestion : public FilerWindowTest, public testing::WithParamInterface<ExitRow> {};

TEST_P(ExitQuestion, EndsOnlyOnYesAndDeletesTheAuthorisationOnlyWhenTicked) {
    fs::create_directories(TokenFile().parent_path());
    WriteFile(TokenFile(), "access|refresh|14400");
    m_window->show();
    for (const auto& [tick, yes] : GetParam().ticks) {
        AnswerModals({[tick, yes](QWidget* modal) {
            auto* box = modal->findChild<QCheckBox*>("deleteAuthorisationCheckBox");
            EXPECT_FALSE(box->isChecked()) << "the box must be unticked at every showing";
            if (tick)
                box->click();
            // Answered with Enter on the focused button: on No it must not mean the default Yes.
            auto* button = modal->findChild<QPushButton*>(yes ? "yesButton" : "noButton");
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Return);
        }});
        GetParam().closeBox ? void(m_window->close()) : Find("exitButton")->click();
        EXPECT_EQ(m_window->isVisible(), !yes);
    }
    EXPECT_EQ(fs::exists(TokenFile()), GetParam().tokenFileKept);
    EXPECT_EQ(m_recorder.Beeps().size(), GetParam().ticks.size());
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
    m_window->show();
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QTest::keyClick(Edit("codeEdit"), Qt::Key_Return);
    QTest::keyClick(Combo("companyCombo"), Qt::Key_Enter);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_recorder.Beeps().empty()) << "no exit question was asked";
    Find("startAuthorisationButton")->setFocus();  // but Enter presses a focused button
    QTest::keyClick(Find("startAuthorisationButton"), Qt::Key_Return);
    EXPECT_FALSE(Edit("urlEdit")->text().isEmpty());
}

TEST_F(FilerWindowTest, AboutOpensFromTheContextMenuItemAndWithF1) {
    int seen = 0;
    const ModalStep about = [&seen](QWidget* modal) {
        EXPECT_EQ(modal->findChild<QLineEdit*>("versionLine")->text(), "Calvenor  Ver 2.12.2");
        ++seen, Click(modal, "okButton");
    };
    EXPECT_EQ(m_window->contextMenuPolicy(), Qt::ActionsContextMenu);
    AnswerModals({about});
    m_window->findChild<QAction*>("aboutAction")->trigger();
    m_window->show();
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    AnswerModals({about});
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace calvenor::test
