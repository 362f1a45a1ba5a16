#include "CalvenorDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "AccountDlg.h"
#include "CompanyList.h"
#include "LaunchApp.h"
#include "Log.h"
#include "ProfileProblems.h"
#include "ResultsDialog.h"
#include "UiServices.h"
#include "WaitCursor.h"

namespace {

QLabel* Label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

}  // namespace

CCalvenorDlg::CCalvenorDlg(ProfileLoadResult profile, QWidget* parent)
    : QDialog(parent), m_profile(std::move(profile)), m_session(m_profile) {
    // HMRC asks for the size in pixels of the window the agent works in, as it is at each call.
    m_session.Transaction().SetWindowSizeReader([this] {
        const qreal ratio = devicePixelRatioF();
        return WindowSize{qRound(width() * ratio), qRound(height() * ratio)};
    });
    BuildControls();
    EnterPressesFocusedButton(this);
    m_exitAreYouSure = new CExitAreYouSure(this);
    m_vatEntry = new CVatEntry(CaptureProgram::Filer, this);
    m_vatConfirm = new CVatConfirm(CaptureProgram::Filer, this);
    OnInitDialog();
}

CCalvenorDlg::~CCalvenorDlg() = default;

void CCalvenorDlg::BuildControls() {
    setObjectName(QStringLiteral("calvenorDlg"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    m_startAuth = NamedButton(QStringLiteral("Start Authorisation"),
                              QStringLiteral("startAuthorisationButton"), this);
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("urlEdit"));
    m_url->setReadOnly(true);
    m_url->setAccessibleName(QStringLiteral("HMRC URL"));
    m_copy = NamedButton(QStringLiteral("Copy"), QStringLiteral("copyButton"), this);
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("codeEdit"));
    m_code->setAccessibleName(QStringLiteral("HMRC Code"));
    m_codeOk = NamedButton(QStringLiteral("OK"), QStringLiteral("codeOkButton"), this);
    m_companies = new QComboBox(this);
    m_companies->setObjectName(QStringLiteral("companyCombo"));
    m_companies->setAccessibleName(QStringLiteral("Select Company/VAT Number"));
    m_getObligations = NamedButton(QStringLiteral("Get Obligations for Selected Company"),
                                   QStringLiteral("getObligationsButton"), this);
    m_viewAccount =
        NamedButton(QStringLiteral("View Account"), QStringLiteral("viewAccountButton"), this);
    m_periods = new QComboBox(this);
    m_periods->setObjectName(QStringLiteral("periodCombo"));
    m_periods->setAccessibleName(QStringLiteral("Select Period for Return"));
    m_periods->setMinimumContentsLength(26);
    m_enterVat = NamedButton(QStringLiteral("Enter VAT Return Figures"),
                             QStringLiteral("enterVatButton"), this);
    m_exit = NamedButton(QStringLiteral("Exit"), QStringLiteral("exitButton"), this);

    auto* urlLabel = Label(QStringLiteral("HMRC URL"), this);
    urlLabel->setBuddy(m_url);
    auto* codeLabel = Label(QStringLiteral("HMRC Code"), this);
    codeLabel->setBuddy(m_code);
    auto* companyLabel = Label(QStringLiteral("Select Company/VAT Number"), this);
    companyLabel->setBuddy(m_companies);
    auto* periodLabel = Label(QStringLiteral("Select Period for Return"), this);
    periodLabel->setBuddy(m_periods);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 30, 40, 20);
    layout->setSpacing(8);
    layout->addWidget(Label(QStringLiteral("1. Click \"Start Authorisation\" button to initialise "
                                           "the authorisation process."),
                            this));
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(m_startAuth);
    startRow->addStretch();
    layout->addLayout(startRow);
    layout->addSpacing(12);
    layout->addWidget(Label(
        QStringLiteral("2. The Athorisation URL Box will be filled in automatically."), this));
    layout->addWidget(
        Label(QStringLiteral("3. Please enter this URL into a browser. Click Copy button.\n"
                             "Browser should open automatically, but if not open a browser and "
                             "paste address."),
              this));
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(urlLabel);
    urlRow->addWidget(m_url, 1);
    urlRow->addWidget(m_copy);
    layout->addLayout(urlRow);
    layout->addSpacing(8);
    layout->addWidget(Label(QStringLiteral("4. Follow the instructions in the browser window to "
                                           "grant authorisation.\n    (Note this is HMRC's site "
                                           "and you will need your Government Gateway "
                                           "credentials)"),
                            this));
    layout->addWidget(Label(QStringLiteral("5. After successful grant copy the code into the code "
                                           "box below and click ok."),
                            this));
    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(codeLabel);
    codeRow->addWidget(m_code, 1);
    codeRow->addWidget(m_codeOk);
    layout->addLayout(codeRow);
    layout->addSpacing(8);

    auto* selection = new QGridLayout;
    selection->setColumnStretch(1, 1);
    selection->addWidget(companyLabel, 0, 0);
    selection->addWidget(m_companies, 0, 1);
    selection->addWidget(
        Label(QStringLiteral("Obtain open obligations for selected Compnay"), this), 1, 0);
    auto* clientRow = new QHBoxLayout;
    clientRow->addWidget(m_getObligations, 1);
    clientRow->addWidget(m_viewAccount);
    selection->addLayout(clientRow, 1, 1);
    selection->addWidget(periodLabel, 2, 0);
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(m_periods, 1);
    periodRow->addWidget(m_enterVat);
    selection->addLayout(periodRow, 2, 1);
    layout->addLayout(selection);
    layout->addSpacing(12);
    auto* exitRow = new QHBoxLayout;
    exitRow->addWidget(m_exit);
    exitRow->addStretch();
    layout->addLayout(exitRow);

    connect(m_startAuth, &QPushButton::clicked, this, &CCalvenorDlg::OnBnClickedButtonStartAuth);
    connect(m_copy, &QPushButton::clicked, this, &CCalvenorDlg::OnBnClickedButtonUrlCopy);
    connect(m_code, &QLineEdit::textChanged, this, &CCalvenorDlg::OnEnChangeEditCode);
    connect(m_codeOk, &QPushButton::clicked, this, &CCalvenorDlg::OnBnClickedButtonCodeOk);
    connect(m_companies, &QComboBox::activated, this, &CCalvenorDlg::OnCbnSelchangeCompany);
    connect(m_getObligations, &QPushButton::clicked, this,
            &CCalvenorDlg::OnBnClickedButtonGetObligations);
    connect(m_viewAccount, &QPushButton::clicked, this,
            &CCalvenorDlg::OnBnClickedButtonViewAccount);
    connect(m_companies, &QComboBox::currentIndexChanged, this, &CCalvenorDlg::UpdateControls);
    connect(m_periods, &QComboBox::activated, this, &CCalvenorDlg::OnCbnSelchangePeriod);
    connect(m_enterVat, &QPushButton::clicked, this, &CCalvenorDlg::OnBnClickedButtonEnterVat);
    connect(m_exit, &QPushButton::clicked, this, &CCalvenorDlg::OnBnClickedButtonExit);
}

void CCalvenorDlg::OnInitDialog() {
    // The system menu's About item lives in the window's context menu, with F1 as its key.
    m_about = new QAction(QStringLiteral("&About Calvenor..."), this);
    m_about->setObjectName(QStringLiteral("aboutAction"));
    m_about->setShortcut(QKeySequence(Qt::Key_F1));
    m_about->setShortcutContext(Qt::WindowShortcut);
    connect(m_about, &QAction::triggered, this, &CCalvenorDlg::OnAboutBox);
    addAction(m_about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    LOG_ENTRY("Logging Initialised.");
    LoadProfile();
}

void CCalvenorDlg::LoadProfile() {
    // Without a profile there is no client to choose, not even the prompt to choose one.
    if (m_profile.loaded)
        FillCompanyList(*m_companies, m_profile.profile.clients);
    else
        m_companies->clear();
    setWindowTitle(QStringLiteral("Calvenor"));
    UpdateControls();
}

void CCalvenorDlg::UpdateControls() {
    const CFilingSession::Controls possible =
        m_session.Possible({!m_url->text().isEmpty(), !m_code->text().isEmpty(),
                            m_periods->currentIndex() >= 0, m_companies->currentIndex() > 0});
    m_startAuth->setEnabled(possible.startAuthorisation);
    m_copy->setEnabled(possible.copy);
    m_code->setEnabled(possible.code);
    m_codeOk->setEnabled(possible.codeOk);
    m_getObligations->setEnabled(possible.getObligations);
    m_enterVat->setEnabled(possible.enterVat);
    m_viewAccount->setEnabled(possible.viewAccount);
}

void CCalvenorDlg::Render(const CFilingSession::Result& result) {
    if (result.url) {
        const QString url = QString::fromStdString(*result.url);
        m_url->setText(url);
        m_url->setCursorPosition(0);
        // Offered for pasting too, in case the browser does not open.
        if (!url.isEmpty())
            UiServices().SetClipboardText(url);
    }
    if (result.clearCode)
        m_code->clear();
    if (result.periods) {
        m_periods->clear();
        for (const std::string& period : *result.periods)
            m_periods->addItem(QString::fromStdString(period));
        m_periods->setCurrentIndex(result.periods->empty() ? -1 : 0);
    }
    UpdateControls();
    for (const UserMessage& message : result.messages) {
        UiServices().Message(QString::fromStdString(message.title),
                             QString::fromStdString(message.text), message.icon, message.beep);
    }
}

void CCalvenorDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_profileProblemsShown) {
        m_profileProblemsShown = true;
        // After the window is on screen, so the message has it as owner.
        QTimer::singleShot(0, this, &CCalvenorDlg::ShowProfileProblems);
    }
}

void CCalvenorDlg::ShowProfileProblems() {
    ::ShowProfileProblems(m_profile,
                          "No clients are listed and nothing can be sent to HMRC until the profile "
                          "is corrected and Calvenor is started again.");
}

void CCalvenorDlg::OnAboutBox() {
    CAboutDlg about(QStringLiteral("About Calvenor"), this);
    about.SetVersionLine(QStringLiteral("Calvenor  Ver %1.%2.%3")
                             .arg(CALVENOR_VERSION_MAJOR)
                             .arg(CALVENOR_VERSION_MINOR)
                             .arg(CALVENOR_VERSION_BUILD));
    about.SetNoticeLine(QStringLiteral("Files VAT returns with HMRC through Making Tax Digital."));
    about.exec();
}

void CCalvenorDlg::OnBnClickedButtonExit() {
    UiServices().Beep(BeepKind::Question);
    if (m_exitAreYouSure->exec() != QDialog::Accepted) {
        return;
    }
    if (m_exitAreYouSure->DeleteAuthorisation()) {
        CFilingSession::DeleteTokenFile();
    }
    done(QDialog::Rejected);
}

void CCalvenorDlg::closeEvent(QCloseEvent* event) {
    // The title-bar close asks the same question as Exit; only Yes ends the window (by done()).
    event->ignore();
    OnBnClickedButtonExit();
}

void CCalvenorDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            event->accept();  // closing always goes through the exit confirmation
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();  // no button has the focus: there is no default to press
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

// ---- Authorisation steps ----

void CCalvenorDlg::OnBnClickedButtonStartAuth() {
    Render(WhileWaiting([this] { return m_session.StartAuthorisation(); }));
}

void CCalvenorDlg::OnBnClickedButtonUrlCopy() {
    const std::string url = m_url->text().toStdString();
    CLaunchApp launch(url, std::string(), "open", std::string(), nullptr);
    const bool opened = launch.Launch();
    if (!opened) {
        LOG_ENTRY("Open briwser error : " << launch.LastError());
        CLaunchApp::ShowError(launch.LastError());
    }
    m_session.BrowserLaunched(opened);
    m_code->clear();
    UpdateControls();
}

void CCalvenorDlg::OnEnChangeEditCode() {
    m_session.CodeEdited();
    UpdateControls();
}

void CCalvenorDlg::OnBnClickedButtonCodeOk() {
    m_codeOk->setEnabled(false);
    const std::string code = m_code->text().toStdString();
    Render(WhileWaiting([this, &code] { return m_session.ExchangeCode(code); }));
}

// ---- Client and period selection ----

void CCalvenorDlg::OnBnClickedButtonGetObligations() {
    const std::string company = m_companies->currentText().toStdString();
    Render(WhileWaiting([this, &company] {
        return m_session.GetObligations(m_companies->currentIndex(), company);
    }));
}

void CCalvenorDlg::OnBnClickedButtonViewAccount() {
    CAccountDlg account(m_session, m_companies->currentText().toStdString(), QDate::currentDate(),
                        this);
    account.Load();
    if (!account.BackToStart())
        account.exec();
    Render(account.BackToStart().value_or(CFilingSession::Result{}));
}

void CCalvenorDlg::OnCbnSelchangePeriod() {
    m_session.ChoosePeriod(m_periods->currentIndex());
}

void CCalvenorDlg::OnCbnSelchangeCompany() {
    ResetCompanies();
}

void CCalvenorDlg::ResetCompanies() {
    LOG_ENTRY("ResetCompanies");
    m_periods->clear();
    UpdateControls();
}

// ---- Filing ----

void CCalvenorDlg::OnBnClickedButtonEnterVat() {
    // A period whose last submission is still unsettled is refused, with the reason.
    CFilingSession::Result said;
    const bool begun = m_session.BeginFiling(&said.messages);
    Render(said);
    if (begun) {
        m_vatEntry->SetPeriod(m_session.PeriodStart(), m_session.PeriodEnd());
        m_vatEntry->Clear();
        RunFilingFlow();
    }
    // Whatever happened, the next filing starts with Get Obligations: a filed period must not
    // stay on offer.
    ResetCompanies();
}

bool CCalvenorDlg::RunFilingFlow() {
    const std::string& company = m_session.SelectedCompanyText();
    for (;;) {
        m_vatEntry->SetVrn(company);
        if (m_vatEntry->exec() != kDialogOk) {
            return false;
        }
        ReturnFigures figures;
        m_vatEntry->GetFigures(figures);
        if (!figures.entered) {
            continue;
        }
        m_vatConfirm->SetPeriod(m_session.PeriodStart(), m_session.PeriodEnd());
        m_vatConfirm->SetFigures(figures);
        m_vatConfirm->SetVrn(company);
        // Enter closes the confirmation with OK too; only Submit files.
        if (m_vatConfirm->exec() == kDialogOk && m_vatConfirm->IsSubmitClicked()) {
            const bool accepted = SubmitReturn(figures);
            const std::string listed = m_companies->currentText().toStdString();
            Render(WhileWaiting([this, &listed] {
                return m_session.ListAfterFiling(m_companies->currentIndex(), listed);
            }));
            return accepted;
        }
    }
}

bool CCalvenorDlg::SubmitReturn(ReturnFigures& figures) {
    const CFilingSession::Submission submission =
        WhileWaiting([this, &figures] { return m_session.Submit(figures); });
    if (submission.results) {
        CResultsDialog results(this);
        results.SetResults(*submission.results);
        results.exec();
    }
    Render(submission);
    return submission.accepted;
}
