#pragma once

#include <string>

// Printing of the suite's HTML pages (the filed return, the sign-off page) through the print
// dialog of the UI-services seam and QTextDocument, with the markup adapted for Qt's rich-text
// engine (PrintMarkup.h).

enum class PrintOutcome { Printed, Cancelled, Failed };

// Asks for a printer (the seam's print dialog) and prints `html` on pages without page numbers.
// A cancelled dialog prints nothing and says nothing. When the printer cannot be set up or the
// output cannot be started, the information beep and "Printing Error - check for printers" (no
// caption of its own) are shown.
PrintOutcome PrintHtmlDocument(const std::string& html);
