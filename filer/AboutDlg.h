#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// "About Calvenor": the program's version and a notice line. Made when asked for.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    void SetVersionLine(const QString& text);
    void SetNoticeLine(const QString& text);

    // "Calvenor  Ver 2.12.2": two spaces before "Ver".
    static QString VersionLine(int major, int minor, int build);
    // This build's version line and notice line.
    static QString ProgramVersionLine();
    static QString NoticeLine();

private:
    QLineEdit* m_version = nullptr;
    QLineEdit* m_notice = nullptr;
};
