#include "HmrcDate.h"

#include <array>

bool FormatHmrcDate(const std::string& input, std::string& output) {
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::size_t first = input.find('-');
    if (first == std::string::npos)
        return false;
    const std::size_t second = input.find('-', first + 1);
    if (second == std::string::npos)
        return false;
    const std::string year = input.substr(0, first);
    const std::string month = input.substr(first + 1, 2);
    const std::string day = input.substr(second + 1, 2);
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        const std::string number = (i < 9 ? "0" : "") + std::to_string(i + 1);
        if (month == number) {
            output = day + " " + kMonths[i] + " " + year;
            return true;
        }
    }
    return false;
}

DisplayPeriod FormatHmrcPeriod(const std::string& start, const std::string& end) {
    DisplayPeriod period;
    if (FormatHmrcDate(start, period.start) && FormatHmrcDate(end, period.end)) {
        period.converted = true;
        return period;
    }
    period.start = start;
    period.end = end;
    return period;
}
