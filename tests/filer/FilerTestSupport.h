#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>

#include "AgentProfile.h"
#include "CalvenorDlg.h"
#include "Log.h"
#include "TestSupport.h"
#include "UiRecorder.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace calvenor::test {

inline const std::string kTwoClientProfile = R"({
  "client_id": "test-client", "client_secret": "test-secret",
  "service_base_url": "http://127.0.0.1:9",
  "clients": [ { "company_name": "Beta Trading", "vrn": "987654321" },
               { "company_name": "ACME Ltd", "vrn": "123456789" } ] })";

// A main window in an isolated home with the recorder installed and a fresh log.
class FilerWindowTest : public ::testing::Test {
protected:
    void SetUp() override { CLog::ResetForTesting(); }
    void TearDown() override {
        m_window.reset();
        CLog::ResetForTesting();
        EXPECT_EQ(VisibleWindows(), 0) << "a window was left open";
    }

    // Writes `profileText` (nothing when empty) as the profile and opens the main window on it.
    CCalvenorDlg& Open(const std::string& profileText = kTwoClientProfile) {
        if (!profileText.empty()) {
            WriteFile(m_home.ProfilePath(), profileText);
        }
        // One transport per process, as in the program: the earlier window goes first.
        m_window.reset();
        m_window = std::make_unique<CCalvenorDlg>(LoadAgentProfile());
        return *m_window;
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QComboBox* Combo(const char* name) { return Find<QComboBox>(name); }

    std::filesystem::path TokenFile() const {
        return m_home.DataFolder() / "TokDir" / "tokens.tok";
    }

    // A token file as a previous run left it.
    void WriteTokenFile(const std::string& content) {
        std::filesystem::create_directories(TokenFile().parent_path());
        WriteFile(TokenFile(), content);
        ASSERT_EQ(ReadFile(TokenFile()), content);
    }

    static int VisibleWindows() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            count += widget->isVisible() ? 1 : 0;
        }
        return count;
    }

    IsolatedHome m_home;
    CUiRecorder m_recorder;
    std::unique_ptr<CCalvenorDlg> m_window;
};

}  // namespace calvenor::test
