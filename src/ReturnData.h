#pragma once

#include <string>

// The nine box texts of one return in their stored forms, and the period key being filed.
struct ReturnBodyFigures {
    std::string periodKey;
    std::string box1, box2, box3, box4, box5, box6, box7, box8, box9;
};

// The JSON body of a return submission: one compact object, members in HMRC's order, every
// figure a string holding its text unchanged, then "finalised":true.
class CReturnData {
public:
    CReturnData() = default;
    virtual ~CReturnData();

    void BuildJson(const ReturnBodyFigures& figures);
    // Any figures type with the same field names (the windows' ReturnFigures), without this
    // library depending on the windows.
    template <class Figures>
    void BuildJson(const Figures& figures) {
        BuildJson(ReturnBodyFigures{figures.periodKey, figures.box1, figures.box2, figures.box3,
                                    figures.box4, figures.box5, figures.box6, figures.box7,
                                    figures.box8, figures.box9});
    }

    const std::string& GetJson() const { return m_json; }

private:
    std::string m_json;
};
