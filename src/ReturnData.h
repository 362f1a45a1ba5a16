#pragma once

#include <string>

#include "ReturnFigures.h"

// The JSON body of a return submission: one compact object, members in HMRC's order, every
// figure a string holding its text unchanged, the period key first and "finalised":true last.
class CReturnData {
public:
    CReturnData() = default;
    virtual ~CReturnData();

    void BuildJson(const ReturnFigures& figures);
    const std::string& GetJson() const { return m_json; }

private:
    std::string m_json;
};
