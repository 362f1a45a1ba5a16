#pragma once

#include <string>
#include <string_view>

// Printing of the suite's HTML pages (the filed return, the sign-off page) through the print
// dialog of the UI-services seam and QTextDocument. The documents are built for a full browser
// engine; Qt's rich-text engine understands a subset of HTML and CSS, so the markup is adapted
// here, at print time, and the document text itself stays as built.

enum class PrintOutcome { Printed, Cancelled, Failed };

// The markup Qt's rich-text engine renders as a browser would render `html`: the shorthand
// `border` becomes border-style, border-width and border-color; percentage widths move from the
// style sheet into width attributes of the matching table and cells; percentage padding becomes
// pixels; tables get cellspacing="0". Everything outside style sheets, table and cell start tags
// is unchanged.
std::string AdaptHtmlForPrinting(std::string_view html);

// Asks for a printer (the seam's print dialog) and prints `html` on pages without page numbers.
// A cancelled dialog prints nothing and says nothing. When the printer cannot be set up or the
// output cannot be started, the information beep and "Printing Error - check for printers" (no
// caption of its own) are shown.
PrintOutcome PrintHtmlDocument(const std::string& html);
