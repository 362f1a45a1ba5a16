#pragma once

#include <string>

#include <QDialog>

class QLineEdit;
class QPushButton;

// "File Import": asks for the figure file to import. The path can only come from Browse (the
// box is read-only); OK without a file says so and stays open. Made afresh for every import.
class CImportDialog : public QDialog {
    Q_OBJECT

public:
    explicit CImportDialog(QWidget* parent = nullptr);
    ~CImportDialog() override;

    // The chosen path (8-bit text); empty until Browse chose a file.
    const std::string& FilePath() const { return m_filePath; }

    // Browse: the open-file dialog; a chosen file replaces the earlier one, a cancel keeps it.
    void OnBrowse();
    // OK: closes with 1 when a file was chosen, else "Please select a file!".
    void accept() override;
    // Cancel, Escape and the close box: 2.
    void reject() override;

private:
    QLineEdit* m_pathEdit = nullptr;
    std::string m_filePath;
};
