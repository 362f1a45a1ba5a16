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
#include <stdexcept>

#include "AboutDlg.h"
#include "CompanyList.h"
#include "HmrcDate.h"
#include "LaunchApp.h"
#include "Log.h"
#include "ProfileProblems.h"
#include "ResultsDialog.h"
#include "ReturnData.h"
#include "Tokens.h"
#include "TransactionError.h"
#include "UiServices.h"
#include "WaitCursor.h"

namespace {

QLabel* Label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

}  // namespace

CCalvenorDlg::CCalvenorDlg(ProfileLoadResult profile, QWidget* parent)
    : QDialog(parent), m_profile(std::move(profile)) {
    // Only a loaded profile's text reaches the service object (and its vendor licence header).
    m_transaction = std::make_unique<CTransaction>(m_profile.loaded ? m_profile.profile.profileText
                                                                    : std::string());
    // HMRC asks for the size in pixels of the window the agent works in, as it is at each call.
    m_transaction->SetWindowSizeReader([this] {
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
    selection->addWidget(m_getObligations, 1, 1);
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
    m_clients = m_profile.loaded ? m_profile.profile.clients : std::vector<ClientRecord>();
    if (m_profile.loaded) {
        m_transaction->SetClientCredentials(m_profile.profile.clientId,
                                            m_profile.profile.clientSecret);
        m_transaction->SetServiceBaseUrl(m_profile.profile.serviceBaseUrl);
    }
    // Without a profile there is no client to choose, not even the prompt to choose one.
    if (m_profile.loaded)
        FillCompanyList(*m_companies, m_clients);
    else
        m_companies->clear();
    setWindowTitle(QStringLiteral("Calvenor"));
    UpdateControls();
}

void CCalvenorDlg::UpdateControls() {
    // Nothing can reach HMRC without the profile's credentials and address.
    const bool usable = m_profile.loaded;
    const bool journey = usable && m_step == AuthStep::Journey;
    const bool authorised = usable && m_step == AuthStep::Authorised;
    m_startAuth->setEnabled(usable && m_step == AuthStep::Start);
    m_copy->setEnabled(journey && !m_browserOpened && !m_url->text().isEmpty());
    m_code->setEnabled(journey);
    m_codeOk->setEnabled(journey && !m_codeRefused && !m_code->text().isEmpty());
    m_getObligations->setEnabled(authorised);
    m_enterVat->setEnabled(authorised && m_periods->currentIndex() >= 0);
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

void CCalvenorDlg::ShowError(const std::string& text) {
    UiServices().Message({}, QString::fromStdString(text), MessageIcon::None,
                         BeepKind::Exclamation);
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
        DeleteTokenFile();
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

namespace {

const char* const kStoredTokenRejectedText =
    "There was an error with the stored authentication token,\nor the stored authority has "
    "expired.\nPlease re-authenticate.";
const char* const kServerErrorText =
    "HMRC's server has reported an error.\nPlease try again later.";
const char* const kNotAuthorisedText =
    "\rCLIENT AND/OR AGENT NOT AUTHORISED\r\rThis is normally because:\rthe client is not "
    "subscribed to MTD;\rthe agent is not subscribed to Agent Services;\rthe client has not "
    "authorised the agent to act on their behalf;\ror the authorisation has expired.";

// "01 Apr 2023  To  30 Jun 2023", or the dates as HMRC sent them when either does not convert.
std::string PeriodText(const CObligationData& obligation) {
    std::string start, end;
    if (FormatHmrcDate(obligation.start, start) && FormatHmrcDate(obligation.end, end)) {
        return start + "  To  " + end;
    }
    return obligation.start + " - " + obligation.end;
}

}  // namespace

bool CCalvenorDlg::CheckTokenFile(std::string& refreshToken) {
    bool usable = false;
    try {
        CTokens tokens;
        if (!tokens.Load()) {
            LOG_ENTRY("Failed to read token file");
        } else {
            refreshToken = tokens.GetRefreshToken();
            usable = !tokens.GetAccessToken().empty() && !tokens.GetRefreshToken().empty() &&
                     tokens.GetExpiresIn() != 0;
        }
    } catch (const std::runtime_error& error) {
        LOG_ENTRY("CToken error (Dlg): " << error.what());
        usable = false;
    }
    return usable;
}

void CCalvenorDlg::DeleteTokenFile() {
    // The token store may fail to prepare its folder; the deletion must still return normally.
    try {
        CTokens tokens;
        tokens.DeleteFile();
    } catch (const std::runtime_error& error) {
        LOG_ENTRY("CToken error (Dlg): " << error.what());
    }
}

void CCalvenorDlg::ShowAlreadyAuthorised() {
    UiServices().Message(
        QStringLiteral("Already Authorised"),
        QStringLiteral("Already Authorised - Please select a company and proceed as normal\r\n"),
        MessageIcon::None, BeepKind::Information);
}

namespace {

// What the agent must know when HMRC's tokens work for this run but could not be written to the
// token file: the next start will not find them.
std::string NotKeptText(const std::string& failure) {
    return "The authorisation could not be kept in " + failure +
           ".\r\nIt works until Calvenor is closed; the next start will ask you to sign in with "
           "HMRC again.";
}

}  // namespace

void CCalvenorDlg::OnBnClickedButtonStartAuth() {
    std::string refreshToken;
    if (CheckTokenFile(refreshToken)) {
        m_transaction->SetStoredRefreshToken(refreshToken);
        m_transaction->SetAuthorisedByRefresh(true);
        bool renewed = false;
        {
            CWaitCursor wait;
            renewed = m_transaction->ExchangeRefreshTokenForToken(m_refreshedAccessToken);
        }
        if (renewed) {
            const std::string& notKept = m_transaction->GetTokenStoreFailure();
            if (notKept.empty()) {
                ShowAlreadyAuthorised();
            } else {
                UiServices().Message(
                    QStringLiteral("Already Authorised"),
                    QString::fromStdString(
                        "Already Authorised - Please select a company and proceed as normal\r\n"
                        "\r\n" +
                        NotKeptText(notKept)),
                    MessageIcon::Warning, BeepKind::Exclamation);
            }
            m_step = AuthStep::Authorised;
            m_authorisedByRefresh = true;
            UpdateControls();
            return;
        }
        const int status = m_transaction->GetAnsweredStatus();
        LOG_ENTRY("Error. LastHttpCode = " << status);
        if (status >= 500 || status == 429) {
            // HMRC's fault or its rate limit, not the token's: keep it so a later press tries the
            // renewal again.
            ShowError(kServerErrorText);
            return;
        }
        if (status == 0) {
            // No answer at all (no connection, time-out): nothing says the token is bad.
            ShowError(CommErrorText(m_transaction->GetCommErrorCode()));
            return;
        }
        if (status == 400) {
            std::string code, message;
            m_transaction->GetOAuthError(code, message);
            LOG_ENTRY("Error. ResponseCode = " << code);
            LOG_ENTRY("Error. Message = " << message);
        }
        ShowError(kStoredTokenRejectedText);
        DeleteTokenFile();
        m_transaction->SetStoredRefreshToken(std::string());
        m_transaction->SetAuthorisedByRefresh(false);
        return;
    }

    int status = 0;
    {
        CWaitCursor wait;
        status = m_transaction->StartJouney();
    }
    if (status >= 100 && CTransaction::IsJourneyStarted(status)) {
        const QString url = QString::fromStdString(m_transaction->GetAuthorisationUrl());
        m_url->setText(url);
        m_url->setCursorPosition(0);
        UiServices().SetClipboardText(url);
        m_step = AuthStep::Journey;
        m_browserOpened = false;
        m_codeRefused = false;
        UpdateControls();
        return;
    }
    LOG_ENTRY("Authorisation Error. Code = " << status);
    std::string text;
    CTRansactionError error(0, status);
    if (status > 0 && status < 100) {
        // No answer came back: the communication error says why.
        text = CommErrorText(status);
    } else {
        error.GetErrorText(text);
    }
    if (status >= 100 && error.Decode(m_transaction->GetResponseBody())) {
        LOG_ENTRY("Error decoded : " << text);
        for (const std::string& line : error.GetErrorLines()) {
            text += "\r" + line;
            LOG_ENTRY(text);
        }
        ShowError(text);
    } else {
        LOG_ENTRY("generic error : " << text);
        UiServices().Message(QStringLiteral("COMMUNICATIONS ERROR"), QString::fromStdString(text),
                             MessageIcon::None, BeepKind::Exclamation);
    }
}

void CCalvenorDlg::OnBnClickedButtonUrlCopy() {
    const std::string url = m_url->text().toStdString();
    CLaunchApp launch(url, std::string(), "open", std::string(), nullptr);
    if (launch.Launch()) {
        m_browserOpened = true;
    } else {
        LOG_ENTRY("Open briwser error : " << launch.LastError());
        CLaunchApp::ShowError(launch.LastError());
    }
    m_code->clear();
    OnEnChangeEditCode();
}

void CCalvenorDlg::OnEnChangeEditCode() {
    m_codeRefused = false;
    UpdateControls();
}

void CCalvenorDlg::OnBnClickedButtonCodeOk() {
    // Used exactly as pasted: HMRC's code has no spaces, and a changed code would be refused.
    m_transaction->SetAuthorisationCode(m_code->text().toStdString());
    m_codeOk->setEnabled(false);
    int status = 0;
    bool exchanged = false;
    {
        CWaitCursor wait;
        exchanged = m_transaction->ExchangeCodeForToken(status);
    }
    // A 200 whose answer held no access token authorises nothing.
    if (exchanged && status == 200 && m_transaction->HasIssuedTokens()) {
        m_step = AuthStep::Authorised;
        UpdateControls();
        if (const std::string& notKept = m_transaction->GetTokenStoreFailure(); !notKept.empty()) {
            UiServices().Message(
                QStringLiteral("Authorised"),
                QString::fromStdString(
                    "Authorised - Please select a company and proceed as normal\r\n\r\n" +
                    NotKeptText(notKept)),
                MessageIcon::Warning, BeepKind::Exclamation);
        }
        return;
    }
    m_codeRefused = true;
    UpdateControls();
    ShowTokenExchangeError();
}

void CCalvenorDlg::ShowTokenExchangeError() {
    if (m_transaction->GetTransport().GetLastResult() != 0) {
        // No answer came back: the communication error says why.
        ShowError(CommErrorText(m_transaction->GetCommErrorCode()));
        return;
    }
    const int status = m_transaction->GetAnsweredStatus();
    CTRansactionError error(1, status);
    error.Decode(m_transaction->GetResponseBody());
    std::string text = "HTTP code = " + std::to_string(status) + "\r\n";
    for (const std::string& line : error.GetErrorLines()) {
        text += line + "\r\n";
    }
    ShowError(text);
}

// ---- Client and period selection ----

void CCalvenorDlg::OnBnClickedButtonGetObligations() {
    m_obligations.clear();
    m_periods->clear();
    UpdateControls();
    if (m_companies->currentIndex() <= 0) {
        UiServices().Message({}, QStringLiteral("Please Select a Company"), MessageIcon::None,
                             BeepKind::Information);
        return;
    }
    m_selectedCompanyText = m_companies->currentText().toStdString();
    m_transaction->SetVrn(m_selectedCompanyText.substr(0, 9));
    if (m_authorisedByRefresh) {
        m_transaction->SetAuthorisationCode(m_refreshedAccessToken);
    }
    bool retrieved = false;
    {
        CWaitCursor wait;
        retrieved = m_transaction->RetrieveObligations();
    }
    if (!retrieved) {
        std::string text = "Error - Failed to retrieve Obligations";
        if (m_transaction->GetAnsweredStatus() == 403) {
            text += kNotAuthorisedText;
        }
        UiServices().Message(QStringLiteral("Failed to retrieve Obligations"),
                             QString::fromStdString(text), MessageIcon::Warning,
                             BeepKind::Information);
        ReturnToStart(m_transaction->AnswerRejectedToken());
        return;
    }
    m_obligations = m_transaction->GetObligations();
    for (const CObligationData& obligation : m_obligations) {
        m_periods->addItem(QString::fromStdString(PeriodText(obligation)));
    }
    if (m_obligations.empty()) {
        UpdateControls();
        UiServices().Message({}, QStringLiteral("No Open Periods Found for this company"),
                             MessageIcon::None, BeepKind::Information);
        return;
    }
    m_periods->setCurrentIndex(0);
    m_selectedPeriodIndex = 0;
    UpdateControls();
}

void CCalvenorDlg::ReturnToStart(bool tokenRejected) {
    if (tokenRejected) {
        DeleteTokenFile();
    } else {
        // One client's refusal, a rate limit, a server fault or a lost connection says nothing
        // about the token: logging the agent out of every client would cost a new sign-in.
        const int status = m_transaction->GetAnsweredStatus();
        if (status == 0) {
            LOG_ENTRY("Token file kept: no answer from HMRC (communication error "
                      << m_transaction->GetCommErrorCode() << ")");
        } else {
            LOG_ENTRY("Token file kept: HMRC answered " << status
                                                        << " without rejecting the token");
        }
    }
    m_authorisedByRefresh = false;
    m_refreshedAccessToken.clear();
    m_transaction->SetStoredRefreshToken(std::string());
    m_transaction->SetAuthorisedByRefresh(false);
    m_code->clear();
    m_url->clear();
    m_periods->clear();
    m_step = AuthStep::Start;
    m_browserOpened = false;
    UpdateControls();
    m_transaction->ResetTransport();
}

void CCalvenorDlg::OnCbnSelchangePeriod() {
    m_selectedPeriodIndex = m_periods->currentIndex();
}

void CCalvenorDlg::OnCbnSelchangeCompany() {
    ResetCompanies();
}

void CCalvenorDlg::ResetCompanies() {
    LOG_ENTRY("ResetCompanies");
    m_periods->clear();
    UpdateControls();
}

void CCalvenorDlg::OnBnClickedButtonEnterVat() {
    // The filing flow starts from the chosen period.
    if (m_selectedPeriodIndex >= 0 &&
        static_cast<std::size_t>(m_selectedPeriodIndex) < m_obligations.size()) {
        const CObligationData& period =
            m_obligations[static_cast<std::size_t>(m_selectedPeriodIndex)];
        m_periodStart = period.start;
        m_periodEnd = period.end;
        m_periodKey = period.periodKey;
        m_vatEntry->SetPeriod(m_periodStart, m_periodEnd);
        m_vatEntry->Clear();
        RunFilingFlow();
    }
    // Whatever happened, the next filing starts with Get Obligations: a filed period must not
    // stay on offer.
    ResetCompanies();
}

bool CCalvenorDlg::RunFilingFlow() {
    for (;;) {
        m_vatEntry->SetVrn(m_selectedCompanyText);
        if (m_vatEntry->exec() != kDialogOk) {
            return false;
        }
        ReturnFigures figures;
        m_vatEntry->GetFigures(figures);
        if (!figures.entered) {
            continue;
        }
        m_vatConfirm->SetPeriod(m_periodStart, m_periodEnd);
        m_vatConfirm->SetFigures(figures);
        m_vatConfirm->SetVrn(m_selectedCompanyText);
        // Enter closes the confirmation with OK too; only Submit files.
        if (m_vatConfirm->exec() == kDialogOk && m_vatConfirm->IsSubmitClicked()) {
            const bool accepted = SubmitReturn(figures);
            bool retrieved = false;
            {
                CWaitCursor wait;
                retrieved = m_transaction->RetrieveObligations();
            }
            if (retrieved) {
                // Refills the list, or says the filed period was the last open one.
                OnBnClickedButtonGetObligations();
            }
            return accepted;
        }
    }
}

bool CCalvenorDlg::SubmitReturn(ReturnFigures& figures) {
    figures.periodKey = m_periodKey;
    CReturnData data;
    data.BuildJson(figures);
    m_transaction->SetReturnBody(data.GetJson());
    int status = 0;
    bool answered = false;
    {
        CWaitCursor wait;
        answered = m_transaction->SubmitReturn(status);
    }
    if (!answered) {
        // The return may have arrived before the connection failed: filing again blindly could
        // file it twice, so point the agent at the period list, HMRC's own record.
        ShowError(CommErrorText(m_transaction->GetCommErrorCode()) +
                  "\n\nHMRC may have received this return before the connection failed. Use Get "
                  "Obligations before filing again: a period that is no longer listed has been "
                  "filed.");
        return false;
    }
    ShowResults(m_periodStart, m_periodEnd, m_periodKey, figures, status == 201);
    return status == 201;
}

void CCalvenorDlg::ShowResults(const std::string& periodStart, const std::string& periodEnd,
                               const std::string& periodKey, const ReturnFigures& figures,
                               bool success) {
    CResultsDialog results(this);
    results.SetTitle(success ? "VAT Submission Results : Success"
                             : "VAT Submission Results : An ERROR Occurred");
    results.SetPeriod(periodStart, periodEnd);
    results.SetPeriodKey(periodKey);
    results.SetReceiptLines(m_transaction->GetReceiptLines());
    results.SetCompany(m_selectedCompanyText);
    results.SetFigures(figures);
    results.exec();
}
