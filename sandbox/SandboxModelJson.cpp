#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>

#include "SandboxModel.h"

// The state file: what SandboxModel keeps across runs, as JSON.
namespace calvenor::sandbox {

namespace {

constexpr const char* kFormat = "calvenor-sandbox-state";
constexpr int kVersion = 1;

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void Put(Writer& w, const char* key, const std::string& value) {
    w.Key(key);
    w.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
}
void Put(Writer& w, const char* key, long long value) {
    w.Key(key);
    w.Int64(value);
}

void WriteToken(Writer& w, const std::string& token, const IssuedToken& t, bool refresh) {
    w.StartObject();
    Put(w, "token", token);
    Put(w, "client_id", t.clientId);
    Put(w, "scopes", t.scopes);
    Put(w, "expires_at", t.expiresAt);
    if (refresh)
        Put(w, "access_token", t.accessToken);
    w.EndObject();
}

// Reads members with their types checked; the first problem is kept with the member's place.
class CReader {
public:
    explicit CReader(std::string& error) : m_error(error) {}
    bool Ok() const { return m_error.empty(); }

    std::string String(const rapidjson::Value& object, const char* name, const std::string& where) {
        if (!Ok())
            return {};
        const auto it = object.FindMember(name);
        if (it == object.MemberEnd() || !it->value.IsString()) {
            Fail(where + "." + name + " is missing or not a text");
            return {};
        }
        return std::string(it->value.GetString(), it->value.GetStringLength());
    }
    long long Int(const rapidjson::Value& object, const char* name, const std::string& where) {
        if (!Ok())
            return 0;
        const auto it = object.FindMember(name);
        if (it == object.MemberEnd() || !it->value.IsInt64()) {
            Fail(where + "." + name + " is missing or not a whole number");
            return 0;
        }
        return it->value.GetInt64();
    }
    bool Bool(const rapidjson::Value& object, const char* name, const std::string& where) {
        if (!Ok())
            return false;
        const auto it = object.FindMember(name);
        if (it == object.MemberEnd() || !it->value.IsBool()) {
            Fail(where + "." + name + " is missing or not true/false");
            return false;
        }
        return it->value.GetBool();
    }
    CivilDate Date(const rapidjson::Value& object, const char* name, const std::string& where) {
        const std::string text = String(object, name, where);
        if (!Ok())
            return {};
        const auto date = CivilDate::Parse(text);
        if (!date) {
            Fail(where + "." + name + " is not a date (YYYY-MM-DD)");
            return {};
        }
        return *date;
    }
    const rapidjson::Value* Array(const rapidjson::Value& object, const char* name,
                                  const std::string& where) {
        if (!Ok())
            return nullptr;
        const auto it = object.FindMember(name);
        if (it == object.MemberEnd() || !it->value.IsArray()) {
            Fail(where + "." + name + " is missing or not a list");
            return nullptr;
        }
        return &it->value;
    }
    bool Object(const rapidjson::Value& value, const std::string& where) {
        if (!Ok())
            return false;
        if (!value.IsObject())
            Fail(where + " is not an object");
        return Ok();
    }
    void Fail(const std::string& what) {
        if (m_error.empty())
            m_error = what;
    }

private:
    std::string& m_error;
};

std::string Where(const char* list, std::size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
}

}  // namespace

std::string SandboxModel::ToJson() const {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.SetIndent(' ', 2);
    w.StartObject();
    Put(w, "format", std::string(kFormat));
    Put(w, "version", kVersion);

    w.Key("applications");
    w.StartArray();
    for (const auto& [id, app] : applications) {
        w.StartObject();
        Put(w, "client_id", app.clientId);
        Put(w, "client_secret", app.clientSecret);
        Put(w, "name", app.name);
        w.EndObject();
    }
    w.EndArray();

    w.Key("clients");
    w.StartArray();
    for (const auto& [vrn, client] : clients) {
        w.StartObject();
        Put(w, "vrn", client.vrn);
        Put(w, "company_name", client.companyName);
        w.Key("authorised");
        w.Bool(client.authorised);
        w.Key("obligations");
        w.StartArray();
        for (const auto& o : client.obligations) {
            w.StartObject();
            Put(w, "start", o.start.ToString());
            Put(w, "end", o.end.ToString());
            Put(w, "due", o.due.ToString());
            Put(w, "status", std::string(o.fulfilled ? "F" : "O"));
            Put(w, "periodKey", o.periodKey);
            if (o.received)
                Put(w, "received", o.received->ToString());
            w.EndObject();
        }
        w.EndArray();
        w.Key("liabilities");
        w.StartArray();
        for (const auto& l : client.liabilities) {
            w.StartObject();
            Put(w, "type", l.type);
            Put(w, "periodKey", l.periodKey);
            Put(w, "from", l.from.ToString());
            Put(w, "to", l.to.ToString());
            Put(w, "due", l.due.ToString());
            Put(w, "original_pence", l.originalPence);
            Put(w, "outstanding_pence", l.outstandingPence);
            w.EndObject();
        }
        w.EndArray();
        w.Key("payments");
        w.StartArray();
        for (const auto& p : client.payments) {
            w.StartObject();
            Put(w, "amount_pence", p.amountPence);
            Put(w, "received", p.received.ToString());
            Put(w, "periodKey", p.periodKey);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();

    w.Key("access_tokens");
    w.StartArray();
    for (const auto& [token, t] : accessTokens)
        WriteToken(w, token, t, false);
    w.EndArray();
    w.Key("refresh_tokens");
    w.StartArray();
    for (const auto& [token, t] : refreshTokens)
        WriteToken(w, token, t, true);
    w.EndArray();

    w.Key("filed_returns");
    w.StartArray();
    for (const auto& f : filed) {
        w.StartObject();
        Put(w, "vrn", f.vrn);
        Put(w, "periodKey", f.periodKey);
        Put(w, "request_body", f.requestBody);
        Put(w, "processingDate", f.processingDate);
        Put(w, "formBundleNumber", f.formBundleNumber);
        Put(w, "receiptId", f.receiptId);
        Put(w, "correlationId", f.correlationId);
        Put(w, "receiptTimestamp", f.receiptTimestamp);
        Put(w, "paymentIndicator", f.paymentIndicator);
        Put(w, "chargeRefNumber", f.chargeRefNumber);
        w.Key("boxes_in_pence");
        w.StartArray();
        for (long long pence : f.boxesInPence)
            w.Int64(pence);
        w.EndArray();
        if (f.seeded) {
            w.Key("seeded");
            w.Bool(true);
        }
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

bool SandboxModel::FromJson(std::string_view text, SandboxModel& model, std::string& error) {
    error.clear();
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (doc.HasParseError()) {
        error = "not valid JSON (at byte " + std::to_string(doc.GetErrorOffset()) + ")";
        return false;
    }
    CReader r(error);
    if (!r.Object(doc, "the file"))
        return false;
    if (r.String(doc, "format", "the file") != kFormat ||
        r.Int(doc, "version", "the file") != kVersion) {
        r.Fail("not a calvenor-sandbox state file of version 1");
        return false;
    }

    SandboxModel m;
    std::vector<std::string> unkept;  // clients whose account the file does not hold
    if (const auto* apps = r.Array(doc, "applications", "the file")) {
        for (rapidjson::SizeType i = 0; i < apps->Size() && r.Ok(); ++i) {
            const auto& v = (*apps)[i];
            const std::string where = Where("applications", i);
            if (!r.Object(v, where))
                break;
            Application app{r.String(v, "client_id", where), r.String(v, "client_secret", where),
                            r.String(v, "name", where)};
            m.applications[app.clientId] = app;
        }
    }
    if (const auto* list = r.Array(doc, "clients", "the file")) {
        for (rapidjson::SizeType i = 0; i < list->Size() && r.Ok(); ++i) {
            const auto& v = (*list)[i];
            const std::string where = Where("clients", i);
            if (!r.Object(v, where))
                break;
            ClientCompany client;
            client.vrn = r.String(v, "vrn", where);
            client.companyName = r.String(v, "company_name", where);
            client.authorised = r.Bool(v, "authorised", where);
            const auto* obligations = r.Array(v, "obligations", where);
            for (rapidjson::SizeType k = 0; obligations && k < obligations->Size() && r.Ok(); ++k) {
                const auto& ov = (*obligations)[k];
                const std::string ow = where + "." + Where("obligations", k);
                if (!r.Object(ov, ow))
                    break;
                Obligation o;
                o.start = r.Date(ov, "start", ow);
                o.end = r.Date(ov, "end", ow);
                o.due = r.Date(ov, "due", ow);
                const std::string status = r.String(ov, "status", ow);
                o.periodKey = r.String(ov, "periodKey", ow);
                if (ov.HasMember("received"))
                    o.received = r.Date(ov, "received", ow);
                if (r.Ok() && status != "O" && status != "F")
                    r.Fail(ow + ".status is not O or F");
                o.fulfilled = status == "F";
                client.obligations.push_back(o);
            }
            // Files written before the account was kept have neither list: their accounts are
            // rebuilt from the returns filed, below.
            if (!v.HasMember("liabilities"))
                unkept.push_back(client.vrn);
            const auto* charges =
                v.HasMember("liabilities") ? r.Array(v, "liabilities", where) : nullptr;
            for (rapidjson::SizeType k = 0; charges && k < charges->Size() && r.Ok(); ++k) {
                const auto& lv = (*charges)[k];
                const std::string lw = where + "." + Where("liabilities", k);
                if (!r.Object(lv, lw))
                    break;
                client.liabilities.push_back(
                    {r.String(lv, "type", lw), r.String(lv, "periodKey", lw),
                     r.Date(lv, "from", lw), r.Date(lv, "to", lw), r.Date(lv, "due", lw),
                     r.Int(lv, "original_pence", lw), r.Int(lv, "outstanding_pence", lw)});
            }
            const auto* paid = v.HasMember("payments") ? r.Array(v, "payments", where) : nullptr;
            for (rapidjson::SizeType k = 0; paid && k < paid->Size() && r.Ok(); ++k) {
                const auto& pv = (*paid)[k];
                const std::string pw = where + "." + Where("payments", k);
                if (!r.Object(pv, pw))
                    break;
                client.payments.push_back({r.Int(pv, "amount_pence", pw),
                                           r.Date(pv, "received", pw),
                                           r.String(pv, "periodKey", pw)});
            }
            m.clients[client.vrn] = client;
        }
    }
    for (const char* list : {"access_tokens", "refresh_tokens"}) {
        const bool refresh = std::string_view(list) == "refresh_tokens";
        const auto* tokens = r.Array(doc, list, "the file");
        for (rapidjson::SizeType i = 0; tokens && i < tokens->Size() && r.Ok(); ++i) {
            const auto& v = (*tokens)[i];
            const std::string where = Where(list, i);
            if (!r.Object(v, where))
                break;
            const std::string token = r.String(v, "token", where);
            IssuedToken t{r.String(v, "client_id", where), r.String(v, "scopes", where),
                          r.Int(v, "expires_at", where),
                          refresh ? r.String(v, "access_token", where) : std::string()};
            (refresh ? m.refreshTokens : m.accessTokens)[token] = t;
        }
    }
    if (const auto* list = r.Array(doc, "filed_returns", "the file")) {
        for (rapidjson::SizeType i = 0; i < list->Size() && r.Ok(); ++i) {
            const auto& v = (*list)[i];
            const std::string where = Where("filed_returns", i);
            if (!r.Object(v, where))
                break;
            FiledReturn f;
            f.vrn = r.String(v, "vrn", where);
            f.periodKey = r.String(v, "periodKey", where);
            f.requestBody = r.String(v, "request_body", where);
            f.processingDate = r.String(v, "processingDate", where);
            f.formBundleNumber = r.String(v, "formBundleNumber", where);
            f.receiptId = r.String(v, "receiptId", where);
            f.correlationId = r.String(v, "correlationId", where);
            f.receiptTimestamp = r.String(v, "receiptTimestamp", where);
            f.paymentIndicator = r.String(v, "paymentIndicator", where);
            f.chargeRefNumber = r.String(v, "chargeRefNumber", where);
            const auto* boxes = r.Array(v, "boxes_in_pence", where);
            for (rapidjson::SizeType k = 0; boxes && k < boxes->Size() && r.Ok(); ++k) {
                if (!(*boxes)[k].IsInt64())
                    r.Fail(where + ".boxes_in_pence holds something that is not a whole number");
                else
                    f.boxesInPence.push_back((*boxes)[k].GetInt64());
            }
            f.seeded = v.HasMember("seeded") && r.Bool(v, "seeded", where);
            m.filed.push_back(f);
        }
    }
    if (!r.Ok())
        return false;
    for (const FiledReturn& f : m.filed) {
        if (std::find(unkept.begin(), unkept.end(), f.vrn) == unkept.end() ||
            f.boxesInPence.size() != 9)
            continue;
        ClientCompany& client = m.clients[f.vrn];
        const auto period =
            std::find_if(client.obligations.begin(), client.obligations.end(),
                         [&](const Obligation& o) { return o.periodKey == f.periodKey; });
        if (period != client.obligations.end())
            client.liabilities.push_back(ChargeFor(*period, f.boxesInPence[2], f.boxesInPence[3]));
    }
    for (auto& [vrn, client] : m.clients)
        std::sort(client.obligations.begin(), client.obligations.end(),
                  [](const Obligation& a, const Obligation& b) { return a.start < b.start; });
    model = std::move(m);
    return true;
}

}  // namespace calvenor::sandbox
