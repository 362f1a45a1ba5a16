#pragma once

#include <QString>
#include <QWidget>

class QAbstractButton;
class QMessageBox;

// Finding, pressing and describing the programs' controls from inside, by the texts and
// accessible names their users see.

// `text` without its "&" shortcut marks and the spaces around it.
QString Plain(const QString& text);

// The visible top-level window whose title starts with `prefix` (or equals it when `exact`).
QWidget* WindowTitled(const QString& prefix, bool exact = false);

// The visible button in `window` whose text (shortcut marks aside) is `text`; nullptr if none.
QAbstractButton* ButtonIn(QWidget* window, const QString& text);

// The visible control of type T in `window` with that accessible name; nullptr if none.
template <typename T>
T* NamedIn(QWidget* window, const QString& accessibleName) {
    if (window == nullptr)
        return nullptr;
    for (auto* w : window->findChildren<T*>()) {
        if (w->isVisible() && w->accessibleName() == accessibleName)
            return w;
    }
    return nullptr;
}

bool Enabled(QWidget* w);

// Queued, so a click that opens a modal window returns to the tour's timer at once.
void Click(QAbstractButton* button);

// Typed key by key, as a user would, so the programs see their usual edit notifications.
void TypeInto(QWidget* edit, const QString& text);

void PressKey(QWidget* target, int key);

// True while no window but `main` is modal over the program.
bool OnlyMainOpen(QWidget* main);

QMessageBox* VisibleMessageBox();

// Presses `preferred`, else OK, else accepts the box.
void Answer(QMessageBox* box, const QString& preferred);

// A control as a reader knows it: its class and its text, accessible name or object name.
QString Describe(const QWidget* w);

// The window's controls in Tab order, and in reading order (rows top to bottom, then left to
// right), so a reader can see where the two part.
QString FocusReport(QWidget* window, const QString& focusOnOpening);
