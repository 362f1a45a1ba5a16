#pragma once

#include <QDialog>

#include "AgentProfile.h"
#include "ExitAreYouSure.h"
#include "FilingSession.h"
#include "ReturnFigures.h"
#include "VatConfirm.h"
#include "VatEntry.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;

// The filer's one main window and its main loop. It owns the run's filing session and the exit
// confirmation; each handler reads its controls, runs one step of the session and shows what the
// step returned. Each HMRC call blocks the window until it returns.
class CCalvenorDlg : public QDialog {
    Q_OBJECT
public:
    // `profile` is the agent profile as main loaded it, failure included: the window still
    // opens, and the problem is shown once when it first appears.
    explicit CCalvenorDlg(ProfileLoadResult profile, QWidget* parent = nullptr);
    ~CCalvenorDlg() override;

    // Handlers, run by their controls (public so tests can run them too).
    void OnBnClickedButtonStartAuth();
    void OnBnClickedButtonUrlCopy();
    void OnEnChangeEditCode();
    void OnBnClickedButtonCodeOk();
    void OnBnClickedButtonGetObligations();
    // View Account: the chosen client's filed returns, liabilities and payments.
    void OnBnClickedButtonViewAccount();
    void OnCbnSelchangePeriod();
    void OnCbnSelchangeCompany();
    void OnBnClickedButtonEnterVat();
    void OnBnClickedButtonExit();
    // The About window, from the context menu item "&About Calvenor..." and F1.
    void OnAboutBox();
    void ResetCompanies();

    // The filing flow run by Enter VAT Return Figures: entry and confirmation until Cancel or one
    // submission. True when HMRC accepted the return.
    bool RunFilingFlow();
    // Files `figures` for the chosen period and shows HMRC's answer; true only for status 201.
    bool SubmitReturn(ReturnFigures& figures);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // Shows a step's outcome: the boxes' new contents and the controls they leave, then the
    // step's messages.
    void Render(const CFilingSession::Result& result);
    // Enables each control exactly when the session says its step can work now.
    void UpdateControls();
    void OnInitDialog();
    void LoadProfile();
    void ShowProfileProblems();

    ProfileLoadResult m_profile;
    bool m_profileProblemsShown = false;
    CFilingSession m_session;

    QPushButton* m_startAuth = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_codeOk = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_url = nullptr;
    QComboBox* m_periods = nullptr;
    QPushButton* m_enterVat = nullptr;
    QPushButton* m_getObligations = nullptr;
    QPushButton* m_viewAccount = nullptr;
    QComboBox* m_companies = nullptr;
    CExitAreYouSure* m_exitAreYouSure = nullptr;
    // Kept for the window's life, so Back finds the figures as they were left.
    CVatEntry* m_vatEntry = nullptr;
    CVatConfirm* m_vatConfirm = nullptr;
    QPushButton* m_exit = nullptr;
    QAction* m_about = nullptr;
};
