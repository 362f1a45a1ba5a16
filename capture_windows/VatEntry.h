#pragma once

#include <array>
#include <string>

#include "CaptureTexts.h"
#include "FigureWindow.h"
#include "ReturnFigures.h"

// The window in which the nine figures of one return are typed or imported. One object lives as
// long as its program's main window and is opened again and again; the figures survive between
// openings, so Back in the confirmation returns to them as they were.
//
// The caller, once per filing or approval: SetPeriod (filer) or SetCompanyText (approvals), then
// Clear; before each opening SetVrn (filer); then exec(). Result kDialogOk (1): left with
// Continue, the figures are normalised and within HMRC's limits; call GetFigures. Result
// kDialogBack (2): Cancel, Back, Escape or the close box. Enter in a box moves on to the next,
// as Tab does; on a focused button it presses that button.
class CVatEntry : public CFigureWindow {
    Q_OBJECT

public:
    explicit CVatEntry(CaptureProgram program, QWidget* parent = nullptr);
    ~CVatEntry() override;

    // Empties the nine figures and the remembered imported boxes 3 and 5.
    void Clear();

    // The return as confirmed: the nine texts with boxes 3 and 5 recomputed and their
    // re-calculated flags, and `entered`. Leaves `periodKey` alone.
    void GetFigures(ReturnFigures& figures) const;

    bool IsContinued() const { return m_continued; }
    const BoxTexts& StoredTexts() const { return m_stored; }
    const std::string& ImportedBox3() const { return m_importedBox3; }
    const std::string& ImportedBox5() const { return m_importedBox5; }

    // Import: the import window, then ImportFile with the chosen path.
    void OnImport();
    // Reads the figure file into the boxes, each value checked as if typed, then normalises.
    void ImportFile(const std::string& path);
    // Continue: normalises, refuses a figure outside HMRC's limits, else closes with 1.
    void OnContinue();
    // Brings the nine boxes into their stored forms (boxes 6 to 9 in whole pounds).
    void NormaliseAll();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnBoxChanged(int index);
    void ShowInvalidFigure(int index);

    BoxTexts m_stored;
    bool m_continued = false;
    std::string m_importedBox3, m_importedBox5;
};
