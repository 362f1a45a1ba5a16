#pragma once

#include <QDate>
#include <QDialog>
#include <optional>
#include <string>

#include "ClientAccount.h"
#include "FilingSession.h"

class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

// The client's account as HMRC holds it: the returns filed in the last twelve months (View Return
// opens one), and the liabilities and payments of a chosen range with their totals. The window
// reads its controls, asks CClientAccount under the wait cursor and shows what came back;
// failures are shown as the account's sentences in a status line, so nothing pops up over the
// window but the end of the authorisation. Nothing is saved unless the agent saves a
// return.
class CAccountDlg : public QDialog {
    Q_OBJECT
public:
    // `today` sets the default range: the twelve months up to it.
    CAccountDlg(CFilingSession& session, const std::string& companyText, QDate today,
                QWidget* parent = nullptr);
    ~CAccountDlg() override;

    // Asks HMRC for everything the window shows; the main window calls it before exec().
    void Load();
    // Refresh: the liabilities and payments of the range in the date boxes.
    void OnBnClickedRefresh();
    // View Return: the return filed for the chosen period.
    void OnBnClickedViewReturn();

    const CClientAccount& Account() const { return m_account; }
    // Set when HMRC rejected the token: the main window shows the session back at the start.
    const std::optional<CFilingSession::Result>& BackToStart() const {
        return m_account.BackToStart();
    }

private:
    void BuildControls();
    void LoadRange();
    void ShowFiled();
    void ShowLiabilities();
    void ShowPayments();
    // Adds the account's sentence to `status`; when the authorisation is gone it is shown in a
    // message box instead and the window closes (true).
    bool ShowError(QLabel& status);
    void UpdateControls();

    CClientAccount m_account;
    DateRange m_year;  // the filed returns' range: the twelve months up to today
    QTableWidget* m_filed = nullptr;
    QPushButton* m_viewReturn = nullptr;
    QLabel* m_filedStatus = nullptr;  // why the filed returns are missing
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QLabel* m_rangeStatus = nullptr;  // why liabilities or payments are missing
    QTableWidget* m_liabilities = nullptr;
    QLabel* m_liabilitiesTotal = nullptr;
    QTableWidget* m_payments = nullptr;
    QLabel* m_paymentsTotal = nullptr;
};
