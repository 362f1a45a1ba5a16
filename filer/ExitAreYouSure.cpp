#include "ExitAreYouSure.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "UiServices.h"

CExitAreYouSure::CExitAreYouSure(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("exitAreYouSure"));
    setWindowTitle(QStringLiteral("Exit Calvenor"));
    // A title bar without a close box: the answer is Yes or No.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QFont larger = font();
    larger.setPointSize(10);
    setFont(larger);

    auto* question = new QLabel(QStringLiteral("Are you sure you want to Exit?"), this);
    m_deleteCheck = new QCheckBox(QStringLiteral("Delete Retained Authorisation on Exit?"), this);
    m_deleteCheck->setObjectName(QStringLiteral("deleteAuthorisationCheckBox"));
    m_yes = new QPushButton(QStringLiteral("Yes"), this);
    m_yes->setObjectName(QStringLiteral("yesButton"));
    m_yes->setDefault(true);
    m_no = new QPushButton(QStringLiteral("No"), this);
    m_no->setObjectName(QStringLiteral("noButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 24, 24, 16);
    layout->addWidget(question);
    layout->addSpacing(12);
    layout->addWidget(m_deleteCheck);
    layout->addSpacing(20);
    layout->addLayout(buttons);

    connect(m_deleteCheck, &QCheckBox::clicked, this,
            [this](bool ticked) { m_deleteAuthorisation = ticked; });
    connect(m_yes, &QPushButton::clicked, this, &CExitAreYouSure::OnYes);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
    EnterPressesFocusedButton(this);
}

void CExitAreYouSure::showEvent(QShowEvent* event) {
    m_deleteCheck->setChecked(false);
    m_yes->setFocus();
    QDialog::showEvent(event);
}

void CExitAreYouSure::OnYes() {
    m_deleteAuthorisation = m_deleteCheck->isChecked();
    accept();
}
