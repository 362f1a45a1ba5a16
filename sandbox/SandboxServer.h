#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FraudHeaderValidator.h"
#include "RecordingServer.h"
#include "SandboxTypes.h"

// A local stand-in for HMRC's OAuth and MTD VAT endpoints, served over HTTP on 127.0.0.1. The
// `calvenor-sandbox` program runs one; tests start their own on a free port and read back
// exactly what the filer sent.
namespace calvenor::sandbox {

// The demo application's credentials (also in demo/profile.json).
inline constexpr std::string_view kDemoClientId = "calvenor-demo-client";
inline constexpr std::string_view kDemoClientSecret = "calvenor-demo-secret";
inline constexpr std::string_view kDemoApplicationName = "Calvenor (demo)";

// The seeded client companies. Every one except the last two has an open period that has ended
// (it can be filed) and one that has not.
struct DemoClient {
    std::string_view vrn;
    std::string_view companyName;
};
inline constexpr DemoClient kQuarterlyClient{"100000001", "Ashcombe Joinery Ltd"};
inline constexpr DemoClient kMonthlyClient{"100000002", "Brightwater Bakery Ltd"};
// Quarterly with two ended open periods (one overdue) and period keys that start with '#'.
inline constexpr DemoClient kHashKeyClient{"100000003", "Cobalt Marine Services Ltd"};
// Every period filed: no open obligation (status=O answers 404 NOT_FOUND).
inline constexpr DemoClient kNoOpenPeriodsClient{"100000004", "Dunmore Estates Ltd"};
// Has periods, but has not authorised the agent: 403 CLIENT_OR_AGENT_NOT_AUTHORISED.
inline constexpr DemoClient kNotAuthorisedClient{"100000005", "Elmstead Trading Ltd"};
inline constexpr DemoClient kDemoClients[] = {kQuarterlyClient, kMonthlyClient, kHashKeyClient,
                                              kNoOpenPeriodsClient, kNotAuthorisedClient};

inline constexpr int kDefaultPort = 8787;
inline constexpr int kAccessTokenLifetimeSeconds = 4 * 60 * 60;
inline constexpr int kAuthorisationCodeLifetimeSeconds = 10 * 60;

struct SandboxOptions {
    // The date obligations are seeded around and "has the period ended" is judged by. Unset: the
    // clock's UTC date.
    std::optional<CivilDate> today;
    // Seeds the demo application and the demo clients above.
    bool seedDemoData = true;
    // Token and code expiry read this clock. Unset: the system clock.
    std::function<std::chrono::system_clock::time_point()> clock;
    // When set, applications, clients, obligations, tokens and filed returns are loaded from this
    // file at Start (seeded and written when it does not exist yet) and written back atomically
    // after every change. A file that cannot be read or understood makes Start fail; it is never
    // overwritten.
    std::filesystem::path stateFile;
};

// A failure the next request(s) to a path meet, for reliability tests (armed through ArmFault or
// POST /_sandbox/faults).
struct Fault {
    enum class Kind {
        Respond,             // answer `status`, `headers` and `body` instead of the real answer
        Stall,               // wait `delay`, then handle the request as usual
        DropAfterHeaders,    // handle it, send the status line and headers, then close
        DropMidBody,         // handle it, send the headers and half the body, then close
        DropWithoutAnswer,   // handle it, then close without sending anything
        OversizedBody,       // answer `status` with a body of `bodyBytes` bytes
        Throttle,            // 429 MESSAGE_THROTTLED_OUT, as HMRC's rate limit answers
        DropBeforeHandling,  // close without handling it: a submission is not recorded
    };
    Kind kind = Kind::Respond;
    int status = 500;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::chrono::milliseconds delay{0};
    std::size_t bodyBytes = 16 * 1024 * 1024;
    int times = 1;  // how many requests it applies to
};

// The fraud-prevention header check of the last request to one VAT endpoint.
struct EndpointValidation {
    std::string method;    // "GET"
    std::string endpoint;  // "/organisations/vat/{vrn}/obligations"
    std::string path;      // the path as requested
    std::string requestTimestamp;
    FraudValidation result;
};

class SandboxServer {
public:
    explicit SandboxServer(SandboxOptions options = {});
    ~SandboxServer();  // stops the server
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;

    // Serves on 127.0.0.1:`port` (0: a free port) on a thread of its own. False, with the reason
    // in LastError(), when the port is taken or the state file cannot be used.
    bool Start(int port = 0);
    void Stop();
    bool IsRunning() const;
    const std::string& LastError() const;

    int Port() const;
    std::string BaseUrl() const;  // "http://127.0.0.1:PORT"

    // Requests received since the start or the last ClearReceived (the sandbox's own control
    // endpoints under /_sandbox/ and /test/ are not recorded), as the server library parsed them.
    std::vector<ReceivedRequest> Received() const;
    void ClearReceived();
    // Connections that carried a request since Start.
    int ConnectionCount() const;

    // --- Test and training helpers (safe to call while serving) ---

    // A fresh authorisation code for the application, as if the user had pressed "Grant
    // authority" on the sign-in page.
    std::string GrantCode(std::string_view clientId = kDemoClientId,
                          std::string_view scopes = "read:vat write:vat");
    // Adds (or replaces) an application that may use the OAuth endpoints.
    void AddApplication(std::string_view clientId, std::string_view clientSecret,
                        std::string_view name);
    // Adds (or replaces) a client company with periods seeded around today like the demo ones.
    void AddClient(std::string_view vrn, std::string_view companyName,
                   Frequency frequency = Frequency::Quarterly);
    // Replaces a client's obligations (the client is added when unknown).
    void SetObligations(std::string_view vrn, std::vector<Obligation> obligations);
    std::vector<Obligation> Obligations(std::string_view vrn) const;
    // false: the agent may no longer act for the client (403 CLIENT_OR_AGENT_NOT_AUTHORISED).
    void SetClientAuthorised(std::string_view vrn, bool authorised);
    // Removes the client's open obligations (status=O then answers 404 NOT_FOUND).
    void ClearOpenObligations(std::string_view vrn);
    // Every access token issued so far stops working (401 INVALID_CREDENTIALS); refresh tokens
    // still work.
    void ExpireAccessTokens();
    // Every access and refresh token stops working (refresh: 400 invalid_grant).
    void RevokeAllTokens();
    // Every authorisation code issued so far stops working (400 invalid_grant).
    void ExpireAuthorisationCodes();
    // The next `fault.times` requests whose path (without query) is `path` ("*": any path) meet
    // the fault. Faults for one path are met in the order armed.
    void ArmFault(std::string path, Fault fault);
    void ClearFaults();

    // The fraud-prevention header check of the last request to each VAT endpoint, as served at
    // GET
    // /test/fraud-prevention-headers/vat-mtd/validation-feedback?connectionMethod=DESKTOP_APP_DIRECT
    std::vector<EndpointValidation> FraudFeedback() const;

    // Returns accepted so far, oldest first.
    std::vector<FiledReturn> FiledReturns() const;

    struct ClientSummary {
        std::string vrn;
        std::string companyName;
        bool authorised = true;
    };
    std::vector<ClientSummary> Clients() const;  // by VAT registration number

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace calvenor::sandbox
