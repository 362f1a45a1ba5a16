#include "PrintDocuments.h"

#include "HmrcDate.h"
#include "Text.h"

// clang-format off
const std::string_view BoxTableTemplate =
    "<style>table {width: 90%;}table, td {border: solid 1px #444444; border-collapse: collapse;}"
    "td {padding: 1%;}.col1 {width: 3%; text-align: center;}.col2 {width: 80%;}"
    ".col3 {text-align: right; width: 17%;}.colhi {background-color: #dedcdd;}</style>"
    "<table>"
    "<tr><td class=\"col1\">1</td><td class=\"col2\">VAT due in this period on sales and other "
    "outputs</td><td class=\"col3\">!BOX1!</td></tr>"
    "<tr><td class=\"col1\">2</td><td class=\"col2\">VAT due in the period on acquisitions of goods "
    "made in Northern Ireland from EU Member States</td><td class=\"col3\">!BOX2!</td></tr>"
    "<tr><td class=\"col1\">3</td><td class=\"col2\"><b>Total VAT due (the sum of boxes 1 and "
    "2)</b></td><td class=\"col3\">!BOX3!</td></tr>"
    "<tr><td class=\"col1\">4</td><td class=\"col2\">VAT reclaimed in the period on purchases and "
    "other inputs (including acquisitions in Northern Ireland from EU member states)</td>"
    "<td class=\"col3\">!BOX4!</td></tr>"
    "<tr><td class=\"col1 colhi\">5</td><td class=\"col2 colhi\"><b>Net VAT to be paid to Customs "
    "or reclaimed by you (Difference between boxes 3 and 4)</b></td>"
    "<td class=\"col3 colhi\">!BOX5!</td></tr>"
    "<tr><td class=\"col1\">6</td><td class=\"col2\">Total value of sales and all other outputs "
    "excluding any VAT. Include your box 8 figure.</td><td class=\"col3\">!BOX6!</td></tr>"
    "<tr><td class=\"col1\">7</td><td class=\"col2\">Total value of purchases and all other inputs "
    "excluding any VAT. Include your box 9 figure.</td><td class=\"col3\">!BOX7!</td></tr>"
    "<tr><td class=\"col1\">8</td><td class=\"col2\">Total value of dispatches of goods and related "
    "costs (excluding VAT) from Northern Ireland to EU Member States</td>"
    "<td class=\"col3\">!BOX8!</td></tr>"
    "<tr><td class=\"col1\">9</td><td class=\"col2\">Total value of acquisitions of goods and "
    "related costs (excluding VAT) made in Northern Ireland from EU Member States</td>"
    "<td class=\"col3\">!BOX9!</td></tr>"
    "</table>";
// clang-format on

const std::array<std::string_view, 9> kBoxPlaceholders = {
    "!BOX1!", "!BOX2!", "!BOX3!", "!BOX4!", "!BOX5!", "!BOX6!", "!BOX7!", "!BOX8!", "!BOX9!"};

std::string FillBoxTable(const BoxTexts& boxes) {
    std::string table;
    std::size_t from = 0;
    for (std::size_t i = 0; i < kBoxPlaceholders.size(); ++i) {
        const std::size_t at = BoxTableTemplate.find(kBoxPlaceholders[i], from);
        if (at == std::string_view::npos)
            continue;
        table += BoxTableTemplate.substr(from, at - from);
        table += calvenor::HtmlEscape(boxes[i]);
        from = at + kBoxPlaceholders[i].size();
    }
    table += BoxTableTemplate.substr(from);
    return table;
}

std::string BuildResultsPrintDocument(const std::string& periodStart, const std::string& periodEnd,
                                      const std::string& company,
                                      const std::vector<std::string>& receiptLines,
                                      const BoxTexts& boxes) {
    const DisplayPeriod period = FormatHmrcPeriod(periodStart, periodEnd);
    std::string document = "Results for Period : " + calvenor::HtmlEscape(period.start) + " To " +
                           calvenor::HtmlEscape(period.end) + "<br/>";
    document += "VAT Number: " + calvenor::HtmlEscape(company) + "<br/><br/>";
    for (const std::string& line : receiptLines)
        document += calvenor::HtmlEscape(line) + "<br/>";
    document += "<br/><br/>";
    document += FillBoxTable(boxes) + "<br/>";
    return document;
}

std::string BuildSignOffHtml(const std::string& companyText, const BoxTexts& boxes) {
    return "VAT Return for Sign Off for : " + calvenor::HtmlEscape(companyText) + "<br/><br/>" +
           FillBoxTable(boxes) + "<br/>";
}
