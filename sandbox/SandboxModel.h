#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "SandboxTypes.h"

// What the sandbox knows: registered applications, client companies with their obligations,
// issued codes and tokens, and filed returns. Plain data; the server serialises access to it.
namespace calvenor::sandbox {

struct Application {
    std::string clientId;
    std::string clientSecret;
    std::string name;
};

struct ClientCompany {
    std::string vrn;
    std::string companyName;
    bool authorised = true;               // the agent may act for this client
    std::vector<Obligation> obligations;  // sorted by start
    std::vector<Liability> liabilities;   // in the order raised
    std::vector<Payment> payments;        // in the order received
};

struct IssuedToken {
    std::string clientId;
    std::string scopes;       // space-separated
    long long expiresAt = 0;  // seconds since the epoch
    std::string accessToken;  // refresh tokens: the access token issued with it
};

struct AuthorisationCode {
    std::string clientId;
    std::string scopes;
    std::string redirectUri;
    long long expiresAt = 0;
};

// An authorisation request waiting on the sign-in page for the user's grant.
struct PendingAuthorisation {
    std::string clientId;
    std::string scopes;
    std::string redirectUri;
    std::string state;
    long long expiresAt = 0;
};

enum class PeriodKeyStyle { Quarterly, Monthly, Hash };

// Periods of `lengthMonths`, one of which ends in month `stagger` (1-12: 3 gives calendar
// quarters, 1 quarters ending Jan/Apr/Jul/Oct), numbered relative to the period containing
// `today` (0; -1 is the one before).
struct PeriodPlan {
    int lengthMonths = 3;
    int stagger = 3;
    PeriodKeyStyle keyStyle = PeriodKeyStyle::Quarterly;
    int firstIndex = -3;
    int lastIndex = 0;
    int fulfilledThrough = -2;  // periods up to this index are filed
};

// HMRC's due date: one month and seven days after the period's end.
CivilDate DueDateFor(const CivilDate& end);
std::vector<Obligation> SeedPeriods(const CivilDate& today, const PeriodPlan& plan);
// The charge a return for `period` raises: a debit of box 5 when VAT is owed (box 3 at least
// box 4), otherwise a credit of minus box 5; nothing paid yet.
Liability ChargeFor(const Obligation& period, std::int64_t totalVatDue, std::int64_t reclaimed);
// Allocates a payment to the client's liability for `periodKey`; false when it has none.
bool AllocatePayment(ClientCompany& client, const std::string& periodKey, std::int64_t pence,
                     const CivilDate& received);

struct SandboxModel {
    std::map<std::string, Application> applications;
    std::map<std::string, ClientCompany> clients;
    std::map<std::string, IssuedToken> accessTokens;
    std::map<std::string, IssuedToken> refreshTokens;
    std::map<std::string, AuthorisationCode> codes;
    std::map<std::string, PendingAuthorisation> pending;
    std::vector<FiledReturn> filed;

    void SeedDemo(const CivilDate& today);
    void AddSeededClient(std::string_view vrn, std::string_view companyName, Frequency frequency,
                         const CivilDate& today);

    // Applications, clients, tokens and filed returns (codes and pending sign-ins are
    // short-lived and not kept).
    std::string ToJson() const;
    // False, with the reason, when `text` is not a state file this program wrote.
    static bool FromJson(std::string_view text, SandboxModel& model, std::string& error);
};

}  // namespace calvenor::sandbox
