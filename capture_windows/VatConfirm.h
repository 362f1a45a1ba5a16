#pragma once

#include <array>
#include <functional>
#include <string>

#include <QPalette>

#include "CaptureTexts.h"
#include "FigureWindow.h"
#include "ReturnFigures.h"

class QCheckBox;
class QPushButton;

// The last look at a return's figures, read-only, with boxes 3 and 5 as recomputed. A recomputed
// box that differs from the imported value is drawn red on grey, and a warning asks the user to
// check the imported data once per showing, as soon as the window shows.
//
// Filer: under the legal declaration; Submit is enabled only while the declaration box is
// ticked. Submit closes with 1 and IsSubmitClicked(); Back, Escape and the close box with 2.
// Approvals: Done closes with 1, Back (Escape, close box) with 2; Save writes the figure file
// and Print hands the sign-off page to the print handler, both leaving it open.
// Enter presses the focused button; with none focused it closes with 1 without
// IsSubmitClicked(), so the filer files nothing and the approval ends as with Done.
//
// Before each showing: SetPeriod and SetVrn (filer) or SetCompanyText (approvals), and
// SetFigures. Then exec().
class CVatConfirm : public CFigureWindow {
    Q_OBJECT

public:
    // Prints the sign-off page (HTML text); installed by the approvals program.
    using PrintHandler = std::function<void(QWidget* owner, const std::string& html)>;

    explicit CVatConfirm(CaptureProgram program, QWidget* parent = nullptr);
    ~CVatConfirm() override;

    // Copies the nine texts and the two re-calculated flags.
    void SetFigures(const ReturnFigures& figures);

    bool IsSubmitClicked() const { return m_submitClicked; }
    bool IsWarningShown() const { return m_warningShown; }
    const BoxTexts& Figures() const { return m_figures; }

    // Approvals: the name Save proposes and the page Print prints.
    std::string DefaultFileName() const;
    std::string BuildSignOffHtml() const;
    void SetPrintHandler(PrintHandler handler) { m_printHandler = std::move(handler); }

    void OnSubmit();
    void OnBack();
    void OnDone();
    void OnSave();
    void OnPrint();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowRecalculationWarningOnce();
    void ApplyHighlight(int index, bool highlighted);

    QCheckBox* m_declaration = nullptr;
    QPushButton* m_submit = nullptr;
    QWidget* m_firstAction = nullptr;  // where focus starts: the declaration, or Done
    QPalette m_plainPalette;

    BoxTexts m_figures;
    bool m_box3Recalculated = false;
    bool m_box5Recalculated = false;
    bool m_warningShown = false;
    bool m_submitClicked = false;
    PrintHandler m_printHandler;
};
