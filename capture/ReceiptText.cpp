#include "ReceiptText.h"

std::string BuildReceiptFileText(const std::string& periodStart, const std::string& periodEnd,
                                 const std::string& company,
                                 const std::vector<std::string>& receiptLines,
                                 const BoxTexts& boxes) {
    std::string text = "Results for Period : " + periodStart + " To " + periodEnd + "\n";
    text += "VAT Number: " + company + "\n\n";
    for (const std::string& line : receiptLines)
        text += line + "\n";
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        text += "\nBox" + std::to_string(i + 1) + " = " + boxes[i];
    }
    return text;
}

std::string BuildResultsWindowText(const std::vector<std::string>& receiptLines) {
    std::string text;
    for (const std::string& line : receiptLines)
        text += line + "\r\n";
    text += "\r\nWe recommend you save this receipt for your records.";
    return text;
}
