#pragma once

#include <string>

#include <QString>

// Which program a capture window serves: the filer's and the approvals program's windows are one
// implementation each with different texts, captions and buttons.
enum class CaptureProgram { Filer, Approvals };

// Results of the capture windows, as the programs' flows read them.
inline constexpr int kDialogOk = 1;    // Continue, Submit, Done, Enter in the confirmation
inline constexpr int kDialogBack = 2;  // Cancel, Back, Escape, the close box

// The label beside box `number` (1 to 9). The filer's entry window alone labels box 3 with a
// point before the closing parenthesis.
QString BoxLabel(int number, bool filerEntryWindow = false);

// Text conversions between the windows (wide text) and the figure logic (8-bit text).
inline QString ToQt(const std::string& text) {
    return QString::fromUtf8(text);
}
inline std::string FromQt(const QString& text) {
    return text.toUtf8().toStdString();
}
