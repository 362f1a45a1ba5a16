#include "PellwickDlg.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "CaptureTexts.h"
#include "CompanyList.h"
#include "Printing.h"
#include "ProfileProblems.h"
#include "ProgramIcons.h"
#include "UiServices.h"
#include "VatConfirm.h"
#include "VatEntry.h"

const QString CPellwickDlg::kVersionLine = QStringLiteral("Pellwick, Version 1.3.1");

CPellwickDlg::CPellwickDlg(ProfileLoadResult profile, QWidget* parent)
    : QDialog(parent), m_profile(std::move(profile)) {
    setObjectName(QStringLiteral("pellwickDialog"));
    setWindowIcon(calvenor::ApprovalsIcon());

    auto* label = new QLabel(QStringLiteral("Select Company/VAT Number"), this);
    m_companies = new QComboBox(this);
    m_companies->setObjectName(QStringLiteral("companyList"));
    m_companies->setAccessibleName(label->text());
    m_companies->setMinimumWidth(320);
    label->setBuddy(m_companies);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("exitButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_companies);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_entry = new CVatEntry(CaptureProgram::Approvals, this);
    m_confirm = new CVatConfirm(CaptureProgram::Approvals, this);
    m_confirm->SetPrintHandler([](QWidget*, const std::string& html) { PrintHtmlDocument(html); });

    // The system menu's About item lives in the window's context menu, with F1 as its key.
    auto* about = new QAction(QStringLiteral("&About Pellwick..."), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(about, &QAction::triggered, this, &CPellwickDlg::OnAboutBox);
    connect(m_companies, &QComboBox::currentIndexChanged, this, &CPellwickDlg::OnCompanyChanged);
    connect(m_ok, &QPushButton::clicked, this, &CPellwickDlg::OnOK);
    connect(exit, &QPushButton::clicked, this, &CPellwickDlg::OnExit);

    EnterPressesFocusedButton(this);
    FillCompanyList();
}

CPellwickDlg::~CPellwickDlg() = default;

void CPellwickDlg::FillCompanyList() {
    m_clients = m_profile.loaded ? m_profile.profile.clients : std::vector<ClientRecord>();
    ::FillCompanyList(*m_companies, m_clients);
    setWindowTitle(QStringLiteral(" Pellwick App"));
    m_ok->setEnabled(false);
}

void CPellwickDlg::OnCompanyChanged() {
    m_ok->setEnabled(m_companies->currentIndex() > 0);
}

void CPellwickDlg::OnOK() {
    // Enter reaches here through the default button even while it is disabled.
    if (m_companies->currentIndex() <= 0)
        return;
    const std::string companyText = FromQt(m_companies->currentText());
    m_entry->SetCompanyText(companyText);
    m_entry->Clear();
    while (m_entry->exec() == kDialogOk) {
        ReturnFigures figures;
        m_entry->GetFigures(figures);
        if (!figures.entered)
            continue;
        m_confirm->SetCompanyText(companyText);
        m_confirm->SetFigures(figures);
        if (m_confirm->exec() == kDialogOk)
            return;
    }
}

void CPellwickDlg::OnExit() {
    if (UiServices().Message(QStringLiteral("Exit Pellwick App"), QStringLiteral("Are you sure?"),
                             MessageIcon::None, BeepKind::Question,
                             MessageButtons::YesNo) != MessageAnswer::No)
        done(QDialog::Accepted);
}

void CPellwickDlg::OnAboutBox() {
    CAboutDlg about(QStringLiteral("About Pellwick"), this);
    about.SetVersionLine(kVersionLine);
    about.exec();
}

void CPellwickDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_profileProblemsShown) {
        m_profileProblemsShown = true;
        // After the window is on screen, so the message has it as owner.
        QTimer::singleShot(0, this, [this] {
            ShowProfileProblems(m_profile,
                                "No clients are listed until the profile is corrected and "
                                "Pellwick is started again.");
        });
    }
}
