#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AgentProfile.h"
#include "ReturnFigures.h"
#include "Transaction.h"
#include "UserMessage.h"

// The filer's work with HMRC, apart from its windows: where the authorisation stands, when the
// token file is kept or deleted, the chosen client's obligations and the filing of a return. It
// owns the run's only CTransaction. The main window reads its boxes, calls one operation per step
// the agent takes, shows what the operation returns, and enables exactly the controls Possible()
// names. Every operation blocks until HMRC has answered.
class CFilingSession {
public:
    // What the main window's boxes hold.
    struct Boxes {
        bool urlShown = false;       // the HMRC URL box holds an address
        bool codeTyped = false;      // the HMRC Code box holds text
        bool periodChosen = false;   // the period list has a current entry
        bool companyChosen = false;  // the company list's entry is a client
    };

    // The steps that can work now, one per control of the main window.
    struct Controls {
        bool startAuthorisation = false;
        bool copy = false;
        bool code = false;
        bool codeOk = false;
        bool getObligations = false;
        bool enterVat = false;
        bool viewAccount = false;
    };

    // What a step leaves for the main window: the boxes' new contents (unset: unchanged), then the
    // messages to show in order.
    struct Result {
        std::optional<std::string> url;
        bool clearCode = false;
        std::optional<std::vector<std::string>> periods;
        std::vector<UserMessage> messages;
    };

    // HMRC's answer to a submission, as the results window shows, saves and prints it.
    struct SubmissionResults {
        std::string title;
        std::string periodStart, periodEnd, periodKey;  // as HMRC gave them, YYYY-MM-DD
        std::vector<std::string> receiptLines;
        std::string company;  // "123456789 : ACME Ltd"
        ReturnFigures figures;
    };

    // A submission: the results window's content when HMRC answered, else the message saying it
    // may have been filed all the same.
    struct Submission : Result {
        std::optional<SubmissionResults> results;
        bool accepted = false;  // HMRC answered 201: the return is filed
    };

    // `profile` as the program loaded it: without a loaded profile nothing can reach HMRC and no
    // step but Exit is possible.
    explicit CFilingSession(const ProfileLoadResult& profile);
    ~CFilingSession();
    CFilingSession(const CFilingSession&) = delete;
    CFilingSession& operator=(const CFilingSession&) = delete;

    // Start Authorisation: renews the set in a usable token file, else starts a journey and gives
    // the sign-in address for the URL box.
    Result StartAuthorisation();
    // Copy has asked the desktop to open the address (`opened`: it did). The code box is emptied.
    void BrowserLaunched(bool opened);
    // The HMRC Code box changed: a refused code may be tried again once edited.
    void CodeEdited();
    // OK: exchanges the code as pasted (HMRC's code has no spaces; a changed one is refused).
    Result ExchangeCode(const std::string& code);

    // Get Obligations for the company list's entry `companyIndex` (0: "Select a Company...") with
    // the text "123456789 : ACME Ltd". A failure goes back to the start.
    Result GetObligations(int companyIndex, const std::string& companyText);
    void ChoosePeriod(int index) { m_selectedPeriodIndex = index; }

    // Takes the chosen period for a filing; false when there is none, or when its last
    // submission's outcome is not yet settled (`refusal` then says why).
    bool BeginFiling(std::vector<UserMessage>* refusal = nullptr);
    // Files `figures` (the period key is added) for the period BeginFiling took.
    Submission Submit(ReturnFigures& figures);
    // After a submission: the obligations once more, so the list says what is still open.
    Result ListAfterFiling(int companyIndex, const std::string& companyText);

    // Which steps can work now, given the boxes: the one rule for the main window's controls.
    Controls Possible(const Boxes& boxes) const;

    // Before a call about the client `companyText` outside the filing (its account): the client
    // and the token in use handed to the transaction. False unless authorised.
    bool PrepareClientQuery(const std::string& companyText);
    // After such a call failed: when HMRC's answer rejected the token, back to the start with the
    // token file deleted, and what the main window must show of that. Otherwise nothing changes.
    std::optional<Result> ForgetRejectedToken();

    // Forgets the kept authorisation: the token file goes. Never fails the caller.
    static void DeleteTokenFile();

    CTransaction& Transaction() { return *m_transaction; }
    // The company-list text of the client whose obligations were asked for last.
    const std::string& SelectedCompanyText() const { return m_selectedCompanyText; }
    const std::string& PeriodStart() const { return m_periodStart; }
    const std::string& PeriodEnd() const { return m_periodEnd; }

private:
    // Where the authorisation stands.
    enum class Step {
        Start,       // nothing under way: Start Authorisation is the one step offered
        Journey,     // the sign-in address is shown and a code is awaited
        Authorised,  // a token is in use: clients and periods can be chosen
    };

    static bool CheckTokenFile(std::string& refreshToken);
    Result Renew(const std::string& refreshToken);
    Result BeginJourney();
    UserMessage TokenExchangeError() const;
    // Back to the start after a failed retrieval; the token file goes only when HMRC said the
    // token itself is bad.
    void ReturnToStart(bool tokenRejected, Result& result);
    // Aims the service object at the client of a company-list entry, with the token in use.
    void UseClient(const std::string& companyText);
    // Settles the journal's lost submissions of `vrn` (empty: every client); false when HMRC
    // rejected the token and the session went back to the start.
    bool SettleJournal(const std::string& vrn, Result& result);

    bool m_usable = false;
    std::unique_ptr<CTransaction> m_transaction;
    Step m_step = Step::Start;
    bool m_browserOpened = false;  // Copy opened this journey's address
    bool m_codeRefused = false;    // the code in the box was refused and has not been edited since
    bool m_authorisedByRefresh = false;
    std::string m_refreshedAccessToken;
    std::vector<CObligationData> m_obligations;
    int m_selectedPeriodIndex = 0;
    std::string m_selectedCompanyText;
    std::string m_periodStart, m_periodEnd, m_periodKey;
    bool m_justFiled = false;  // the list is asked for straight after a submission
};
