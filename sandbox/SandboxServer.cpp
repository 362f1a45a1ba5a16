#include "SandboxServer.h"

#include <httplib.h>

#include <algorithm>
#include <iterator>

#include "SandboxImpl.h"
#include "SandboxWire.h"
#include "Text.h"

namespace calvenor::sandbox {
namespace {

constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
// No client of HMRC's API needs a larger request head.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

}  // namespace

void SandboxServer::Impl::Index(const httplib::Request&, httplib::Response& res) {
    HtmlAnswer(res, 200, "calvenor-sandbox",
               "<h1>calvenor-sandbox</h1>\n<p>A local stand-in for HMRC's OAuth and VAT (MTD) "
               "endpoints. Point Calvenor's profile at <code>" +
                   BaseUrlText() + "</code>.</p>");
}

void SandboxServer::Impl::Configure(CRecordingServer& recorder) {
    httplib::Server& server = recorder.Http();
    // Enough for a whole filing on one connection, idle long enough for a user to type.
    server.set_keep_alive_max_count(100);
    server.set_keep_alive_timeout(60);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_payload_max_length(kMaxBodyBytes);

    server.Get("/", Serve(&Impl::Index));
    server.Get("/oauth/authorize", Serve(&Impl::Authorize));
    server.Get("/oauth/start", Serve(&Impl::SignInPage));
    server.Post("/oauth/grant", Serve(&Impl::Grant));
    server.Post("/oauth/token", Serve(&Impl::Token));
    server.Get(R"(/organisations/vat/([^/]*)/obligations)",
               Serve(&Impl::GetObligations, "/organisations/vat/{vrn}/obligations"));
    server.Post(R"(/organisations/vat/([^/]*)/returns)",
                Serve(&Impl::SubmitReturn, "/organisations/vat/{vrn}/returns"));
    server.Get(R"(/organisations/vat/([^/]*)/returns/([^/]*))",
               Serve(&Impl::ViewReturn, "/organisations/vat/{vrn}/returns/{periodKey}"));
    server.Get(R"(/organisations/vat/([^/]*)/liabilities)",
               Serve(&Impl::GetLiabilities, "/organisations/vat/{vrn}/liabilities"));
    server.Get(R"(/organisations/vat/([^/]*)/payments)",
               Serve(&Impl::GetPayments, "/organisations/vat/{vrn}/payments"));
    server.Get("/test/fraud-prevention-headers/vat-mtd/validation-feedback",
               Serve(&Impl::Feedback));
    server.Post("/_sandbox/faults", Serve(&Impl::ArmFaultRequest));
    server.Delete("/_sandbox/faults", Serve(&Impl::ClearFaultsRequest));

    // Answers the routes did not make (unknown paths, unreadable requests) get HMRC-style
    // bodies.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            // A route's own answer (a body, or one streamed through a provider) stays.
            if (!res.body.empty() || res.has_header("Content-Type"))
                return httplib::Server::HandlerResponse::Unhandled;
            switch (res.status) {
                case 404:
                    ApiError(res, 404, "MATCHING_RESOURCE_NOT_FOUND",
                             "A resource with the name in the request can not be found in the API");
                    break;
                case 413:
                    ApiError(res, 413, "REQUEST_ENTITY_TOO_LARGE", "The request body is too large");
                    break;
                case 414:
                    ApiError(res, 414, "URI_TOO_LONG", "The request URI is too long");
                    break;
                default:
                    ApiError(res, res.status, res.status == 400 ? "INVALID_REQUEST" : "ERROR",
                             res.status == 400 ? "Invalid request" : "The request failed");
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    // A body announced larger than any request needs is refused before it is read, and the
    // connection closed, rather than read and thrown away.
    // A head or a body larger than any request needs is refused, and the connection closed
    // rather than the body read and thrown away.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        std::size_t headBytes = req.target.size();
        for (const auto& line : HeaderLinesOf(req))
            headBytes += line.size() + 2;
        const std::string length = Trim(req.get_header_value("Content-Length"));
        const bool digits =
            !length.empty() && length.size() <= 18 &&
            std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (headBytes > kMaxHeadBytes || (!digits && req.has_header("Content-Length")))
            ApiError(res, 400, "INVALID_REQUEST", "Invalid request");
        else if (digits && std::stoull(length) > kMaxBodyBytes)
            ApiError(res, 413, "REQUEST_ENTITY_TOO_LARGE", "The request body is too large");
        else
            return httplib::Server::HandlerResponse::Unhandled;
        CRecordingServer::CloseAfterAnswer(res);
        return httplib::Server::HandlerResponse::Handled;
    });
    recorder.SetBeforeAnswer([this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Date", HttpDate(std::chrono::system_clock::to_time_t(Now())));
    });
    recorder.SetRecordFilter([](std::string_view path) { return !IsControlPath(path); });
}

SandboxServer::SandboxServer(SandboxOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

SandboxServer::~SandboxServer() {
    Stop();
}

bool SandboxServer::Start(int port) {
    Impl& d = *m_impl;
    if (d.http && d.http->IsRunning()) {
        d.lastError = "The sandbox is already running.";
        return false;
    }
    d.lastError.clear();
    if (!d.options.stateFile.empty() && !d.LoadOrCreateState())
        return false;
    auto server = std::make_unique<CRecordingServer>();
    d.Configure(*server);
    if (!server->Start(port)) {
        d.lastError = port == 0 ? "No free port could be opened on 127.0.0.1."
                                : "Port " + std::to_string(port) +
                                      " on 127.0.0.1 cannot be used (is another sandbox running?).";
        return false;
    }
    {
        std::lock_guard lock(d.mutex);
        d.stopping = false;
        d.port = server->Port();
    }
    d.http = std::move(server);
    return true;
}

void SandboxServer::Stop() {
    Impl& d = *m_impl;
    if (!d.http || !d.http->IsRunning())
        return;
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
    }
    d.stopSignal.notify_all();
    d.http->Stop();
}

bool SandboxServer::IsRunning() const {
    return m_impl->http && m_impl->http->IsRunning();
}
const std::string& SandboxServer::LastError() const {
    return m_impl->lastError;
}
int SandboxServer::Port() const {
    return m_impl->port;
}
std::string SandboxServer::BaseUrl() const {
    return m_impl->BaseUrlText();
}

std::vector<ReceivedRequest> SandboxServer::Received() const {
    return m_impl->http ? m_impl->http->Received() : std::vector<ReceivedRequest>{};
}

void SandboxServer::ClearReceived() {
    if (m_impl->http)
        m_impl->http->ClearReceived();
}

int SandboxServer::ConnectionCount() const {
    return m_impl->http ? m_impl->http->ConnectionCount() : 0;
}

std::string SandboxServer::GrantCode(std::string_view clientId, std::string_view scopes) {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->IssueCodeLocked(std::string(clientId), std::string(scopes), kOob);
}

void SandboxServer::AddApplication(std::string_view clientId, std::string_view clientSecret,
                                   std::string_view name) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.applications[std::string(clientId)] = {
        std::string(clientId), std::string(clientSecret), std::string(name)};
    m_impl->SaveLocked();
}

void SandboxServer::AddClient(std::string_view vrn, std::string_view companyName,
                              Frequency frequency) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.AddSeededClient(vrn, companyName, frequency, m_impl->Today());
    m_impl->SaveLocked();
}

void SandboxServer::SetObligations(std::string_view vrn, std::vector<Obligation> obligations) {
    std::lock_guard lock(m_impl->mutex);
    ClientCompany& client = m_impl->model.clients[std::string(vrn)];
    if (client.vrn.empty()) {
        client.vrn = vrn;
        client.companyName = "Client " + std::string(vrn);
    }
    std::sort(obligations.begin(), obligations.end(),
              [](const Obligation& a, const Obligation& b) { return a.start < b.start; });
    client.obligations = std::move(obligations);
    // The account belonged to the periods replaced.
    client.liabilities.clear();
    client.payments.clear();
    std::erase_if(m_impl->model.filed,
                  [&](const FiledReturn& f) { return f.seeded && f.vrn == client.vrn; });
    m_impl->SaveLocked();
}

bool SandboxServer::RecordPayment(std::string_view vrn, std::string_view periodKey,
                                  std::int64_t pence, const CivilDate& received) {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    if (it == m_impl->model.clients.end() ||
        !AllocatePayment(it->second, std::string(periodKey), pence, received))
        return false;
    m_impl->SaveLocked();
    return true;
}

std::vector<Obligation> SandboxServer::Obligations(std::string_view vrn) const {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    return it == m_impl->model.clients.end() ? std::vector<Obligation>{} : it->second.obligations;
}

void SandboxServer::SetClientAuthorised(std::string_view vrn, bool authorised) {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    if (it == m_impl->model.clients.end())
        return;
    it->second.authorised = authorised;
    m_impl->SaveLocked();
}

void SandboxServer::ClearOpenObligations(std::string_view vrn) {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->model.clients.find(std::string(vrn));
    if (it == m_impl->model.clients.end())
        return;
    std::erase_if(it->second.obligations, [](const Obligation& o) { return !o.fulfilled; });
    m_impl->SaveLocked();
}

void SandboxServer::ExpireAccessTokens() {
    std::lock_guard lock(m_impl->mutex);
    for (auto& [token, issued] : m_impl->model.accessTokens)
        issued.expiresAt = 0;
    m_impl->SaveLocked();
}

void SandboxServer::RevokeAllTokens() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.accessTokens.clear();
    m_impl->model.refreshTokens.clear();
    m_impl->SaveLocked();
}

void SandboxServer::ExpireAuthorisationCodes() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model.codes.clear();
}

void SandboxServer::ArmFault(std::string path, Fault fault) {
    if (fault.times < 1)
        return;
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[std::move(path)].push_back(std::move(fault));
}

void SandboxServer::ClearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::vector<EndpointValidation> SandboxServer::FraudFeedback() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<EndpointValidation> list;
    for (const auto& [key, v] : m_impl->feedback)
        list.push_back(v);
    return list;
}

std::vector<SandboxServer::ClientSummary> SandboxServer::Clients() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<ClientSummary> list;
    for (const auto& [vrn, client] : m_impl->model.clients)
        list.push_back({client.vrn, client.companyName, client.authorised});
    return list;
}

std::vector<FiledReturn> SandboxServer::FiledReturns() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<FiledReturn> list;
    std::copy_if(m_impl->model.filed.begin(), m_impl->model.filed.end(), std::back_inserter(list),
                 [](const FiledReturn& f) { return !f.seeded; });
    return list;
}

}  // namespace calvenor::sandbox
