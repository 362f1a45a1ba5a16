#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "AgentProfile.h"

class CVatConfirm;
class CVatEntry;
class QAction;
class QComboBox;
class QPushButton;

// The approvals program's one main window: the agent picks a client, and OK runs the approval
// loop of the entry window and the confirmation window (Save writes the figure file the filer
// imports, Print the client's sign-off page). It owns both windows for its whole life. Escape and
// the close box close it at once; Exit asks first.
class CPellwickDlg : public QDialog {
    Q_OBJECT
public:
    // `profile` as the program loaded it, failure included: the window still opens, with no
    // clients, and the problem is shown once when it first appears.
    explicit CPellwickDlg(ProfileLoadResult profile, QWidget* parent = nullptr);
    ~CPellwickDlg() override;

    void FillCompanyList();
    void OnCompanyChanged();
    // The approval loop for the selected client.
    void OnOK();
    void OnExit();
    // From the context menu item "&About Pellwick..." and F1.
    void OnAboutBox();

    CVatEntry& Entry() const { return *m_entry; }
    CVatConfirm& Confirm() const { return *m_confirm; }

    static const QString kVersionLine;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProfileLoadResult m_profile;
    bool m_profileProblemsShown = false;
    std::vector<ClientRecord> m_clients;
    QComboBox* m_companies = nullptr;
    QPushButton* m_ok = nullptr;
    CVatEntry* m_entry = nullptr;
    CVatConfirm* m_confirm = nullptr;
};
