#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace calvenor::test {

// Counts finished tests (the GUI test main bumps it at the end of each): a step armed in one test
// is disarmed when that test ends, so it can never answer, or wait for, a later test's window.
inline std::atomic<int>& ModalGeneration() {
    static std::atomic<int> generation{0};
    return generation;
}

// For the rare real modal window a test must drive (a QDialog the window under test opens with
// exec()): call this just before the action that opens it. `act` runs on the modal window once
// it is the active modal widget, from inside its own event loop, and must close it (accept(),
// reject(), a click). Gives up, with a test failure, when no modal window appears within
// `attempts` polls (about five seconds), and does nothing once the test that armed it has ended.
inline void WhenModalShown(std::function<void(QWidget*)> act, int attempts = 500,
                           int generation = ModalGeneration()) {
    QTimer::singleShot(attempts == 500 ? 0 : 10, [act = std::move(act), attempts, generation] {
        if (generation != ModalGeneration())
            return;
        if (QWidget* modal = QApplication::activeModalWidget())
            act(modal);
        else if (attempts > 0)
            WhenModalShown(act, attempts - 1, generation);
        else
            ADD_FAILURE() << "no modal window appeared";
    });
}

// One step of a test's part in a run of modal windows: looks at the window and closes it.
using ModalStep = std::function<void(QWidget*)>;

// Answers the next modal windows in the order they open, one step per window.
inline void AnswerModals(std::vector<ModalStep> steps, std::size_t next = 0) {
    if (next >= steps.size())
        return;
    WhenModalShown([steps = std::move(steps), next](QWidget* modal) mutable {
        steps[next](modal);
        AnswerModals(std::move(steps), next + 1);
    });
}

// The top-level windows still visible; a window test's cleanup expects none.
inline int VisibleTopLevelWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() ? 1 : 0;
    return count;
}

}  // namespace calvenor::test
