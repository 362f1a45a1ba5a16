#include "TransactionError.h"

#include <rapidjson/document.h>

#include <utility>

namespace {

const std::string kUnknownError = "An Unknown Error Occurred";

}  // namespace

const std::map<int, std::string>& HttpErrorTable() {
    static const std::map<int, std::string> table = {
        {400, "Unauthorized"},       {401, "Unauthorized"},
        {403, "Forbidden"},          {404, "Not Found"},
        {405, "Method Not Allowed"}, {406, "Not Acceptable (Missing or invalid Accept header)"},
        {429, "Too Many Requests"},  {500, "Internal Server Error"},
        {501, "Not Implemented"},    {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    return table;
}

const std::map<int, std::string>& SubmitErrorTable() {
    static const std::map<int, std::string> table = {
        {400, "Bad Request"},
        {403, "Forbidden"},
    };
    return table;
}

const std::map<int, std::string>& CommErrorTable() {
    static const std::map<int, std::string> table = {
        {0, "No Error"},
        {1, "Communication System Initialisation Failed"},
        {2, "Bad URL"},
        {3, "Bad Proxy"},
        {4, "Host address error. Unreachable"},
        {5, "Unable to Connect to server"},
        {6, "Bad server response"},
        {7, "Access to server Denied"},
        {8, "Sending Error"},
        {9, "Receive Error"},
        {10, "SSL Certificate Error"},
        {11, kUnknownError},
    };
    return table;
}

const std::string& CommErrorText(int code) {
    const auto& table = CommErrorTable();
    const auto found = table.find(code);
    return found != table.end() ? found->second : table.at(11);
}

CTRansactionError::CTRansactionError(int kind, int status) : m_kind(kind), m_status(status) {}

CTRansactionError::~CTRansactionError() = default;

bool CTRansactionError::GetErrorText(std::string& text) const {
    const std::map<int, std::string>* table = nullptr;
    if (m_kind == kAuthorisationRequest || m_kind == kCodeExchange)
        table = &HttpErrorTable();
    if (m_kind == kReturnSubmission)
        table = &SubmitErrorTable();
    if (table != nullptr) {
        const auto found = table->find(m_status);
        if (found != table->end()) {
            text = found->second;
            return true;
        }
    }
    text = kUnknownError;
    return false;
}

bool CTRansactionError::Decode(const std::string& body) {
    m_errorLines.clear();
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return false;

    auto addLine = [this](const rapidjson::Value& object, const char* name,
                          const std::string& indent) {
        const auto member = object.FindMember(name);
        if (member == object.MemberEnd() || !member->value.IsString())
            return;
        m_errorLines.push_back(
            indent + name + " : " +
            std::string(member->value.GetString(), member->value.GetStringLength()));
    };
    for (const char* name : {"error", "error_description", "code", "message"}) {
        addLine(document, name, "");
    }
    const auto errors = std::as_const(document).FindMember("errors");
    if (errors != std::as_const(document).MemberEnd() && errors->value.IsArray()) {
        for (const auto& element : errors->value.GetArray()) {
            if (!element.IsObject())
                continue;
            for (const char* name : {"code", "message", "path"}) {
                addLine(element, name, "\t");
            }
        }
    }
    return true;
}
