#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include "UserMessage.h"

class QPrinter;
class QPushButton;
class QUrl;
class QWidget;

// Every modal interaction both programs have with the user and the desktop goes through one
// object of this interface: message boxes and beeps, file dialogs, the print dialog, the web
// browser and the clipboard. The programs use the Qt implementation; tests install a recorder
// (CUiRecorder) that keeps what was shown and answers in advance, so no test blocks on a modal.

enum class MessageButtons { Ok, YesNo };

enum class MessageAnswer { Ok, Yes, No };

// What a file dialog offers.
struct FileDialogRequest {
    QString title;                // empty: the toolkit's own caption
    QString initialName;          // file name (or path) offered at first
    QStringList filters;          // "CSV Files (*.csv)", "All Files (*)"
    QString defaultSuffix;        // added when the typed name has none, without the dot: "csv"
    bool promptOverwrite = true;  // save dialogs: ask before replacing an existing file
};

class CUiServices {
public:
    virtual ~CUiServices();

    // Plays `beep` (if any), then shows `text` in a modal box owned by the active window. An
    // empty title shows the default title "Error". With YesNo the answer is Yes or No, else Ok.
    virtual MessageAnswer Message(const QString& title, const QString& text,
                                  MessageIcon icon = MessageIcon::None,
                                  BeepKind beep = BeepKind::None,
                                  MessageButtons buttons = MessageButtons::Ok) = 0;

    // A beep on its own (before a window that is not a message box).
    virtual void Beep(BeepKind kind) = 0;

    // The chosen file's path, or nothing when the user cancelled.
    virtual std::optional<QString> OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> SaveFileName(const FileDialogRequest& request) = 0;

    // Lets the user choose and set up a printer; nullptr when the user cancelled.
    virtual std::unique_ptr<QPrinter> ChoosePrinter(const QString& title) = 0;

    // Opens `url` in the user's web browser; false when the desktop could not.
    virtual bool OpenUrl(const QUrl& url) = 0;

    virtual void SetClipboardText(const QString& text) = 0;
    virtual QString ClipboardText() = 0;
};

// The title shown for a message given `title`: "Error" when none is given.
QString ShownMessageTitle(const QString& title);

// The text shown for a message: each "\r\n" and each lone "\r" becomes a line break.
QString ShownMessageText(const QString& text);

// The window that owns a box or dialog: the active modal window, else the active window, else
// none.
QWidget* ActiveOwnerWindow();

// A push button named `objectName` (tests and the screenshot tool find it by that name) that never
// becomes a window's default button: Enter must not press a button behind the user's back.
QPushButton* NamedButton(const QString& text, const QString& objectName, QWidget* parent = nullptr);

// Enter (or Return) in `window` presses the push button that has the keyboard focus, as a click
// would. With no push button focused, Enter goes on to the window: its default button or its own
// keyPressEvent. Call once the window's buttons exist: Qt's own habit of making the focused (or
// the first) button the default is turned off for them, so this rule is the only one.
void EnterPressesFocusedButton(QWidget* window);

// `text` as a window caption shows it, letter for letter: Qt takes "[*]" in a caption for the
// place of its modified mark and drops it, so a client named "Acme [*] Sons" is written so that
// the caption still reads that way.
QString LiteralWindowTitle(const QString& text);

// The services of the process: unless a test has installed others, the real thing
// (QMessageBox, QApplication::beep, Qt's own QFileDialog, QPrintDialog, QDesktopServices and
// QClipboard).
CUiServices& UiServices();

// Installs `services` (not owned; nullptr goes back to the Qt implementation) and returns the
// ones installed before.
CUiServices* SetUiServices(CUiServices* services);
