#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <httplib.h>

#include <algorithm>

#include "SandboxImpl.h"
#include "SandboxWire.h"
#include "TestScenarios.h"
#include "Text.h"

// The client's VAT account: the liabilities its returns raised and the payments made towards
// them, each asked for between two dates.
namespace calvenor::sandbox {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

// Amounts go out as the digits of the pence, never through a double.
void Amount(Writer& w, const char* key, std::int64_t pence) {
    w.Key(key);
    const std::string number = PenceText(pence, false);
    w.RawValue(number.c_str(), number.size(), rapidjson::kNumberType);
}

void Date(Writer& w, const char* key, const CivilDate& date) {
    w.Key(key);
    w.String(date.ToString().c_str());
}

std::string LiabilitiesBody(const std::vector<Liability>& list) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("liabilities");
    w.StartArray();
    for (const auto& l : list) {
        w.StartObject();
        w.Key("taxPeriod");
        w.StartObject();
        Date(w, "from", l.from);
        Date(w, "to", l.to);
        w.EndObject();
        w.Key("type");
        w.String(l.type.c_str());
        Amount(w, "originalAmount", l.originalPence);
        Amount(w, "outstandingAmount", l.outstandingPence);
        Date(w, "due", l.due);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return buffer.GetString();
}

std::string PaymentsBody(const std::vector<Payment>& list) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("payments");
    w.StartArray();
    for (const auto& p : list) {
        w.StartObject();
        Amount(w, "amount", p.amountPence);
        Date(w, "received", p.received);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return buffer.GetString();
}

}  // namespace

// Both endpoints check alike and answer the entries whose date (a liability's period end, a
// payment's receipt) lies within from..to, both required, at most 365 days apart and `to` no
// later than today.
void SandboxServer::Impl::AnswerAccount(const httplib::Request& req, httplib::Response& res,
                                        bool liabilities) {
    std::lock_guard lock(mutex);
    if (!Gate(req, res, "read:vat"))
        return;
    const std::string vrn = req.matches[1];
    if (!IsNineDigits(vrn))
        return ApiError(res, 400, "VRN_INVALID", "The provided VRN is invalid");
    const FormParams query = QueryOf(req);
    auto date = [&query](const char* name) -> std::optional<CivilDate> {
        const auto it = query.find(name);
        if (it == query.end() || it->second.size() != 1)
            return std::nullopt;
        return CivilDate::Parse(it->second.front());
    };
    const auto from = date("from");
    if (!from)
        return ApiError(res, 400, "DATE_FROM_INVALID", "The provided from date is invalid");
    const auto to = date("to");
    if (!to || Today() < *to)
        return ApiError(res, 400, "DATE_TO_INVALID", "The provided to date is invalid");
    if (*to < *from || (to->ToSysDays() - from->ToSysDays()).count() > 365)
        return ApiError(res, 400, "DATE_RANGE_INVALID",
                        "Invalid date range, must be 365 days or less");

    const std::string name = Trim(req.get_header_value("Gov-Test-Scenario"));
    const auto scenario = liabilities ? LiabilitiesScenario(name) : PaymentsScenario(name);
    AccountScenarioAnswer source;
    if (scenario) {
        if (scenario->status != 200)
            return ApiError(res, scenario->status, scenario->code, scenario->message);
        source = *scenario;
    } else {
        const ClientCompany* client = ClientFor(vrn, res);
        if (!client)
            return;
        source.liabilities = client->liabilities;
        source.payments = client->payments;
    }
    const auto outside = [&](const CivilDate& d) { return d < *from || *to < d; };
    std::erase_if(source.liabilities, [&](const Liability& l) { return outside(l.to); });
    std::erase_if(source.payments, [&](const Payment& p) { return outside(p.received); });
    if (liabilities ? source.liabilities.empty() : source.payments.empty())
        return ApiError(res, 404, "NOT_FOUND", "The requested resource could not be found");
    JsonAnswer(res, 200,
               liabilities ? LiabilitiesBody(source.liabilities) : PaymentsBody(source.payments));
}

void SandboxServer::Impl::GetLiabilities(const httplib::Request& req, httplib::Response& res) {
    AnswerAccount(req, res, true);
}

void SandboxServer::Impl::GetPayments(const httplib::Request& req, httplib::Response& res) {
    AnswerAccount(req, res, false);
}

}  // namespace calvenor::sandbox
