#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// A program's About window: its caption, the program icon (the owner's window icon), a version
// line, an optional notice line (hidden while empty) and OK. Made when asked for.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const QString& title, QWidget* parent = nullptr);

    void SetVersionLine(const QString& text);
    void SetNoticeLine(const QString& text);

private:
    QLineEdit* m_version = nullptr;
    QLineEdit* m_notice = nullptr;
};
