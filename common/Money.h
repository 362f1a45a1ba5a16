#pragma once

#include <cstdint>
#include <string>

// Amounts as texts and as signed 64-bit whole pence, never as floating-point numbers: the figures
// of a return, and HMRC's liabilities and payments, are read and shown exactly.

// An optional sign and the digits that follow it, up to the first other character. False when
// there is no digit or the value does not fit 64 bits.
bool ReadWholeNumber(const std::string& text, std::int64_t& value);

// Reads a figure text as pence: the decimals are brought to two (cut, never rounded). False when
// the text holds no digit or the amount does not fit 64 bits.
bool TextToPence(const std::string& text, std::int64_t& pence);

// Pence as a pounds-and-pence text with two decimals and a digit before the point ("-0.05").
std::string PenceToText(std::int64_t pence);
