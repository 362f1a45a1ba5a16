#pragma once

#include <QApplication>

// Shows the wait cursor while an HMRC call blocks the window; restored when the scope ends, on
// every path out of the handler.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Runs `step` (a blocking HMRC call) under the wait cursor and returns its outcome, so what it
// brings is shown with the normal cursor back.
template <typename Step>
auto WhileWaiting(Step step) {
    CWaitCursor wait;
    return step();
}
