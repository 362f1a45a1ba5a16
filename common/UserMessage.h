#pragma once

#include <string>

// What a message to the user consists of, apart from the window that shows it: logic that decides
// what the user must be told returns these, and the UI-services seam shows them.

// The message beep played before a box (or alone).
enum class BeepKind { None, Information, Exclamation, Question };

// The icon a message box carries; most of the suite's boxes carry none.
enum class MessageIcon { None, Information, Warning, Critical, Question };

// One message box with an OK button: an empty title shows the default title "Error". The text is
// shown as given, each "\r\n" or lone "\r" as a line break.
struct UserMessage {
    std::string title;
    std::string text;
    MessageIcon icon = MessageIcon::None;
    BeepKind beep = BeepKind::None;

    bool operator==(const UserMessage&) const = default;
};
