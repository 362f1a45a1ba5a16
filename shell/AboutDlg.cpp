#include "AboutDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* ReadOnlyLine(QWidget* parent, const QString& name) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(name);
    line->setReadOnly(true);
    line->setFrame(false);
    line->setMinimumWidth(300);
    // Read-only text on the window's own background, as a label that can still be copied.
    QPalette palette = line->palette();
    palette.setColor(QPalette::Base, parent->palette().color(QPalette::Window));
    line->setPalette(palette);
    return line;
}

}  // namespace

CAboutDlg::CAboutDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(title);
    const QIcon programIcon = parent ? parent->window()->windowIcon() : QApplication::windowIcon();
    setWindowIcon(programIcon);

    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon.pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    m_version = ReadOnlyLine(this, QStringLiteral("versionLine"));
    m_version->setAccessibleName(QStringLiteral("Version"));
    m_notice = ReadOnlyLine(this, QStringLiteral("noticeLine"));
    m_notice->setAccessibleName(QStringLiteral("Notice"));
    m_notice->hide();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(m_version, 0, 1);
    layout->addWidget(m_notice, 1, 1);
    layout->setRowMinimumHeight(2, 24);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons, 3, 0, 1, 2);
}

void CAboutDlg::SetVersionLine(const QString& text) {
    m_version->setText(text);
    m_version->setCursorPosition(0);
}

void CAboutDlg::SetNoticeLine(const QString& text) {
    m_notice->setText(text);
    // A read-only line does not grow with its text; make room for the whole notice.
    m_notice->setMinimumWidth(m_notice->fontMetrics().horizontalAdvance(text) + 16);
    m_notice->setVisible(!text.isEmpty());
    m_notice->setCursorPosition(0);
}
