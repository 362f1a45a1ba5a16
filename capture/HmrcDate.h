#pragma once

#include <string>

// An HMRC date YYYY-MM-DD as shown in the windows and printouts: 2023-04-01 -> 01 Apr 2023.
// False, with `output` untouched, when the text has fewer than two "-" or its month is not
// 01 to 12.
bool FormatHmrcDate(const std::string& input, std::string& output);

// The two dates of a period for display: both converted when both convert, else both as given.
struct DisplayPeriod {
    std::string start;
    std::string end;
    bool converted = false;
};
DisplayPeriod FormatHmrcPeriod(const std::string& start, const std::string& end);
