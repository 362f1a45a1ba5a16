#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <httplib.h>

#include <algorithm>

#include "ReturnFigures.h"
#include "ReturnValidation.h"
#include "SandboxImpl.h"
#include "SandboxWire.h"
#include "TestScenarios.h"
#include "Text.h"

namespace calvenor::sandbox {
namespace {

constexpr const char* kVatAccept = "application/vnd.hmrc.1.0+json";

std::string ObligationsBody(const std::vector<Obligation>& list) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("obligations");
    w.StartArray();
    for (const auto& o : list) {
        w.StartObject();
        w.Key("start");
        w.String(o.start.ToString().c_str());
        w.Key("end");
        w.String(o.end.ToString().c_str());
        w.Key("due");
        w.String(o.due.ToString().c_str());
        w.Key("status");
        w.String(o.fulfilled ? "F" : "O");
        w.Key("periodKey");
        w.String(o.periodKey.c_str());
        if (o.received) {
            w.Key("received");
            w.String(o.received->ToString().c_str());
        }
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return buffer.GetString();
}

}  // namespace

// The API gateway's checks, in its order: Accept, credentials, scope. Callers hold the
// mutex. False when an error answer has been set.
bool SandboxServer::Impl::Gate(const httplib::Request& req, httplib::Response& res,
                               std::string_view scope) {
    if (Trim(req.get_header_value("Accept")) != kVatAccept) {
        ApiError(res, 406, "ACCEPT_HEADER_INVALID", "The accept header is missing or invalid");
        return false;
    }
    if (!req.has_header("Authorization")) {
        ApiError(res, 401, "MISSING_CREDENTIALS", "Authentication information is not provided");
        return false;
    }
    const std::string authorization = Trim(req.get_header_value("Authorization"));
    std::string token;
    if (authorization.size() > 7) {
        std::string scheme = authorization.substr(0, 7);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (scheme == "bearer ")
            token = Trim(authorization.substr(7));
    }
    const auto it = model.accessTokens.find(token);
    if (token.empty() || it == model.accessTokens.end() || it->second.expiresAt <= NowSeconds()) {
        ApiError(res, 401, "INVALID_CREDENTIALS", "Invalid Authentication information provided");
        return false;
    }
    if (!HasScope(it->second.scopes, scope)) {
        ApiError(res, 401, "INVALID_SCOPE",
                 "Can not access the required resource. Ensure this token has all the "
                 "required scopes.");
        return false;
    }
    return true;
}

// The client the agent acts for; null (with the answer set) when it may not.
ClientCompany* SandboxServer::Impl::ClientFor(const std::string& vrn, httplib::Response& res) {
    if (!IsNineDigits(vrn)) {
        ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
        return nullptr;
    }
    const auto it = model.clients.find(vrn);
    if (it == model.clients.end() || !it->second.authorised) {
        ApiError(res, 403, "CLIENT_OR_AGENT_NOT_AUTHORISED",
                 "The client and/or agent is not authorised");
        return nullptr;
    }
    return &it->second;
}

void SandboxServer::Impl::GetObligations(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    if (!Gate(req, res, "read:vat"))
        return;
    const std::string vrn = req.matches[1];
    if (!IsNineDigits(vrn))
        return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");

    const FormParams query = QueryOf(req);
    auto param = [&query](const char* name) -> std::optional<std::string> {
        const auto it = query.find(name);
        if (it == query.end())
            return std::nullopt;
        return it->second.front();
    };
    const auto status = param("status");
    if (status && *status != "O" && *status != "F")
        return ApiError(res, 400, "INVALID_STATUS",
                        "The provided data is failed validation, invalid status");
    const bool datesRequired = !status || *status != "O";
    const auto fromText = param("from");
    const auto toText = param("to");
    std::optional<CivilDate> from, to;
    if (fromText || datesRequired) {
        from = fromText ? CivilDate::Parse(*fromText) : std::nullopt;
        if (!from)
            return ApiError(res, 400, "INVALID_DATE_FROM", "The provided from date is invalid");
    }
    if (toText || datesRequired) {
        to = toText ? CivilDate::Parse(*toText) : std::nullopt;
        if (!to)
            return ApiError(res, 400, "INVALID_DATE_TO", "The provided to date is invalid");
    }
    if (from && to && (*to < *from || (to->ToSysDays() - from->ToSysDays()).count() > 366))
        return ApiError(res, 400, "INVALID_DATE_RANGE",
                        "Invalid date range, must be 366 days or less");

    std::vector<Obligation> source;
    const auto scenario = ObligationsScenario(Trim(req.get_header_value("Gov-Test-Scenario")));
    if (scenario) {
        if (scenario->status != 200)
            return ApiError(res, scenario->status, scenario->code, scenario->message);
        source = scenario->obligations;
    } else {
        const ClientCompany* client = ClientFor(vrn, res);
        if (!client)
            return;
        source = client->obligations;
    }
    std::vector<Obligation> list;
    for (const auto& o : source) {
        if (status && o.fulfilled != (*status == "F"))
            continue;
        if (from && o.end < *from)
            continue;
        if (to && *to < o.start)
            continue;
        list.push_back(o);
    }
    if (list.empty())
        return ApiError(res, 404, "NOT_FOUND", "The requested resource could not be found");
    std::sort(list.begin(), list.end(),
              [](const Obligation& a, const Obligation& b) { return a.start < b.start; });
    JsonAnswer(res, 200, ObligationsBody(list));
}

void SandboxServer::Impl::SubmitReturn(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    if (!Gate(req, res, "write:vat"))
        return;
    if (!IsNineDigits(req.matches[1].str()))
        return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
    if (const auto scenario = SubmitReturnScenario(Trim(req.get_header_value("Gov-Test-Scenario"))))
        return ApiError(res, scenario->status, scenario->code, scenario->message);
    ClientCompany* client = ClientFor(req.matches[1], res);
    if (!client)
        return;

    const ReturnCheck check = CheckReturnBody(req.body);
    if (check.status != 0)
        return JsonAnswer(res, check.status, check.body);

    const auto period =
        std::find_if(client->obligations.begin(), client->obligations.end(),
                     [&](const Obligation& o) { return o.periodKey == check.periodKey; });
    if (period == client->obligations.end())
        return ApiError(res, 400, "PERIOD_KEY_INVALID", "Invalid period key");
    if (period->fulfilled)
        return ApiError(res, 403, "DUPLICATE_SUBMISSION",
                        "The VAT return was already submitted for the given period");
    if (!(period->end < Today()))
        return ApiError(res, 403, "TAX_PERIOD_NOT_ENDED",
                        "The remote endpoint has indicated that the submission is for a tax "
                        "period that has not ended");

    const auto now = Now();
    FiledReturn filed;
    filed.vrn = client->vrn;
    filed.periodKey = check.periodKey;
    filed.requestBody = req.body;
    filed.processingDate = IsoTime(now, true, "+0000");
    filed.formBundleNumber = RandomDigits(12);
    filed.receiptId = RandomUuid();
    filed.correlationId = res.get_header_value("X-CorrelationId");
    filed.receiptTimestamp = IsoTime(now, false, "Z");
    const long long owed = check.pence[2] - check.pence[3];
    if (owed > 0) {
        filed.paymentIndicator = "DD";
        filed.chargeRefNumber = RandomAlphanumeric(16);
    } else if (owed < 0) {
        filed.paymentIndicator = "BANK";
    }
    filed.boxesInPence.assign(check.pence.begin(), check.pence.end());
    period->fulfilled = true;
    period->received = Today();
    client->liabilities.push_back(ChargeFor(*period, check.pence[2], check.pence[3]));
    model.filed.push_back(filed);
    SaveLocked();

    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("processingDate");
    w.String(filed.processingDate.c_str());
    if (!filed.paymentIndicator.empty()) {
        w.Key("paymentIndicator");
        w.String(filed.paymentIndicator.c_str());
    }
    w.Key("formBundleNumber");
    w.String(filed.formBundleNumber.c_str());
    if (!filed.chargeRefNumber.empty()) {
        w.Key("chargeRefNumber");
        w.String(filed.chargeRefNumber.c_str());
    }
    w.EndObject();
    JsonAnswer(res, 201, buffer.GetString());
    res.set_header("Receipt-ID", filed.receiptId);
    res.set_header("Receipt-Timestamp", filed.receiptTimestamp);
    res.set_header("Receipt-Signature", RandomBase64(256));
}

void SandboxServer::Impl::ViewReturn(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    if (!Gate(req, res, "read:vat"))
        return;
    const std::string vrn = req.matches[1];
    const std::string periodKey = req.matches[2];
    if (!IsNineDigits(vrn))
        return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
    if (periodKey.size() != 4 || !std::all_of(periodKey.begin(), periodKey.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '#';
        }))
        return ApiError(res, 400, "PERIOD_KEY_INVALID", "Invalid period key");
    if (const auto scenario = ViewReturnScenario(Trim(req.get_header_value("Gov-Test-Scenario"))))
        return ApiError(res, scenario->status, scenario->code, scenario->message);
    if (!ClientFor(vrn, res))
        return;
    const auto filed = std::find_if(
        model.filed.rbegin(), model.filed.rend(),
        [&](const FiledReturn& f) { return f.vrn == vrn && f.periodKey == periodKey; });
    if (filed == model.filed.rend() || filed->boxesInPence.size() != 9)
        return ApiError(res, 404, "NOT_FOUND", "The requested resource could not be found");
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("periodKey");
    w.String(periodKey.c_str());
    for (std::size_t box = 0; box < kHmrcBoxNames.size(); ++box) {
        w.Key(kHmrcBoxNames[box]);
        const std::string number = PenceText(filed->boxesInPence[box], box >= 5);
        w.RawValue(number.c_str(), number.size(), rapidjson::kNumberType);
    }
    w.EndObject();
    JsonAnswer(res, 200, buffer.GetString());
}

}  // namespace calvenor::sandbox
