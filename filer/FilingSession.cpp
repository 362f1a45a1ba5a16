#include "FilingSession.h"

#include <stdexcept>

#include "JournalSettling.h"
#include "Log.h"
#include "ReturnData.h"
#include "SessionMessages.h"
#include "Tokens.h"
#include "TransactionError.h"

using namespace session;

namespace {

// The log names each step after the main window's handler the agent pressed, as it always has,
// so a log reads the same whichever part of the filer did the work.
constexpr char kStartAuthLog[] = "CCalvenorDlg::OnBnClickedButtonStartAuth";
constexpr char kCheckTokenFileLog[] = "CCalvenorDlg::CheckTokenFile";
constexpr char kDeleteTokenFileLog[] = "CCalvenorDlg::DeleteTokenFile";
constexpr char kReturnToStartLog[] = "CCalvenorDlg::ReturnToStart";

}  // namespace

CFilingSession::CFilingSession(const ProfileLoadResult& profile)
    : m_usable(profile.loaded),
      // Only a loaded profile's text reaches the service object (and its vendor licence header).
      m_transaction(std::make_unique<CTransaction>(profile.loaded ? profile.profile.profileText
                                                                  : std::string())) {
    if (m_usable) {
        m_transaction->SetClientCredentials(profile.profile.clientId, profile.profile.clientSecret);
        m_transaction->SetServiceBaseUrl(profile.profile.serviceBaseUrl);
    }
}

CFilingSession::~CFilingSession() = default;

CFilingSession::Controls CFilingSession::Possible(const Boxes& boxes) const {
    // Nothing can reach HMRC without the profile's credentials and address.
    const bool journey = m_usable && m_step == Step::Journey;
    const bool authorised = m_usable && m_step == Step::Authorised;
    Controls controls;
    controls.startAuthorisation = m_usable && m_step == Step::Start;
    controls.copy = journey && !m_browserOpened && boxes.urlShown;
    controls.code = journey;
    controls.codeOk = journey && !m_codeRefused && boxes.codeTyped;
    controls.getObligations = authorised;
    controls.enterVat = authorised && boxes.periodChosen;
    controls.viewAccount = authorised && boxes.companyChosen;
    return controls;
}

// ---- Authorisation ----

bool CFilingSession::CheckTokenFile(std::string& refreshToken) {
    bool usable = false;
    try {
        CTokens tokens;
        if (!tokens.Load()) {
            LOG_ENTRY_IN(kCheckTokenFileLog, "Failed to read token file");
        } else {
            refreshToken = tokens.GetRefreshToken();
            usable = !tokens.GetAccessToken().empty() && !tokens.GetRefreshToken().empty() &&
                     tokens.GetExpiresIn() != 0;
        }
    } catch (const std::runtime_error& error) {
        LOG_ENTRY_IN(kCheckTokenFileLog, "CToken error (Dlg): " << error.what());
        usable = false;
    }
    return usable;
}

void CFilingSession::DeleteTokenFile() {
    // The token store may fail to prepare its folder; the deletion must still return normally.
    try {
        CTokens tokens;
        tokens.DeleteFile();
    } catch (const std::runtime_error& error) {
        LOG_ENTRY_IN(kDeleteTokenFileLog, "CToken error (Dlg): " << error.what());
    }
}

CFilingSession::Result CFilingSession::StartAuthorisation() {
    std::string refreshToken;
    return CheckTokenFile(refreshToken) ? Renew(refreshToken) : BeginJourney();
}

CFilingSession::Result CFilingSession::Renew(const std::string& refreshToken) {
    Result result;
    m_transaction->SetStoredRefreshToken(refreshToken);
    m_transaction->SetAuthorisedByRefresh(true);
    if (m_transaction->ExchangeRefreshTokenForToken(m_refreshedAccessToken)) {
        const std::string& notKept = m_transaction->GetTokenStoreFailure();
        result.messages.push_back(notKept.empty()
                                      ? UserMessage{"Already Authorised",
                                                    std::string("Already ") + kAuthorisedText,
                                                    MessageIcon::None, BeepKind::Information}
                                      : NotKept("Already Authorised", notKept));
        m_step = Step::Authorised;
        m_authorisedByRefresh = true;
        SettleJournal({}, result);
        return result;
    }
    const int status = m_transaction->GetAnsweredStatus();
    LOG_ENTRY_IN(kStartAuthLog, "Error. LastHttpCode = " << status);
    if (status >= 500 || status == 429) {
        // HMRC's fault or its rate limit, not the token's: keep it so a later press tries the
        // renewal again.
        result.messages.push_back(Error(kServerErrorText));
        return result;
    }
    if (status == 0) {
        // No answer at all (no connection, time-out): nothing says the token is bad.
        result.messages.push_back(Error(CommErrorText(m_transaction->GetCommErrorCode())));
        return result;
    }
    if (status == 400) {
        std::string code, message;
        m_transaction->GetOAuthError(code, message);
        LOG_ENTRY_IN(kStartAuthLog, "Error. ResponseCode = " << code);
        LOG_ENTRY_IN(kStartAuthLog, "Error. Message = " << message);
    }
    result.messages.push_back(Error(kStoredTokenRejectedText));
    DeleteTokenFile();
    m_transaction->SetStoredRefreshToken(std::string());
    m_transaction->SetAuthorisedByRefresh(false);
    return result;
}

CFilingSession::Result CFilingSession::BeginJourney() {
    Result result;
    const int status = m_transaction->StartJouney();
    if (status >= 100 && CTransaction::IsJourneyStarted(status)) {
        result.url = m_transaction->GetAuthorisationUrl();
        m_step = Step::Journey;
        m_browserOpened = false;
        m_codeRefused = false;
        return result;
    }
    LOG_ENTRY_IN(kStartAuthLog, "Authorisation Error. Code = " << status);
    std::string text;
    CTRansactionError error(CTRansactionError::kAuthorisationRequest, status);
    if (status > 0 && status < 100) {
        // No answer came back: the communication error says why.
        text = CommErrorText(status);
    } else {
        error.GetErrorText(text);
    }
    if (status >= 100 && error.Decode(m_transaction->GetResponseBody())) {
        LOG_ENTRY_IN(kStartAuthLog, "Error decoded : " << text);
        for (const std::string& line : error.GetErrorLines()) {
            text += "\r" + line;
            LOG_ENTRY_IN(kStartAuthLog, text);
        }
        result.messages.push_back(Error(text));
    } else {
        LOG_ENTRY_IN(kStartAuthLog, "generic error : " << text);
        result.messages.push_back(
            {"COMMUNICATIONS ERROR", text, MessageIcon::None, BeepKind::Exclamation});
    }
    return result;
}

void CFilingSession::BrowserLaunched(bool opened) {
    if (opened)
        m_browserOpened = true;
    CodeEdited();
}

void CFilingSession::CodeEdited() {
    m_codeRefused = false;
}

CFilingSession::Result CFilingSession::ExchangeCode(const std::string& code) {
    Result result;
    m_transaction->SetAuthorisationCode(code);
    int status = 0;
    const bool exchanged = m_transaction->ExchangeCodeForToken(status);
    // A 200 whose answer held no access token authorises nothing.
    if (exchanged && status == 200 && m_transaction->HasIssuedTokens()) {
        m_step = Step::Authorised;
        if (const std::string& notKept = m_transaction->GetTokenStoreFailure(); !notKept.empty())
            result.messages.push_back(NotKept("Authorised", notKept));
        SettleJournal({}, result);
        return result;
    }
    m_codeRefused = true;
    result.messages.push_back(TokenExchangeError());
    return result;
}

UserMessage CFilingSession::TokenExchangeError() const {
    if (m_transaction->GetTransport().GetLastResult() != 0) {
        // No answer came back: the communication error says why.
        return Error(CommErrorText(m_transaction->GetCommErrorCode()));
    }
    const int status = m_transaction->GetAnsweredStatus();
    CTRansactionError error(CTRansactionError::kCodeExchange, status);
    error.Decode(m_transaction->GetResponseBody());
    std::string text = "HTTP code = " + std::to_string(status) + "\r\n";
    for (const std::string& line : error.GetErrorLines()) {
        text += line + "\r\n";
    }
    return Error(text);
}

// ---- Client and period ----

CFilingSession::Result CFilingSession::GetObligations(int companyIndex,
                                                      const std::string& companyText) {
    Result result;
    m_obligations.clear();
    result.periods.emplace();
    if (companyIndex <= 0) {
        result.messages.push_back(
            {{}, "Please Select a Company", MessageIcon::None, BeepKind::Information});
        return result;
    }
    m_selectedCompanyText = companyText;
    UseClient(companyText);
    if (!m_transaction->RetrieveObligations()) {
        std::string text = "Error - Failed to retrieve Obligations";
        if (m_transaction->GetAnsweredStatus() == 403) {
            text += kNotAuthorisedText;
        }
        result.messages.push_back(
            {"Failed to retrieve Obligations", text, MessageIcon::Warning, BeepKind::Information});
        ReturnToStart(m_transaction->AnswerRejectedToken(), result);
        return result;
    }
    m_obligations = m_transaction->GetObligations();
    if (!m_justFiled && !SettleJournal(m_transaction->GetVrn(), result))
        return result;
    for (const CObligationData& obligation : m_obligations) {
        result.periods->push_back(PeriodText(obligation));
    }
    if (m_obligations.empty()) {
        result.messages.push_back({{},
                                   "No Open Periods Found for this company",
                                   MessageIcon::None,
                                   BeepKind::Information});
        return result;
    }
    m_selectedPeriodIndex = 0;
    return result;
}

void CFilingSession::ReturnToStart(bool tokenRejected, Result& result) {
    if (tokenRejected) {
        DeleteTokenFile();
    } else {
        // One client's refusal, a rate limit, a server fault or a lost connection says nothing
        // about the token: logging the agent out of every client would cost a new sign-in.
        const int status = m_transaction->GetAnsweredStatus();
        if (status == 0) {
            LOG_ENTRY_IN(kReturnToStartLog,
                         "Token file kept: no answer from HMRC (communication error "
                             << m_transaction->GetCommErrorCode() << ")");
        } else {
            LOG_ENTRY_IN(kReturnToStartLog, "Token file kept: HMRC answered "
                                                << status << " without rejecting the token");
        }
    }
    m_authorisedByRefresh = false;
    m_refreshedAccessToken.clear();
    m_transaction->SetStoredRefreshToken(std::string());
    m_transaction->SetAuthorisedByRefresh(false);
    result.clearCode = true;
    result.url = std::string();
    result.periods.emplace();
    m_step = Step::Start;
    m_browserOpened = false;
    m_codeRefused = false;
    m_transaction->ResetTransport();
}

// ---- The client's account ----

bool CFilingSession::PrepareClientQuery(const std::string& companyText) {
    if (!m_usable || m_step != Step::Authorised)
        return false;
    UseClient(companyText);
    return true;
}

void CFilingSession::UseClient(const std::string& companyText) {
    m_transaction->SetVrn(companyText.substr(0, 9));
    if (m_authorisedByRefresh)
        m_transaction->SetAuthorisationCode(m_refreshedAccessToken);
}

std::optional<CFilingSession::Result> CFilingSession::ForgetRejectedToken() {
    if (!m_transaction->AnswerRejectedToken())
        return std::nullopt;
    Result result;
    ReturnToStart(true, result);
    return result;
}

// ---- Filing ----

bool CFilingSession::SettleJournal(const std::string& vrn, Result& result) {
    if (!journal::Settle(*m_transaction, vrn, result.messages)) {
        m_transaction->SetVrn(m_selectedCompanyText.substr(0, 9));
        return true;
    }
    m_obligations.clear();
    result.messages.push_back(Error(kStoredTokenRejectedText));
    ReturnToStart(true, result);
    return false;
}

bool CFilingSession::BeginFiling(std::vector<UserMessage>* refusal) {
    if (m_selectedPeriodIndex < 0 ||
        static_cast<std::size_t>(m_selectedPeriodIndex) >= m_obligations.size())
        return false;
    const CObligationData& period = m_obligations[static_cast<std::size_t>(m_selectedPeriodIndex)];
    // A period whose last submission may have been filed is never sent again unchecked.
    std::vector<UserMessage> messages;
    const bool refused = journal::Unsettled(m_transaction->GetVrn(), period.periodKey, messages);
    if (refusal)
        *refusal = std::move(messages);
    if (refused)
        return false;
    m_periodStart = period.start;
    m_periodEnd = period.end;
    m_periodKey = period.periodKey;
    return true;
}

CFilingSession::Submission CFilingSession::Submit(ReturnFigures& figures) {
    Submission submission;
    figures.periodKey = m_periodKey;
    const std::optional<JournalEntry> entry = journal::BeforeSending(
        m_transaction->GetVrn(), m_selectedCompanyText, m_periodKey, m_periodStart, m_periodEnd,
        GetBoxTexts(figures), submission.messages);
    if (!entry)
        return submission;
    CReturnData data;
    data.BuildJson(figures);
    m_transaction->SetReturnBody(data.GetJson());
    int status = 0;
    const bool answered = m_transaction->SubmitReturn(status);
    journal::AfterSending(*entry, answered, status == 201, m_transaction->GetReceiptLines(),
                          submission.messages);
    if (!answered) {
        // The return may have arrived before the connection failed: filing again blindly could
        // file it twice, so point the agent at the period list, HMRC's own record, and the
        // journal's check.
        submission.messages.insert(submission.messages.begin(),
                                   Error(CommErrorText(m_transaction->GetCommErrorCode()) +
                                         kMayHaveFiledText + journal::kWillCheckText));
        return submission;
    }
    submission.accepted = status == 201;
    submission.results =
        SubmissionResults{submission.accepted ? "VAT Submission Results : Success"
                                              : "VAT Submission Results : An ERROR Occurred",
                          m_periodStart,
                          m_periodEnd,
                          m_periodKey,
                          m_transaction->GetReceiptLines(),
                          m_selectedCompanyText,
                          figures};
    return submission;
}

CFilingSession::Result CFilingSession::ListAfterFiling(int companyIndex,
                                                       const std::string& companyText) {
    // Refills the list, or says the filed period was the last open one; a failed first try
    // says nothing.
    if (!m_transaction->RetrieveObligations())
        return {};
    // A lost submission is not checked yet: HMRC may still be working on it, and a return not
    // found now may be filed a moment later. The next Get Obligations checks it.
    m_justFiled = true;
    Result result = GetObligations(companyIndex, companyText);
    m_justFiled = false;
    return result;
}
