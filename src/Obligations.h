#pragma once

#include <string>
#include <vector>

// One obligation period, every field as HMRC sent it (dates year-month-day).
class CObligationData {
public:
    CObligationData() = default;
    CObligationData(std::string start, std::string end, std::string due, std::string status,
                    std::string periodKey, std::string received);
    virtual ~CObligationData();
    CObligationData(const CObligationData&) = default;
    CObligationData& operator=(const CObligationData&) = default;
    CObligationData(CObligationData&&) = default;
    CObligationData& operator=(CObligationData&&) = default;

    std::string start;
    std::string end;
    std::string due;
    std::string status;
    std::string periodKey;
    std::string received;  // empty when HMRC sent none

    bool operator==(const CObligationData& other) const;
};

// The obligations of one answer, parsed at construction. A body that cannot be used gives an
// empty list; an element lacking a required member ends the list there.
class CObligations {
public:
    explicit CObligations(std::string body);
    virtual ~CObligations();

    const std::string& GetBody() const { return m_body; }
    const std::vector<CObligationData>& GetObligations() const { return m_obligations; }
    // True when the body was an obligations answer read to its end: a JSON object whose
    // "obligations" array held only complete records.
    bool IsComplete() const { return m_complete; }

private:
    void Parse();

    std::string m_body;
    std::vector<CObligationData> m_obligations;
    bool m_complete = false;
};
