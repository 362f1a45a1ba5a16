#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Curl.h"
#include "DeviceFacts.h"
#include "Obligations.h"

class CFraudHeaders;

// The filer's one object for talking to HMRC. The filing session creates it for the run, hands it
// the profile's credentials and base URL, and calls one method per HMRC operation. Each method
// forms its request, runs one blocking transfer and leaves its outcome as a return value and
// kept state (status, communication error code, tokens, obligations, receipt lines).
class CTransaction {
public:
    // The fraud-prevention lines name the agent profile's text (by its digest) and are made
    // afresh for every VAT request. `limits` bounds every transfer (tests lower the time-outs).
    explicit CTransaction(const std::string& profileText = {},
                          const CCurl::Limits& limits = CCurl::Limits{});
    virtual ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // Handed over by the filing session.
    void SetClientCredentials(const std::string& clientId, const std::string& clientSecret);
    void SetServiceBaseUrl(const std::string& url) { m_serviceBaseUrl = url; }
    void SetVrn(const std::string& vrn) { m_vrn = vrn; }
    // The pasted code before the code exchange; the refreshed access token before obligations
    // are retrieved by a filer that was authorised by refresh.
    void SetAuthorisationCode(const std::string& code) { m_authorisationCode = code; }
    void SetStoredRefreshToken(const std::string& token) { m_storedRefreshToken = token; }
    void SetRefreshToken(const std::string& token) { m_refreshToken = token; }
    void SetAuthorisedByRefresh(bool byRefresh) { m_authorisedByRefresh = byRefresh; }
    void SetReturnBody(const std::string& body) { m_returnBody = body; }
    // The size of the window the user works in, asked for every VAT request.
    void SetWindowSizeReader(std::function<WindowSize()> reader);

    // The HMRC operations.
    // A status for which IsJourneyStarted holds when the journey started and the sign-in address
    // is kept; otherwise a communication error code (1 to 11), another status, or 0 after a
    // redirect without a usable Location.
    int StartJouney();
    // False only when the transfer failed (status 0); success for the caller is status 200 with
    // tokens issued (HasIssuedTokens). Only that replaces the tokens in use: a failed exchange
    // leaves the session's authorisation as it was.
    bool ExchangeCodeForToken(int& httpStatus);
    // True when HMRC issued a complete token set, now in use; `newAccessToken` receives its
    // access token. Whether the set could also be kept for the next run: GetTokenStoreFailure.
    bool ExchangeRefreshTokenForToken(std::string& newAccessToken);
    // The "error" and "error_description" of the last OAuth answer.
    bool GetOAuthError(std::string& error, std::string& description);
    std::string GetResponseBody();
    void ResetTransport();
    // True with the open obligations in order (empty after a 404).
    bool RetrieveObligations();
    // False when no answer came back; true with the status and the receipt lines otherwise. A
    // 201 counts as an answer even when the rest of it broke off: the return is filed.
    bool SubmitReturn(int& httpStatus);
    // The return filed for `periodKey` of the client set by SetVrn: the status HMRC answered
    // with (200: GetResponseBody() holds it, see ReadVatReturn; 404: none has been filed), or 0
    // when no answer came back.
    int RetrieveReturn(const std::string& periodKey);
    // The client's account between `from` and `to` (YYYY-MM-DD), asked the same way: the status
    // answered (200: GetResponseBody() holds it) or 0 when no answer came back. Fulfilled
    // obligations read with CObligations, liabilities and payments with AccountAnswers.h.
    int RetrieveFulfilledObligations(const std::string& from, const std::string& to);
    int RetrieveLiabilities(const std::string& from, const std::string& to);
    int RetrievePayments(const std::string& from, const std::string& to);

    // Request forming: each puts URL, header lines and body of its request into the transport.
    void BuildAuthoriseQuery();
    void PrepareCodeExchange();
    void PrepareRefresh();
    void PrepareObligationsRequest();
    void PrepareSubmitRequest();
    // `answerComplete` false: the answer broke off after its 201 status and headers.
    void BuildSuccessReceipt(bool answerComplete = true);
    void BuildFailureReceipt(int httpStatus);

    static bool IsRedirectStatus(int status);
    // A redirect to the sign-in page, or (from stand-ins and some proxies) the sign-in page
    // itself, answered 200 at the authorisation request's own address.
    static bool IsJourneyStarted(int status);

    // Kept state, read by the filing session.
    int GetHttpCode() const { return m_transport->GetHttpCode(); }
    int GetCommErrorCode() const { return m_commErrorCode; }
    // The status HMRC answered with, or 0 when the transfer broke off (time-out, body too large,
    // dropped): such a transfer brought no answer, whatever status line arrived before it did.
    int GetAnsweredStatus() const {
        return m_transport->GetLastResult() == 0 ? m_transport->GetHttpCode() : 0;
    }
    // Whether HMRC's answer to the last VAT call says the access token itself is bad, the one
    // failure that makes the kept authorisation worth forgetting.
    bool AnswerRejectedToken();
    // True when the last code exchange brought a token set into use.
    bool HasIssuedTokens() const { return m_issuedTokens; }
    // Why the token set the last exchange brought into use could not be kept for the next run:
    // the token file and the reason. Empty when it was kept, or nothing was to be kept.
    const std::string& GetTokenStoreFailure() const { return m_tokenStoreFailure; }
    const std::string& GetAuthorisationUrl() const { return m_authorisationUrl; }
    const std::string& GetAuthoriseQuery() const { return m_authoriseQuery; }
    const std::string& GetObligationsUrl() const { return m_obligationsUrl; }
    const std::string& GetAuthorisationCode() const { return m_authorisationCode; }
    const std::string& GetAccessToken() const { return m_accessToken; }
    const std::string& GetRefreshToken() const { return m_refreshToken; }
    const std::string& GetStoredRefreshToken() const { return m_storedRefreshToken; }
    std::int32_t GetExpiresIn() const { return m_expiresIn; }
    bool IsAuthorisedByRefresh() const { return m_authorisedByRefresh; }
    const std::string& GetVrn() const { return m_vrn; }
    const std::string& GetReturnBody() const { return m_returnBody; }
    const std::vector<CObligationData>& GetObligations() const { return m_obligations; }
    const std::vector<std::string>& GetReceiptLines() const { return m_receiptLines; }
    // The fraud-prevention lines of the last VAT request.
    const std::vector<std::string>& GetFraudHeaderLines() const;
    CCurl& GetTransport() { return *m_transport; }
    const CCurl& GetTransport() const { return *m_transport; }

private:
    // Sets the URL of the next transfer, or none when the base URL is not one secrets may travel
    // to (the transfer then fails as a bad URL).
    void SetRequestUrl(const std::string& path);
    void AppendApiHeaders(const std::string& bearerToken);
    // The one way out of an operation whose transfer brought no answer: keeps the communication
    // error code, logs it under the operation's name ("DoTransaction Fail : 5"; the journey has
    // always logged it without the colon) and leaves the transport ready for the next GET.
    // Returns the code.
    int TransferFailed(const char* operation, const char* separator = " : ");
    // A GET of "/organisations/vat/{vrn}/" + `resource` with the API and fraud-prevention headers
    // and the access token in use: the status answered, or 0 (logged under `operation`) when no
    // answer came back.
    int QueryVatApi(const std::string& resource, const char* operation);
    // Writes the token set in use to the token file; the text to log when it could not be
    // written, with the reason kept for GetTokenStoreFailure.
    std::string SaveTokens();

    std::string m_authoriseQuery;
    std::string m_authorisationCode;
    std::string m_accessToken;
    std::string m_refreshToken;
    std::string m_storedRefreshToken;
    std::int32_t m_expiresIn = 0;
    std::string m_obligationsUrl;
    std::string m_authorisationUrl;
    std::unique_ptr<CCurl> m_transport;
    std::unique_ptr<CObligations> m_obligationsParser;
    std::vector<CObligationData> m_obligations;
    std::string m_returnBody;
    std::vector<std::string> m_receiptLines;
    int m_commErrorCode = 0;
    std::string m_vrn;
    std::string m_clientId;
    std::string m_clientSecret;
    std::string m_serviceBaseUrl;
    std::unique_ptr<CFraudHeaders> m_fraudHeaders;
    bool m_authorisedByRefresh = false;
    bool m_issuedTokens = false;
    std::string m_tokenStoreFailure;
};
