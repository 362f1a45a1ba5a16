#pragma once

#include <string>
#include <string_view>

// Small text rules used by every part of the suite. ASCII only and independent of the locale:
// they work on protocol texts (header names, form values) and on HTML the suite writes.
namespace calvenor {

// `text` with A-Z turned into a-z; every other byte as it is.
std::string AsciiLower(std::string_view text);

// True when `text` begins with `prefix`, letters compared without regard to case
// ("receipt-id:" matches "Receipt-ID: 1").
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// `text` without the spaces, tabs and line ends around it.
std::string Trim(std::string_view text);

// `text` safe inside HTML text and attribute values: & < > " ' become entities.
std::string HtmlEscape(std::string_view text);

// True for exactly nine digits 0-9: the form of a VAT registration number.
bool IsNineDigits(std::string_view text);

}  // namespace calvenor
