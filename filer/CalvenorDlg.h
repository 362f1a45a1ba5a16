#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "AgentProfile.h"
#include "ExitAreYouSure.h"
#include "ReturnFigures.h"
#include "Transaction.h"
#include "VatConfirm.h"
#include "VatEntry.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;

// The filer's one main window and its main loop. It owns the run's only CTransaction and the
// exit confirmation, and drives every step through its buttons: authorise, choose a client and a
// period, file, exit. Each HMRC call blocks the window until it returns.
class CCalvenorDlg : public QDialog {
    Q_OBJECT
public:
    // `profile` is the agent profile as main loaded it, failure included: the window still
    // opens, and the problem is shown once when it first appears.
    explicit CCalvenorDlg(ProfileLoadResult profile, QWidget* parent = nullptr);
    ~CCalvenorDlg() override;

    // Handlers, run by their controls (public so the filing flow and tests can run them too).
    void OnBnClickedButtonStartAuth();
    void OnBnClickedButtonUrlCopy();
    void OnEnChangeEditCode();
    void OnBnClickedButtonCodeOk();
    void OnBnClickedButtonGetObligations();
    void OnCbnSelchangePeriod();
    void OnCbnSelchangeCompany();
    void OnBnClickedButtonEnterVat();
    void OnBnClickedButtonExit();
    // The About window, from the context menu item "&About Calvenor..." and F1.
    void OnAboutBox();

    // Exclamation beep, then `text` under the default title.
    void ShowError(const std::string& text);
    void ShowTokenExchangeError();
    void ShowAlreadyAuthorised();
    bool CheckTokenFile(std::string& refreshToken);
    void DeleteTokenFile();
    void ResetCompanies();

    // The filing flow run by Enter VAT Return Figures: entry and confirmation until Cancel or one
    // submission. True when HMRC accepted the return.
    bool RunFilingFlow();
    // Files `figures` for the chosen period and shows HMRC's answer; true only for status 201.
    bool SubmitReturn(ReturnFigures& figures);
    void ShowResults(const std::string& periodStart, const std::string& periodEnd,
                     const std::string& periodKey, const ReturnFigures& figures, bool success);

    // Read by the filing flow.
    CTransaction& Transaction() { return *m_transaction; }
    const std::vector<CObligationData>& Obligations() const { return m_obligations; }
    int SelectedPeriodIndex() const { return m_selectedPeriodIndex; }
    const std::string& SelectedCompanyText() const { return m_selectedCompanyText; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Where the authorisation stands; with the boxes' contents it decides every enabled control.
    enum class AuthStep {
        Start,       // nothing under way: Start Authorisation is the one step offered
        Journey,     // the sign-in address is shown and a code is awaited
        Authorised,  // a token is in use: clients and periods can be chosen
    };

    void BuildControls();
    // Enables each control exactly when its action can work now.
    void UpdateControls();
    // Back to the start after a failed retrieval; the token file goes only when HMRC said the
    // token itself is bad.
    void ReturnToStart(bool tokenRejected);
    void OnInitDialog();
    void LoadProfile();
    void ShowProfileProblems();

    ProfileLoadResult m_profile;
    bool m_profileProblemsShown = false;

    QPushButton* m_startAuth = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_codeOk = nullptr;
    QLineEdit* m_code = nullptr;
    std::unique_ptr<CTransaction> m_transaction;
    QLineEdit* m_url = nullptr;
    QComboBox* m_periods = nullptr;
    QPushButton* m_enterVat = nullptr;
    std::vector<CObligationData> m_obligations;
    std::string m_periodStart, m_periodEnd, m_periodKey;
    int m_selectedPeriodIndex = 0;
    std::string m_selectedCompanyText;
    std::vector<ClientRecord> m_clients;  // the profile's client list, in its order
    QPushButton* m_getObligations = nullptr;
    QComboBox* m_companies = nullptr;
    bool m_authorisedByRefresh = false;
    std::string m_refreshedAccessToken;
    AuthStep m_step = AuthStep::Start;
    bool m_browserOpened = false;  // Copy opened this journey's address
    bool m_codeRefused = false;    // the code in the box was refused and has not been edited since
    CExitAreYouSure* m_exitAreYouSure = nullptr;
    // Kept for the window's life, so Back finds the figures as they were left.
    CVatEntry* m_vatEntry = nullptr;
    CVatConfirm* m_vatConfirm = nullptr;
    QPushButton* m_exit = nullptr;
    QAction* m_about = nullptr;
};
