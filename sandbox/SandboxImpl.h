#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "RecordingServer.h"
#include "SandboxModel.h"
#include "SandboxServer.h"

// The sandbox's state and routes, shared by its parts: OAuth (OAuthRoutes.cpp), the VAT API
// (VatRoutes.cpp), the account (AccountRoutes.cpp), faults and the route wrapper
// (SandboxFaults.cpp), fraud-prevention feedback (FraudFeedback.cpp), saved state, time and
// randomness (SandboxState.cpp), and the wiring and public API (SandboxServer.cpp).
namespace calvenor::sandbox {

inline constexpr const char* kOob = "urn:ietf:wg:oauth:2.0:oob";

struct SandboxServer::Impl {
    explicit Impl(SandboxOptions o);

    SandboxOptions options;
    mutable std::mutex mutex;  // guards every member below but `http`
    SandboxModel model;
    std::mt19937_64 random;
    std::map<std::string, std::deque<Fault>> faults;     // by path
    std::map<std::string, EndpointValidation> feedback;  // by method and endpoint
    bool stateReady = false;  // the state file was loaded or created: saving may replace it
    bool stopping = false;    // wakes stalled answers
    std::condition_variable stopSignal;

    std::unique_ptr<CRecordingServer> http;
    int port = 0;
    std::string lastError;

    // ---- time, randomness, saved state (SandboxState.cpp); callers of *Locked hold the mutex
    std::chrono::system_clock::time_point Now() const { return options.clock(); }
    long long NowSeconds() const;
    CivilDate Today() const;
    std::string RandomHex(std::size_t length);
    std::string RandomDigits(std::size_t length);
    std::string RandomUuid();
    std::string RandomBase64(std::size_t bytes);
    std::string RandomAlphanumeric(std::size_t length);
    bool SaveLocked();
    bool LoadOrCreateState();

    // ---- OAuth (OAuthRoutes.cpp)
    void Authorize(const httplib::Request& req, httplib::Response& res);
    void SignInPage(const httplib::Request& req, httplib::Response& res);
    void Grant(const httplib::Request& req, httplib::Response& res);
    void Token(const httplib::Request& req, httplib::Response& res);
    const PendingAuthorisation* FindPending(const std::string& authId);
    void PruneExpiredLocked();
    std::string IssueCodeLocked(const std::string& clientId, const std::string& scopes,
                                const std::string& redirectUri);
    void IssueTokensLocked(httplib::Response& res, const std::string& clientId,
                           const std::string& scopes);

    // ---- VAT API (VatRoutes.cpp)
    bool Gate(const httplib::Request& req, httplib::Response& res, std::string_view scope);
    ClientCompany* ClientFor(const std::string& vrn, httplib::Response& res);
    void GetObligations(const httplib::Request& req, httplib::Response& res);
    void SubmitReturn(const httplib::Request& req, httplib::Response& res);
    void ViewReturn(const httplib::Request& req, httplib::Response& res);

    // ---- the client's account (AccountRoutes.cpp)
    void GetLiabilities(const httplib::Request& req, httplib::Response& res);
    void GetPayments(const httplib::Request& req, httplib::Response& res);
    // Both, as one: `liabilities` picks the list.
    void AnswerAccount(const httplib::Request& req, httplib::Response& res, bool liabilities);

    // ---- fraud-prevention feedback (FraudFeedback.cpp)
    void Validate(const httplib::Request& req, const char* endpoint, const std::string& path);
    void Feedback(const httplib::Request& req, httplib::Response& res);

    // ---- faults and the route wrapper (SandboxFaults.cpp)
    using Route = void (Impl::*)(const httplib::Request&, httplib::Response&);
    // Every route goes through here: faults are met, VAT API requests get their fraud-prevention
    // headers checked and their answers a correlation id.
    CRecordingServer::Handler Serve(Route route, const char* vatEndpoint = nullptr);
    std::optional<Fault> TakeFault(const std::string& path);
    bool AnswerInstead(const Fault& fault, httplib::Response& res);
    void ArmFaultRequest(const httplib::Request& req, httplib::Response& res);
    void ClearFaultsRequest(const httplib::Request& req, httplib::Response& res);

    // ---- wiring (SandboxServer.cpp)
    std::string BaseUrlText() const { return "http://127.0.0.1:" + std::to_string(port); }
    void Index(const httplib::Request& req, httplib::Response& res);
    void Configure(CRecordingServer& server);
};

// The sandbox's own control endpoints, never recorded and never faulted.
inline bool IsControlPath(std::string_view path) {
    return path.starts_with("/_sandbox/") || path.starts_with("/test/");
}

}  // namespace calvenor::sandbox
