#include "Transaction.h"

#include <rapidjson/document.h>

#include <stdexcept>
#include <utility>

#include "FraudHeaders.h"
#include "Log.h"
#include "ServiceUrl.h"
#include "Tokens.h"
#include "TransactionError.h"
#include "UrlEncoder.h"

namespace {

const std::string kAcceptLine = "Accept: application/vnd.hmrc.1.0+json";
const std::string kContentTypeLine = "Content-Type: application/json";
const std::string kBearerPrefix = "Authorization: Bearer ";
const std::string kTestScenarioLine = "Gov-Test-Scenario: QUARTERLY_TWO_MET";
const std::string kTestServiceMarker = "test-";

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
    if (!m_transport->DoTransaction()) {
        m_commErrorCode = m_transport->GetErrorCode();
        LOG_ENTRY("DoTransaction Fail " << m_commErrorCode);
        m_transport->UseGet();
        return m_commErrorCode;
    }
    const int status = m_transport->GetHttpCode();
    m_transport->UseGet();
    if (status >= 100 && IsRedirectStatus(status)) {
        if (!m_transport->GetLocation(m_authorisationUrl)) {
            const int code = m_transport->GetErrorCode();
            LOG_ENTRY("Location Fail " << code);
            return code;
        }
    }
    return status;
}

std::string CTransaction::SaveTokens() {
    try {
        CTokens tokens;
        tokens.SetAccessToken(m_accessToken);
        tokens.SetRefreshToken(m_refreshToken);
        tokens.SetExpiresIn(m_expiresIn);
        return tokens.Save() ? std::string() : std::string("Failed to save token file");
    } catch (const std::runtime_error& error) {
        return std::string("CToken error: ") + error.what();
    }
}

bool CTransaction::ExchangeCodeForToken(int& httpStatus) {
    m_transport->UseGet();
    PrepareCodeExchange();
    // The code is single-use: libcurl's resend over a reused connection that died would spend
    // it a second time, and the tokens of the first answer would be lost.
    m_transport->UseFreshConnection();
    if (!m_transport->DoTransaction()) {
        httpStatus = 0;
        m_commErrorCode = m_transport->GetErrorCode();
        LOG_ENTRY("DoTransaction Fail : " << m_commErrorCode);
        m_transport->UseGet();
        return false;
    }
    httpStatus = m_transport->GetHttpCode();
    // An earlier exchange's token must not pass for this one's when its answer is unreadable.
    m_accessToken.clear();
    if (httpStatus == 200) {
        if (!m_transport->GetTokens(m_accessToken, m_refreshToken, m_expiresIn)) {
            LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << httpStatus);
        } else if (!m_refreshToken.empty() && m_expiresIn != 0) {
            const std::string failure = SaveTokens();
            if (!failure.empty())
                LOG_ENTRY(failure);
        }
    } else {
        LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << httpStatus);
    }
    m_transport->UseGet();
    return true;
}

bool CTransaction::ExchangeRefreshTokenForToken(std::string& newAccessToken) {
    bool result = false;
    m_transport->UsePost();
    PrepareRefresh();
    // As for the code: a resent renewal would spend the refresh token twice.
    m_transport->UseFreshConnection();
    if (!m_transport->DoTransaction()) {
        m_commErrorCode = m_transport->GetErrorCode();
        LOG_ENTRY("DoTransaction Fail : " << m_commErrorCode);
        m_transport->UseGet();
        return false;
    }
    const int status = m_transport->GetHttpCode();
    if (status == 200) {
        if (!m_transport->GetTokens(m_accessToken, m_refreshToken, m_expiresIn)) {
            LOG_ENTRY("GetBearerToken Fail ResponseCode =  " << status);
        } else if (!m_refreshToken.empty() && m_expiresIn != 0) {
            newAccessToken = m_accessToken;
            const std::string failure = SaveTokens();
            result = failure.empty();
            if (!result)
                LOG_ENTRY(failure);
        }
    }
    m_transport->UseGet();
    return result;
}

bool CTransaction::GetOAuthError(std::string& error, std::string& description) {
    return ReadOAuthError(m_transport->GetResponseBody(), error, description);
}

bool ReadOAuthError(const std::string& body, std::string& error, std::string& description) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return false;
    auto copy = [&document](const char* name, std::string& out) {
        const auto member = std::as_const(document).FindMember(name);
        if (member != std::as_const(document).MemberEnd() && member->value.IsString()) {
            out.assign(member->value.GetString(), member->value.GetStringLength());
        }
    };
    copy("error", error);
    copy("error_description", description);
    return true;
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
        m_commErrorCode = m_transport->GetErrorCode();
        LOG_ENTRY("DoTransaction Fail : " << m_commErrorCode);
        m_transport->UseGet();
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

bool CTransaction::SubmitReturn(int& httpStatus) {
    PrepareSubmitRequest();
    m_transport->UseFreshConnection();
    if (!m_transport->DoTransaction()) {
        httpStatus = 0;
        m_commErrorCode = m_transport->GetErrorCode();
        LOG_ENTRY("DoTransaction Fail : " << m_commErrorCode);
        m_transport->UseGet();
        return false;
    }
    httpStatus = m_transport->GetHttpCode();
    if (httpStatus == 201) {
        BuildSuccessReceipt();
    } else {
        BuildFailureReceipt(httpStatus);
    }
    m_transport->UseGet();
    return true;
}

namespace {

// The value of a header of the final answer, from its colon on, without the line end.
std::string HeaderValue(const std::vector<std::string>& headerLines, const std::string& name) {
    std::string line;
    if (!FindHeaderLine(headerLines, name, line))
        return {};
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    std::string value = line.substr(colon);
    const auto end = value.find_first_of("\r\n");
    if (end != std::string::npos)
        value.erase(end);
    return value;
}

}  // namespace

void CTransaction::BuildSuccessReceipt() {
    m_receiptLines =
        SuccessReceiptLines(m_transport->GetHeaderLines(), m_transport->GetResponseBody());
}

void CTransaction::BuildFailureReceipt(int httpStatus) {
    m_receiptLines = FailureReceiptLines(m_transport->GetHeaderLines(),
                                         m_transport->GetResponseBody(), httpStatus);
}

std::vector<std::string> SuccessReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body) {
    std::vector<std::string> lines;
    lines.push_back("Submisssion Successful");
    lines.push_back("");
    lines.push_back("Correlation Id " + HeaderValue(headerLines, "X-Correlationid:"));
    lines.push_back("Receipt Id " + HeaderValue(headerLines, "Receipt-Id:"));
    lines.push_back("Receipt Timestamp " + HeaderValue(headerLines, "Receipt-Timestamp:"));

    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return lines;
    auto text = [&document](const char* name, std::string& out) {
        const auto member = std::as_const(document).FindMember(name);
        if (member == std::as_const(document).MemberEnd() || !member->value.IsString())
            return false;
        out.assign(member->value.GetString(), member->value.GetStringLength());
        return true;
    };
    std::string value;
    if (text("processingDate", value))
        lines.push_back("Processing Date : " + value);
    if (text("formBundleNumber", value))
        lines.push_back("Form Bundle Number : " + value);
    if (text("paymentIndicator", value)) {
        lines.push_back("Payment Indicator : " + value);
        lines.push_back(
            value == "DD" ? "(Note DD means VAT is owed and HMRC holds a Direct Debit Instruction)"
                          : "(Note BANK means VAT is recliamed and HMRC holds your bank data)");
    }
    if (text("chargeRefNumber", value))
        lines.push_back("Charge Ref Number : " + value);
    return lines;
}

std::vector<std::string> FailureReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body, int httpStatus) {
    std::vector<std::string> lines;
    lines.push_back("Submisssion FAILED");
    lines.push_back("");
    lines.push_back("Submission Date " + HeaderValue(headerLines, "Date:"));
    lines.push_back("");
    CTRansactionError error(CTRansactionError::kReturnSubmission, httpStatus);
    std::string text;
    error.GetErrorText(text);
    lines.push_back(text);
    lines.push_back("");
    error.Decode(body);
    for (const std::string& line : error.GetErrorLines()) {
        lines.push_back(line);
    }
    return lines;
}
