#pragma once

#include <string>

#include "ReturnFigures.h"

// A return as HMRC gives it back (GET returns/{periodKey}): the period key and the nine boxes in
// the figures' stored forms ("105.50" for boxes 1 to 5, "300" for boxes 6 to 9). HMRC sends the
// amounts as JSON numbers; they are read as the digits sent, never through floating point.
struct VatReturnRecord {
    std::string periodKey;
    BoxTexts boxes;
};

// False, leaving `record` unusable, unless `body` is a JSON object with the period key and all
// nine amounts, boxes 1 to 5 with at most two decimals and boxes 6 to 9 whole pounds.
bool ReadVatReturn(const std::string& body, VatReturnRecord& record);

// True when the two sets of nine figures are the same amounts ("100" and "100.00" are).
bool SameAmounts(const BoxTexts& a, const BoxTexts& b);
