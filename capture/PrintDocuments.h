#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "ReturnFigures.h"

// The HTML texts printed by both programs: the filed return (results window) and the sign-off
// page (approvals program). Every text that comes from outside (HMRC's receipt lines, the
// company text, the dates and the figures) is escaped before it goes in, since HMRC's answer is
// untrusted and a "<" in a company name must print as itself.

// The nine-row table of the boxes with the placeholders "!BOX1!" to "!BOX9!", one line, 1827
// characters.
extern const std::string_view BoxTableTemplate;

// "!BOX1!" to "!BOX9!" in box order; each occurs exactly once in the template.
extern const std::array<std::string_view, 9> kBoxPlaceholders;

// The template with each placeholder replaced by its box's text (escaped). The template is
// filled in one pass, so a figure can never be taken for a placeholder.
std::string FillBoxTable(const BoxTexts& boxes);

// The document Print in the results window prints: the period (dates converted when both
// convert), the company, the receipt lines, the box table.
std::string BuildResultsPrintDocument(const std::string& periodStart, const std::string& periodEnd,
                                      const std::string& company,
                                      const std::vector<std::string>& receiptLines,
                                      const BoxTexts& boxes);

// The approvals program's page for the client's sign-off.
std::string BuildSignOffHtml(const std::string& companyText, const BoxTexts& boxes);
