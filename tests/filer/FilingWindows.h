#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <functional>

#include "ModalTestHelper.h"
#include "ResultsDialog.h"
#include "VatConfirm.h"
#include "VatEntry.h"

namespace calvenor::test {

// Answers the next `windows` windows of the filing flow: types figures into the entry window,
// declares and submits in the confirmation, and hands the results window to `atResults` before
// pressing its OK.
inline void AnswerFilingWindows(int windows, std::function<void(CResultsDialog&)> atResults = {}) {
    if (windows == 0)
        return;
    WhenModalShown([windows, atResults](QWidget* modal) {
        auto click = [modal](const char* name) {
            modal->findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
        };
        if (auto* entry = qobject_cast<CVatEntry*>(modal)) {
            const char* const boxes[] = {"100.00", "0.00", "100.00", "20.00", "80.00",
                                         "500",    "100",  "0",      "0"};
            for (int box = 1; box <= 9; ++box)
                entry->Box(box)->setText(QString::fromLatin1(boxes[box - 1]));
            click("continueButton");
        } else if (qobject_cast<CVatConfirm*>(modal)) {
            click("declarationCheckBox");
            click("submitButton");
        } else if (auto* results = qobject_cast<CResultsDialog*>(modal)) {
            if (atResults)
                atResults(*results);
            click("okButton");
        }
        AnswerFilingWindows(windows - 1, atResults);
    });
}

}  // namespace calvenor::test
