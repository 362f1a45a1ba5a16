#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <httplib.h>

#include "SandboxImpl.h"
#include "SandboxWire.h"

namespace calvenor::sandbox {

void SandboxServer::Impl::Validate(const httplib::Request& req, const char* endpoint,
                                   const std::string& path) {
    // The server library hands header values over percent-decoded, so their encoding is judged
    // where they are made, not here.
    EndpointValidation v{req.method, endpoint, path, IsoTime(Now(), true, "Z"),
                         ValidateFraudHeaders(HeaderLinesOf(req), HeaderValues::Decoded)};
    std::lock_guard lock(mutex);
    feedback[req.method + " " + endpoint] = std::move(v);
}

void SandboxServer::Impl::Feedback(const httplib::Request& req, httplib::Response& res) {
    const FormParams query = QueryOf(req);
    const auto method = query.find("connectionMethod");
    if (method == query.end() || method->second.front() != kDesktopAppDirect)
        return ApiError(res, 400, "INVALID_CONNECTION_METHOD",
                        "connectionMethod must be DESKTOP_APP_DIRECT: the sandbox checks the "
                        "headers of that connection method");
    std::lock_guard lock(mutex);
    if (feedback.empty())
        return ApiError(res, 404, "NO_DATA_FOUND",
                        "No requests to the VAT API have been received yet");
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    auto findings = [&w](const char* name, const char* code,
                         const std::vector<HeaderFinding>& list) {
        w.Key(name);
        w.StartArray();
        for (const auto& f : list) {
            w.StartObject();
            w.Key("code");
            w.String(code);
            w.Key("message");
            w.String(f.message.c_str());
            w.Key("headers");
            w.StartArray();
            w.String(f.header.c_str());
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
    };
    w.StartObject();
    w.Key("specVersion");
    w.String("3.3");
    w.Key("connectionMethod");
    w.String(kDesktopAppDirect);
    w.Key("requests");
    w.StartArray();
    for (const auto& [key, v] : feedback) {
        w.StartObject();
        w.Key("method");
        w.String(v.method.c_str());
        w.Key("endpoint");
        w.String(v.endpoint.c_str());
        w.Key("path");
        w.String(v.path.c_str());
        w.Key("requestTimestamp");
        w.String(v.requestTimestamp.c_str());
        w.Key("code");
        w.String(v.result.code.c_str());
        w.Key("message");
        w.String(v.result.code == "VALID_HEADERS"     ? "All headers appear to be valid"
                 : v.result.code == "INVALID_HEADERS" ? "At least 1 header is invalid"
                                                      : "At least 1 header is potentially invalid");
        findings("errors", "INVALID_HEADER", v.result.errors);
        findings("warnings", "POTENTIALLY_INVALID_HEADER", v.result.warnings);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    JsonAnswer(res, 200, buffer.GetString());
}

}  // namespace calvenor::sandbox
