#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// "Exit Calvenor": asks before the filer ends, and whether to forget the stored authorisation.
// Made once by the main window and shown as often as the user tries to leave; the check box is
// unticked at every showing.
class CExitAreYouSure : public QDialog {
    Q_OBJECT
public:
    explicit CExitAreYouSure(QWidget* parent = nullptr);

    // Set from the check box by Yes (and by clicks on the box); No leaves it as it was.
    bool DeleteAuthorisation() const { return m_deleteAuthorisation; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnYes();

    bool m_deleteAuthorisation = false;
    QCheckBox* m_deleteCheck = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
};
