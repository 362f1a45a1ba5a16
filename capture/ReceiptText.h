#pragma once

#include <string>
#include <vector>

#include "ReturnFigures.h"

// The receipt file Save writes from the results window: the period (dates as HMRC gives them),
// the company, the receipt lines and the nine boxes, with "\n" line ends and no final line end.
std::string BuildReceiptFileText(const std::string& periodStart, const std::string& periodEnd,
                                 const std::string& company,
                                 const std::vector<std::string>& receiptLines,
                                 const BoxTexts& boxes);

// The results window's text: each receipt line ended by CR LF, then the recommendation.
std::string BuildResultsWindowText(const std::vector<std::string>& receiptLines);
