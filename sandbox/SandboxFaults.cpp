#include <rapidjson/document.h>

#include <httplib.h>

#include <algorithm>

#include "SandboxImpl.h"
#include "SandboxWire.h"
#include "Text.h"

namespace calvenor::sandbox {

std::optional<Fault> SandboxServer::Impl::TakeFault(const std::string& path) {
    std::lock_guard lock(mutex);
    for (const std::string& key : {path, std::string("*")}) {
        auto it = faults.find(key);
        if (it == faults.end() || it->second.empty())
            continue;
        Fault fault = it->second.front();
        if (--it->second.front().times <= 0)
            it->second.pop_front();
        if (it->second.empty())
            faults.erase(it);
        return fault;
    }
    return std::nullopt;
}

// Answers in place of the route; false when the route should still run.
bool SandboxServer::Impl::AnswerInstead(const Fault& fault, httplib::Response& res) {
    switch (fault.kind) {
        case Fault::Kind::Respond: {
            std::string type = fault.body.empty() || fault.body[0] == '{' || fault.body[0] == '['
                                   ? "application/json"
                                   : "text/plain";
            for (const auto& [name, value] : fault.headers)
                if (AsciiLower(name) == "content-type")
                    type = value;
            res.status = fault.status;
            res.set_content(fault.body, type);
            for (const auto& [name, value] : fault.headers)
                if (AsciiLower(name) != "content-type")
                    res.set_header(name, value);
            return true;
        }
        case Fault::Kind::DropBeforeHandling:
            CRecordingServer::DropAnswer();
            return true;
        case Fault::Kind::Throttle:
            ApiError(res, 429, "MESSAGE_THROTTLED_OUT",
                     "The request for the API is throttled as you have exceeded your quota.");
            return true;
        case Fault::Kind::OversizedBody: {
            res.status = fault.status;
            const std::size_t size = fault.bodyBytes;
            res.set_content_provider(
                size, "application/json",
                [size](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    static const std::string filler(64 * 1024, ' ');
                    std::string chunk = filler.substr(0, std::min(length, filler.size()));
                    // A JSON object whose padding never ends before the size does.
                    if (offset == 0 && !chunk.empty())
                        chunk[0] = '{';
                    if (offset + chunk.size() == size && !chunk.empty())
                        chunk.back() = '}';
                    return sink.write(chunk.data(), chunk.size());
                });
            return true;
        }
        case Fault::Kind::Stall: {
            std::unique_lock lock(mutex);
            if (stopSignal.wait_for(lock, fault.delay, [this] { return stopping; })) {
                CRecordingServer::DropAnswer();
                return true;
            }
            return false;
        }
        default:
            return false;
    }
}

CRecordingServer::Handler SandboxServer::Impl::Serve(Route route, const char* vatEndpoint) {
    return [this, route, vatEndpoint](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.target.substr(0, req.target.find('?'));
        if (vatEndpoint) {
            Validate(req, vatEndpoint, path);
            std::string id;
            {
                std::lock_guard lock(mutex);
                id = RandomUuid();
            }
            res.set_header("X-CorrelationId", id);
        }
        const std::optional<Fault> fault = IsControlPath(path) ? std::nullopt : TakeFault(path);
        if (fault && AnswerInstead(*fault, res))
            return;
        (this->*route)(req, res);
        if (!fault)
            return;
        if (fault->kind == Fault::Kind::DropAfterHeaders)
            CRecordingServer::CutAnswer(res, 0);
        if (fault->kind == Fault::Kind::DropMidBody)
            CRecordingServer::CutAnswer(res, res.body.size() / 2);
        if (fault->kind == Fault::Kind::DropWithoutAnswer)
            CRecordingServer::DropAnswer();
    };
}

// POST /_sandbox/faults
// {"path","kind","status","headers":{…},"body","delay_ms","body_bytes","times"}
void SandboxServer::Impl::ArmFaultRequest(const httplib::Request& req, httplib::Response& res) {
    if (req.remote_addr != "127.0.0.1")
        return ApiError(res, 403, "FORBIDDEN", "Faults are armed from this machine only");
    rapidjson::Document doc;
    doc.Parse(req.body.c_str(), req.body.size());
    if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("path") ||
        !doc["path"].IsString() || !doc.HasMember("kind") || !doc["kind"].IsString())
        return ApiError(res, 400, "INVALID_REQUEST",
                        "Send a JSON object with at least path and kind");
    static const std::map<std::string, Fault::Kind> kinds = {
        {"respond", Fault::Kind::Respond},
        {"stall", Fault::Kind::Stall},
        {"drop-after-headers", Fault::Kind::DropAfterHeaders},
        {"drop-mid-body", Fault::Kind::DropMidBody},
        {"drop-without-answer", Fault::Kind::DropWithoutAnswer},
        {"oversized-body", Fault::Kind::OversizedBody},
        {"throttle", Fault::Kind::Throttle},
        {"drop-before-handling", Fault::Kind::DropBeforeHandling},
    };
    const auto kind = kinds.find(doc["kind"].GetString());
    if (kind == kinds.end())
        return ApiError(res, 400, "INVALID_REQUEST",
                        "kind must be respond, stall, drop-after-headers, drop-mid-body, "
                        "drop-without-answer, oversized-body, throttle or drop-before-handling");
    Fault fault;
    fault.kind = kind->second;
    auto integer = [&doc](const char* name, long long fallback, long long low, long long high) {
        if (!doc.HasMember(name) || !doc[name].IsInt64())
            return fallback;
        return std::clamp<long long>(doc[name].GetInt64(), low, high);
    };
    fault.status = static_cast<int>(
        integer("status", fault.kind == Fault::Kind::OversizedBody ? 200 : 500, 100, 599));
    fault.delay = std::chrono::milliseconds(integer("delay_ms", 0, 0, 600000));
    fault.bodyBytes = static_cast<std::size_t>(integer("body_bytes", 16 << 20, 0, 1LL << 32));
    fault.times = static_cast<int>(integer("times", 1, 1, 1000000));
    if (doc.HasMember("body") && doc["body"].IsString())
        fault.body = doc["body"].GetString();
    if (doc.HasMember("headers") && doc["headers"].IsObject())
        for (const auto& m : doc["headers"].GetObject())
            if (m.value.IsString())
                fault.headers.emplace_back(m.name.GetString(), m.value.GetString());
    {
        std::lock_guard lock(mutex);
        faults[doc["path"].GetString()].push_back(fault);
    }
    res.status = 204;
}

void SandboxServer::Impl::ClearFaultsRequest(const httplib::Request&, httplib::Response& res) {
    std::lock_guard lock(mutex);
    faults.clear();
    res.status = 204;
}

}  // namespace calvenor::sandbox
