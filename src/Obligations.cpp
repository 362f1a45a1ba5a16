#include "Obligations.h"

#include <rapidjson/document.h>

#include <utility>

CObligationData::CObligationData(std::string start_, std::string end_, std::string due_,
                                 std::string status_, std::string periodKey_, std::string received_)
    : start(std::move(start_)),
      end(std::move(end_)),
      due(std::move(due_)),
      status(std::move(status_)),
      periodKey(std::move(periodKey_)),
      received(std::move(received_)) {}

CObligationData::~CObligationData() = default;

bool CObligationData::operator==(const CObligationData& other) const {
    return start == other.start && end == other.end && due == other.due && status == other.status &&
           periodKey == other.periodKey && received == other.received;
}

CObligations::CObligations(std::string body) : m_body(std::move(body)) {
    Parse();
}

CObligations::~CObligations() = default;

void CObligations::Parse() {
    m_obligations.clear();
    m_complete = false;
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(m_body.c_str(), m_body.size());
    if (document.HasParseError() || !document.IsObject())
        return;
    const auto list = std::as_const(document).FindMember("obligations");
    if (list == std::as_const(document).MemberEnd() || !list->value.IsArray())
        return;

    for (const auto& element : list->value.GetArray()) {
        if (!element.IsObject())
            return;
        auto text = [&element](const char* name, std::string& out) {
            const auto member = element.FindMember(name);
            if (member == element.MemberEnd() || !member->value.IsString())
                return false;
            out.assign(member->value.GetString(), member->value.GetStringLength());
            return true;
        };
        CObligationData record;
        if (!text("start", record.start) || !text("end", record.end) || !text("due", record.due) ||
            !text("status", record.status) || !text("periodKey", record.periodKey)) {
            return;
        }
        text("received", record.received);
        m_obligations.push_back(std::move(record));
    }
    m_complete = true;
}
