#pragma once

#include <cstdint>
#include <string>

#include "Money.h"
#include "ReturnFigures.h"

// The text rules of the nine box figures. Figures travel as texts; arithmetic is done in signed
// 64-bit whole pence so that no amount HMRC accepts can wrap around.

// True when an input box may hold `text`: digits, at most one ".", and a "-" only as the first
// character. Partial figures met while typing ("", "-", ".", "-.") are accepted.
bool IsValidFigureText(const std::string& text);

// Rewrites `text` into pounds-and-pence form: a digit before the point and two decimals. True
// when the box should show the rewritten text; false when the text was cut (12.345 -> 12.34,
// .555 -> 0.55; the box keeps what was typed) or was already in that form.
bool PadToTwoDecimals(std::string& text);

// Rewrites `text` into whole pounds by cutting at the first "." (no rounding); "" becomes "0".
void TruncateToWholePounds(std::string& text);

// The text with ".00" appended when it has no ".".
std::string EnsureDecimalPoint(const std::string& text);

// HMRC's limits, in pence for boxes 1 to 5 and in pounds for boxes 6 to 9.
inline constexpr std::int64_t kMaxMoneyPence = 999'999'999'999'999;  // 9,999,999,999,999.99
inline constexpr std::int64_t kMaxNetVatPence = 9'999'999'999'999;   // 99,999,999,999.99
inline constexpr std::int64_t kMaxWholePounds = 9'999'999'999'999;   // 9,999,999,999,999

// The outcome of computing a return from the entry window's texts.
struct FigureComputation {
    ReturnFigures figures;
    // 0 when every figure is within HMRC's limits; otherwise the number of the first box (in box
    // order, boxes 3 and 5 as computed) that is not, and `figures` must not be used.
    int boxOutOfRange = 0;
};

// Boxes 3 and 5 recomputed from the nine normalised texts of the entry window: box 3 is box 1 plus
// box 2, box 5 the absolute difference of that sum and box 4. A computed box is flagged as
// re-calculated when it differs, as text, from the value of the last import (an empty imported
// value is never flagged). `entered` carries whether the window was left with Continue.
FigureComputation ComputeFigures(const BoxTexts& stored, const std::string& importedBox3,
                                 const std::string& importedBox5, bool entered);

// The message refusing a figure outside HMRC's limits, naming the box (1 to 9).
std::string FigureRangeMessage(int box);
