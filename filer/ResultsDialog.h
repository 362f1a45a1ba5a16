#pragma once

#include <QDialog>
#include <QFont>
#include <filesystem>
#include <string>
#include <vector>

#include "FilingSession.h"
#include "ReturnFigures.h"

class QPlainTextEdit;
struct FileDialogRequest;

// Asks for a file name through the save dialog and writes `text` there whole, with the usual
// permissions for new files; says so when the file cannot be written.
void SaveTextDocument(const FileDialogRequest& request, const std::string& text);

class QPushButton;

// HMRC's answer to a return submission: the receipt (or the error report) in a read-only box,
// with Save (the receipt file), Print (the filed return) and OK. The filer's own record of the
// result, the automatic copy, is written once as the window first opens, so Escape, the close box
// or a crash after that cannot lose it.
//
// The filing flow makes the window with the main window as parent, gives it the session's
// results of the submission, then runs exec() and ignores the result.
class CResultsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CResultsDialog(QWidget* parent = nullptr);
    ~CResultsDialog() override;

    void SetTitle(const std::string& title) { m_title = title; }
    void SetPeriod(const std::string& periodStart, const std::string& periodEnd);
    void SetPeriodKey(const std::string& periodKey) { m_periodKey = periodKey; }
    void SetReceiptLines(const std::vector<std::string>& receiptLines);
    void SetCompany(const std::string& company) { m_company = company; }
    void SetFigures(const ReturnFigures& figures) { m_figures = figures; }
    // All of the above from a submission's results.
    void SetResults(const CFilingSession::SubmissionResults& results);

    // The filed return as Print prints it.
    std::string BuildPrintDocument() const;
    // The automatic copy written when the window opened; empty when none could be written.
    const std::filesystem::path& AutoSavePath() const { return m_autoSavePath; }
    QPlainTextEdit* ReceiptBox() const { return m_text; }

    // OK: the box's initial font back, then close with 1.
    void OnBnClickedOk();
    // Save: the receipt file, through the save dialog.
    void OnBnClickedSave();
    // Print: the filed return, through the print dialog.
    void OnBnClickedPrint();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void WriteAutomaticCopy();

    std::string m_title;
    std::string m_periodStart, m_periodEnd, m_periodKey;
    std::vector<std::string> m_receiptLines;
    std::string m_company;
    ReturnFigures m_figures;

    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_save = nullptr;
    QFont m_initialFont;
    bool m_initialised = false;
    std::filesystem::path m_autoSavePath;
};
