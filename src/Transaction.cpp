#include "Transaction.h"

#include <stdexcept>
#include <utility>

#include "FraudHeaders.h"
#include "Log.h"
#include "ServiceUrl.h"
#include "Tokens.h"
#include "UrlEncoder.h"

namespace {

const std::string kAcceptLine = "Accept: application/vnd.hmrc.1.0+json";
const std::string kContentTypeLine = "Content-Type: application/json";
const std::string kBearerPrefix = "Authorization: Bearer ";
const std::string kTestScenarioLine = "Gov-Test-Scenario: QUARTERLY_TWO_MET";
const std::string kTestServiceMarker = "test-";

// The query of an account request for the dates `from` to `to`.
std::string DateRange(const std::string& from, const std::string& to) {
    return "from=" + FormValueEncode(from) + "&to=" + FormValueEncode(to);
}

}  // namespace

CTransaction::CTransaction(const std::string& profileText, const CCurl::Limits& limits)
    : m_transport(std::make_unique<CCurl>(limits)),
      m_fraudHeaders(std::make_unique<CFraudHeaders>(profileText)) {
    m_transport->UseGet();
}

CTransaction::~CTransaction() = default;

void CTransaction::SetWindowSizeReader(std::function<WindowSize()> reader) {
    m_fraudHeaders->SetWindowSizeReader(std::move(reader));
}

const std::vector<std::string>& CTransaction::GetFraudHeaderLines() const {
    return m_fraudHeaders->GetHeaderLines();
}

void CTransaction::SetClientCredentials(const std::string& clientId,
                                        const std::string& clientSecret) {
    m_clientId = clientId;
    m_clientSecret = clientSecret;
}

bool CTransaction::IsRedirectStatus(int status) {
    return status == 300 || status == 301 || status == 302 || status == 307 || status == 308;
}

bool CTransaction::IsJourneyStarted(int status) {
    return status == 200 || IsRedirectStatus(status);
}

void CTransaction::SetRequestUrl(const std::string& pathAndQuery) {
    // Secrets and tokens travel only to https, or to http on this machine; anything else is
    // never contacted and the transfer fails as a bad URL.
    m_transport->SetUrl(calvenor::IsAllowedServiceUrl(m_serviceBaseUrl)
                            ? m_serviceBaseUrl + pathAndQuery
                            : std::string());
}

void CTransaction::BuildAuthoriseQuery() {
    m_authoriseQuery = "?response_type=code&client_id=" + FormValueEncode(m_clientId) +
                       "&scope=read:vat+write:vat&redirect_uri=urn:ietf:wg:oauth:2.0:oob";
}

void CTransaction::PrepareCodeExchange() {
    SetRequestUrl("/oauth/token");
    m_transport->SetPostBody(
        "client_secret=" + FormValueEncode(m_clientSecret) +
        "&client_id=" + FormValueEncode(m_clientId) +
        "&grant_type=authorization_code&redirect_uri=urn:ietf:wg:oauth:2.0:oob&code=" +
        FormValueEncode(m_authorisationCode));
}

void CTransaction::PrepareRefresh() {
    SetRequestUrl("/oauth/token");
    m_transport->SetPostBody(
        "client_secret=" + FormValueEncode(m_clientSecret) +
        "&client_id=" + FormValueEncode(m_clientId) +
        "&grant_type=refresh_token&refresh_token=" + FormValueEncode(m_storedRefreshToken));
}

void CTransaction::AppendApiHeaders(const std::string& bearerToken) {
    m_transport->AppendHeader(kAcceptLine);
    m_transport->AppendHeader(kContentTypeLine);
    m_transport->AppendHeader(kBearerPrefix + bearerToken);
    // Built now, not at start-up: the network, the screens and the window change during a day.
    m_fraudHeaders->Build();
    for (const std::string& line : m_fraudHeaders->GetHeaderLines()) {
        m_transport->AppendHeader(line);
    }
}

void CTransaction::PrepareObligationsRequest() {
    const std::string path = "/organisations/vat/" + m_vrn + "/obligations?status=O";
    m_obligationsUrl = m_serviceBaseUrl + path;
    SetRequestUrl(path);
    AppendApiHeaders(m_authorisedByRefresh ? m_authorisationCode : m_accessToken);
    if (m_serviceBaseUrl.find(kTestServiceMarker) != std::string::npos) {
        m_transport->AppendHeader(kTestScenarioLine);
    }
}

void CTransaction::PrepareSubmitRequest() {
    SetRequestUrl("/organisations/vat/" + m_vrn + "/returns");
    AppendApiHeaders(m_accessToken);
    m_transport->UsePost();
    m_transport->SetPostBody(m_returnBody);
}

int CTransaction::StartJouney() {
    m_transport->UseGet();
    BuildAuthoriseQuery();
    SetRequestUrl("/oauth/authorize" + m_authoriseQuery);
    if (!m_transport->DoTransaction())
        return TransferFailed("CTransaction::StartJouney", " ");
    const int status = m_transport->GetHttpCode();
    m_transport->UseGet();
    if (status >= 100 && IsRedirectStatus(status)) {
        if (!m_transport->GetLocation(m_authorisationUrl)) {
            const int code = m_transport->GetErrorCode();
            LOG_ENTRY("Location Fail " << code);
            return code;
        }
    } else if (status == 200) {
        // The sign-in page came back itself: the address just asked is the one to open.
        m_authorisationUrl = m_serviceBaseUrl + "/oauth/authorize" + m_authoriseQuery;
    }
    return status;
}

int CTransaction::TransferFailed(const char* operation, const char* separator) {
    m_commErrorCode = m_transport->GetErrorCode();
    LOG_ENTRY_IN(operation, "DoTransaction Fail" << separator << m_commErrorCode);
    m_transport->UseGet();
    return m_commErrorCode;
}

std::string CTransaction::SaveTokens() {
    const std::string path = CTokens::FilePath();
    const std::string file = path.empty() ? std::string("the token file") : path;
    try {
        CTokens tokens;
        tokens.SetAccessToken(m_accessToken);
        tokens.SetRefreshToken(m_refreshToken);
        tokens.SetExpiresIn(m_expiresIn);
        std::string reason;
        if (tokens.Save(&reason))
            return {};
        m_tokenStoreFailure = file + ": " + reason;
        return "Failed to save token file";
    } catch (const std::runtime_error& error) {
        m_tokenStoreFailure = file + ": its folder cannot be made";
        return std::string("CToken error: ") + error.what();
    }
}

bool CTransaction::ExchangeCodeForToken(int& httpStatus) {
    m_issuedTokens = false;
    m_tokenStoreFailure.clear();
    m_transport->UseGet();
    PrepareCodeExchange();
    // The code is single-use: libcurl's resend over a reused connection that died would spend
    // it a second time, and the tokens of the first answer would be lost.
    m_transport->UseFreshConnection();
    if (!m_transport->DoTransaction()) {
        httpStatus = 0;
        TransferFailed("CTransaction::ExchangeCodeForToken");
        return false;
    }
    httpStatus = m_transport->GetHttpCode();
    // The answer is read aside: only a token set HMRC issued replaces the one in use, so a
    // refused or unreadable answer never takes away a working authorisation.
    std::string access, refresh;
    std::int32_t expiresIn = 0;
    if (httpStatus == 200) {
        if (!m_transport->GetTokens(access, refresh, expiresIn)) {
            LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << httpStatus);
        } else {
            m_accessToken = access;
            m_refreshToken = refresh;
            m_expiresIn = expiresIn;
            m_issuedTokens = true;
            if (!m_refreshToken.empty() && m_expiresIn != 0) {
                const std::string failure = SaveTokens();
                if (!failure.empty())
                    LOG_ENTRY(failure);
            }
        }
    } else {
        LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << httpStatus);
    }
    m_transport->UseGet();
    return true;
}

bool CTransaction::ExchangeRefreshTokenForToken(std::string& newAccessToken) {
    bool result = false;
    m_tokenStoreFailure.clear();
    m_transport->UsePost();
    PrepareRefresh();
    // As for the code: a resent renewal would spend the refresh token twice.
    m_transport->UseFreshConnection();
    if (!m_transport->DoTransaction()) {
        TransferFailed("CTransaction::ExchangeRefreshTokenForToken");
        return false;
    }
    const int status = m_transport->GetHttpCode();
    if (status == 200) {
        std::string access, refresh;
        std::int32_t expiresIn = 0;
        if (!m_transport->GetTokens(access, refresh, expiresIn)) {
            LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << status);
        } else if (!refresh.empty() && expiresIn != 0) {
            // HMRC has spent the old refresh token: the new set is the authorisation from now on,
            // whether or not it can be kept for the next run.
            m_accessToken = newAccessToken = access;
            m_refreshToken = refresh;
            m_expiresIn = expiresIn;
            result = true;
            const std::string failure = SaveTokens();
            if (!failure.empty())
                LOG_ENTRY(failure);
        }
    }
    m_transport->UseGet();
    return result;
}

bool CTransaction::AnswerRejectedToken() {
    return SaysTokenRejected(GetAnsweredStatus(), m_transport->GetResponseBody());
}

bool CTransaction::GetOAuthError(std::string& error, std::string& description) {
    return ReadOAuthError(m_transport->GetResponseBody(), error, description);
}

std::string CTransaction::GetResponseBody() {
    return m_transport->GetResponseBody();
}

void CTransaction::ResetTransport() {
    m_transport->Reset();
}

bool CTransaction::RetrieveObligations() {
    m_transport->UseGet();
    PrepareObligationsRequest();
    if (!m_transport->DoTransaction()) {
        TransferFailed("CTransaction::RetrieveObligations");
        return false;
    }
    const int status = m_transport->GetHttpCode();
    m_transport->UseGet();
    if (status == 200) {
        auto parser = std::make_unique<CObligations>(m_transport->GetResponseBody());
        // An answer that cannot be read whole is a failure, never "no open periods" or a list
        // with periods missing.
        if (!parser->IsComplete()) {
            LOG_ENTRY("Unusable obligations answer");
            return false;
        }
        m_obligationsParser = std::move(parser);
        m_obligations = m_obligationsParser->GetObligations();
        return true;
    }
    if (status == 404) {
        m_obligations.clear();
        return true;
    }
    LOG_ENTRY("ResponseCode Fail =  " << status);
    return false;
}

int CTransaction::QueryVatApi(const std::string& resource, const char* operation) {
    m_transport->UseGet();
    SetRequestUrl("/organisations/vat/" + m_vrn + "/" + resource);
    AppendApiHeaders(m_accessToken);
    if (!m_transport->DoTransaction()) {
        TransferFailed(operation);
        return 0;
    }
    return GetAnsweredStatus();
}

int CTransaction::RetrieveReturn(const std::string& periodKey) {
    // A period key may hold "#", which must not end the path.
    return QueryVatApi("returns/" + FormValueEncode(periodKey), "CTransaction::RetrieveReturn");
}

int CTransaction::RetrieveFulfilledObligations(const std::string& from, const std::string& to) {
    return QueryVatApi("obligations?" + DateRange(from, to) + "&status=F",
                       "CTransaction::RetrieveFulfilledObligations");
}

int CTransaction::RetrieveLiabilities(const std::string& from, const std::string& to) {
    return QueryVatApi("liabilities?" + DateRange(from, to), "CTransaction::RetrieveLiabilities");
}

int CTransaction::RetrievePayments(const std::string& from, const std::string& to) {
    return QueryVatApi("payments?" + DateRange(from, to), "CTransaction::RetrievePayments");
}

bool CTransaction::SubmitReturn(int& httpStatus) {
    PrepareSubmitRequest();
    m_transport->UseFreshConnection();
    const bool complete = m_transport->DoTransaction();
    // A 201 status line means HMRC has filed the return, even when the answer broke off after
    // it: the receipt headers that did arrive are the agent's proof of filing.
    const bool filed = m_transport->GetHttpCode() == 201;
    if (!complete && !filed) {
        httpStatus = 0;
        TransferFailed("CTransaction::SubmitReturn");
        return false;
    }
    httpStatus = m_transport->GetHttpCode();
    if (filed) {
        BuildSuccessReceipt(complete);
        const std::string receiptId = HeaderValue(m_transport->GetHeaderLines(), "Receipt-Id:");
        LOG_ENTRY("Return filed. Receipt-ID" << (receiptId.empty() ? " missing" : receiptId));
        if (m_receiptLines.back() == kIncompleteAnswerLine)
            LOG_ENTRY("HMRC's answer was incomplete; the Receipt-ID is the proof of filing");
    } else {
        BuildFailureReceipt(httpStatus);
    }
    m_transport->UseGet();
    return true;
}

void CTransaction::BuildSuccessReceipt(bool answerComplete) {
    m_receiptLines = SuccessReceiptLines(m_transport->GetHeaderLines(),
                                         m_transport->GetResponseBody(), answerComplete);
}

void CTransaction::BuildFailureReceipt(int httpStatus) {
    m_receiptLines = FailureReceiptLines(m_transport->GetHeaderLines(),
                                         m_transport->GetResponseBody(), httpStatus);
}
