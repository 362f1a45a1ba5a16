#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "AgentProfile.h"
#include "CalvenorDlg.h"
#include "Log.h"
#include "ModalTestHelper.h"
#include "ResultsDialog.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatConfirm.h"
#include "VatEntry.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace calvenor::test {

// Table rows show as their names in failure messages.
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

namespace fs = std::filesystem;
using calvenor::sandbox::Fault;
using calvenor::sandbox::Obligation;
using calvenor::sandbox::SandboxServer;

inline const Obligation kOpen{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7}, false, "18A1", {}};
inline const BoxTexts kFigures = {"100.00", "0.00", "100.00", "20.50", "79.50",
                                  "500",    "100",  "0",      "0"};
inline const std::string kDemoClients =
    R"({"company_name":"Ashcombe Joinery Ltd","vrn":"100000001"},
    {"company_name":"Brightwater Bakery Ltd","vrn":"100000002"},
    {"company_name":"Dunmore Estates Ltd","vrn":"100000004"},
    {"company_name":"Elmstead Trading Ltd","vrn":"100000005"})";

// A profile for `baseUrl` with the demo application's credentials and `clients` (JSON objects).
inline std::string ProfileFor(const std::string& baseUrl,
                              const std::string& clients = kDemoClients) {
    return R"({"client_id":"calvenor-demo-client","client_secret":"calvenor-demo-secret",
        "service_base_url":")" +
           baseUrl + R"(","clients":[)" + clients + "]}";
}

inline bool LogHas(const fs::path& log, const std::string& message) {
    return ReadFile(log).find(message + "\r\n") != std::string::npos;
}

inline void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// The user's part in the filing flow's windows.
inline const ModalStep kType = [](QWidget* modal) {
    for (int box = 1; box <= 9; ++box)
        qobject_cast<CVatEntry*>(modal)->Box(box)->setText(
            QString::fromStdString(kFigures[static_cast<std::size_t>(box - 1)]));
    Click(modal, "continueButton");
};
inline const ModalStep kSubmit = [](QWidget* modal) {
    Click(modal, "declarationCheckBox");
    Click(modal, "submitButton");
};
// The results window handed to `look`, then closed with OK.
inline ModalStep AtResults(std::function<void(CResultsDialog&)> look) {
    return [look](QWidget* modal) {
        look(*qobject_cast<CResultsDialog*>(modal));
        Click(modal, "okButton");
    };
}

// The main window in an isolated home against the in-process sandbox, with the recorder
// installed and a fresh log.
class FilerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::ResetForTesting();
        ASSERT_TRUE(m_sandbox.Start(0)) << m_sandbox.LastError();
        Open();
    }
    void TearDown() override {
        m_window.reset();
        CLog::ResetForTesting();
        EXPECT_EQ(VisibleTopLevelWindows(), 0) << "a window was left open";
    }

    // Writes `profile` (removes the file when empty) and opens a new main window on it.
    CCalvenorDlg& Open(const std::string& profile) {
        if (profile.empty())
            fs::remove(m_home.ProfilePath());
        else
            WriteFile(m_home.ProfilePath(), profile);
        return Reopen();
    }
    // A new main window, as the next run of the program opens it.
    CCalvenorDlg& Reopen() {
        m_window.reset();  // one transport per process, as in the program
        m_window = std::make_unique<CCalvenorDlg>(LoadAgentProfile());
        return *m_window;
    }
    CCalvenorDlg& Open() { return Open(ProfileFor(m_sandbox.BaseUrl())); }

    template <typename T>
    T* Find(const char* name) {
        T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QComboBox* Combo(const char* name) { return Find<QComboBox>(name); }

    fs::path TokenFile() const { return m_home.DataFolder() / "TokDir" / "tokens.tok"; }
    void WriteTokenFile(const std::string& content) {
        fs::create_directories(TokenFile().parent_path());
        WriteFile(TokenFile(), content);
    }

    // Start Authorisation, Copy, the granted code, OK.
    void AuthoriseByCode() {
        Button("startAuthorisationButton")->click();
        Button("copyButton")->click();
        Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
        Button("codeOkButton")->click();
        ASSERT_TRUE(Button("getObligationsButton")->isEnabled());
    }

    void ChooseCompany(const char* vrn) {
        QComboBox* companies = Combo("companyCombo");
        const int index = companies->findText(QString::fromLatin1(vrn), Qt::MatchStartsWith);
        ASSERT_GT(index, 0) << vrn;
        companies->setCurrentIndex(index);
        emit companies->activated(index);
    }

    // Authorised, the first client chosen and its periods listed.
    void ReadyToFile() {
        m_sandbox.SetObligations("100000001", {kOpen});
        AuthoriseByCode();
        ChooseCompany("100000001");
        Button("getObligationsButton")->click();
        ASSERT_TRUE(Button("enterVatButton")->isEnabled());
        m_sandbox.ClearReceived();
    }

    QStringList Items(const char* combo) {
        QStringList texts;
        for (int i = 0; i < Combo(combo)->count(); ++i)
            texts << Combo(combo)->itemText(i);
        return texts;
    }

    void ExpectMessage(std::size_t index, const std::string& title, const std::string& text,
                       BeepKind beep) {
        ASSERT_GT(m_recorder.Messages().size(), index);
        const auto& message = m_recorder.Messages()[index];
        EXPECT_EQ(message.ShownTitle().toStdString(), title);
        EXPECT_EQ(message.text.toStdString(), text);
        EXPECT_EQ(message.beep, beep);
    }

    // The journey's controls that are enabled, in screen order.
    std::string Enabled() {
        static const std::pair<const char*, const char*> kControls[] = {
            {"startAuthorisationButton", "start"},
            {"copyButton", "copy"},
            {"codeEdit", "code"},
            {"codeOkButton", "ok"},
            {"getObligationsButton", "obligations"},
            {"enterVatButton", "file"}};
        std::string names;
        for (const auto& [object, name] : kControls)
            if (Find<QWidget>(object)->isEnabled())
                names += std::string(names.empty() ? "" : " ") + name;
        return names;
    }

    // Back at the start after a failed call, the URL gone. Start Authorisation then renews from
    // the kept token file without a new sign-in or, when HMRC rejected the token and the file is
    // gone, begins a new journey.
    void ExpectBackAtStart(bool tokenKept) {
        EXPECT_EQ(fs::exists(TokenFile()), tokenKept);
        EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
        m_window->Session().Transaction().SetServiceBaseUrl(m_sandbox.BaseUrl());
        Button("startAuthorisationButton")->click();
        if (tokenKept)
            EXPECT_TRUE(Button("getObligationsButton")->isEnabled());
        else
            EXPECT_TRUE(
                Edit("urlEdit")->text().startsWith(QString::fromStdString(m_sandbox.BaseUrl())));
    }

    IsolatedHome m_home;
    CUiRecorder m_recorder;
    SandboxServer m_sandbox;
    std::unique_ptr<CCalvenorDlg> m_window;
};

}  // namespace calvenor::test
