#include <gtest/gtest.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

#include "ImportDialog.h"
#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatConfirm.h"
#include "VatEntry.h"

namespace {

using calvenor::test::TempFolder;

const QString kWarning =
    "Please check your imported data.\n\nThe highlighted values have been re-calculated based on "
    "the other data imported.\n\nIf unsure please click the Back button and check your data";

ReturnFigures Confirmed(bool box3Recalculated = false, bool box5Recalculated = false) {
    ReturnFigures figures;
    SetBoxTexts(figures, {"100.00", "0.50", "100.50", "150.75", "50.25", "1000", "1500", "0", "0"});
    figures.box3Recalculated = box3Recalculated;
    figures.box5Recalculated = box5Recalculated;
    return figures;
}

bool IsHighlighted(const QLineEdit* box) {
    return box->palette().color(QPalette::Text) == QColor(255, 0, 0) &&
           box->palette().color(QPalette::Base) == QColor(242, 242, 242);
}

// A filer's confirmation window, shown again for each showing a test needs.
class ConfirmWindow : public testing::Test {
protected:
    void TearDown() override {
        confirm.reject();
        EXPECT_EQ(calvenor::test::VisibleTopLevelWindows(), 0);
    }

    void Show(const ReturnFigures& figures, CVatConfirm& window) {
        window.SetPeriod("2023-04-01", "2023-06-30");
        window.SetVrn("123456789 : Acme Trading Ltd");
        window.SetCompanyText("123456789 : Acme Trading Ltd");
        window.SetFigures(figures);
        window.show();
        QCoreApplication::processEvents();
    }
    void Show(const ReturnFigures& figures) { Show(figures, confirm); }

    CUiRecorder ui;
    CVatConfirm confirm{CaptureProgram::Filer};
};

TEST_F(ConfirmWindow, OnlyARecalculatedBoxIsHighlightedAndWarnedOncePerShowing) {
    Show(Confirmed());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_FALSE(IsHighlighted(confirm.Box(3)));
    EXPECT_EQ(confirm.Box(5)->text(), "50.25");
    EXPECT_TRUE(confirm.Box(1)->isReadOnly());
    confirm.OnBack();
    EXPECT_EQ(confirm.result(), kDialogBack);

    Show(Confirmed(true, false));
    EXPECT_TRUE(IsHighlighted(confirm.Box(3)));
    EXPECT_FALSE(IsHighlighted(confirm.Box(5)));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Warning");
    EXPECT_EQ(ui.Messages()[0].text, kWarning);
    EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Exclamation);

    confirm.move(confirm.pos() + QPoint(40, 30));
    confirm.resize(confirm.size() + QSize(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.Messages().size(), 1u);

    confirm.OnBack();
    Show(Confirmed(false, true));
    EXPECT_EQ(ui.Messages().size(), 2u);
    EXPECT_FALSE(IsHighlighted(confirm.Box(3)));
    EXPECT_TRUE(IsHighlighted(confirm.Box(5)));
}

TEST_F(ConfirmWindow, SubmitFollowsTheDeclarationAndStartsDisabledEveryTime) {
    Show(Confirmed());
    auto* declaration = confirm.findChild<QCheckBox*>("declarationCheckBox");
    auto* submit = confirm.findChild<QPushButton*>("submitButton");
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    EXPECT_TRUE(submit->isEnabled());
    declaration->click();
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    confirm.OnBack();

    Show(Confirmed());
    EXPECT_FALSE(declaration->isChecked());
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    submit->click();
    EXPECT_EQ(confirm.result(), kDialogOk);
    EXPECT_TRUE(confirm.IsSubmitClicked());
    Show(Confirmed());
    EXPECT_FALSE(confirm.IsSubmitClicked());
}

// Enter presses the focused button as a click would; with no button focused it closes with 1,
// which files nothing and ends an approval as Done does.
TEST_F(ConfirmWindow, EnterPressesTheFocusedButtonElseClosesWithoutFiling) {
    const std::tuple<CaptureProgram, const char*, std::string> rows[] = {
        {CaptureProgram::Filer, "backButton", "closed 2"},
        {CaptureProgram::Filer, "submitButton", "closed 1 submitted"},
        {CaptureProgram::Filer, "declarationCheckBox", "closed 1"},
        {CaptureProgram::Approvals, "backButton", "closed 2"},
        {CaptureProgram::Approvals, "saveButton", "asked for a file name"},
        {CaptureProgram::Approvals, "printButton", "Printing Error - check for printers"},
        {CaptureProgram::Approvals, "doneButton", "closed 1"},
        {CaptureProgram::Approvals, "box1Edit", "closed 1"}};
    for (const auto& [program, focus, outcome] : rows) {
        CVatConfirm window(program);
        Show(Confirmed(), window);
        if (auto* declaration = window.findChild<QCheckBox*>("declarationCheckBox"))
            declaration->click();
        ui.ClearRecords();
        QWidget* focused = window.findChild<QWidget*>(focus);
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_Return);
        std::string happened = "closed " + std::to_string(window.result());
        if (window.IsSubmitClicked())
            happened += " submitted";
        if (window.isVisible() && !ui.FileDialogs().empty())
            happened = "asked for a file name";
        else if (window.isVisible())
            happened = ui.Messages().empty() ? "open" : ui.Messages()[0].text.toStdString();
        EXPECT_EQ(happened, outcome) << focus;
        window.reject();
    }
}

TEST_F(ConfirmWindow, ApprovalsSaveAsksBeforeOverwritingAndReportsAFailedWrite) {
    TempFolder folder;
    CVatConfirm approvals(CaptureProgram::Approvals);
    Show(Confirmed(), approvals);
    const auto missing = folder / "no such folder" / "out.csv";
    ui.QueueSaveFileName(QString::fromStdString(missing.string()));
    approvals.findChild<QPushButton*>("saveButton")->click();
    ASSERT_EQ(ui.FileDialogs().size(), 1u);
    EXPECT_TRUE(ui.FileDialogs()[0].save);
    EXPECT_EQ(ui.FileDialogs()[0].request.filters,
              QStringList({"VAT Data (*.csv)", "All Files (*)"}));
    EXPECT_TRUE(ui.FileDialogs()[0].request.promptOverwrite);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Error opening File");
    EXPECT_EQ(ui.Messages()[0].text,
              QString::fromStdString("Unable to open file " + missing.string()));
    EXPECT_TRUE(approvals.isVisible());
    approvals.findChild<QPushButton*>("doneButton")->click();
    EXPECT_EQ(approvals.result(), kDialogOk);
}

// A label's or button's text, or the caption for "".
QString TextOf(QWidget& window, const char* control) {
    if (*control == '\0')  // as the window system shows it
        return window.windowHandle() ? window.windowHandle()->title() : "<not shown>";
    QWidget* widget = window.findChild<QWidget*>(control);
    return widget ? widget->property("text").toString() : "<missing>";
}

// Every window that shows a client's name shows it as it is: no label takes it for markup.
TEST(WindowTexts, EachProgramsWindowsShowTheirOwnTextsAndDataAsPlainText) {
    CUiRecorder ui;
    CVatEntry filerEntry(CaptureProgram::Filer), approvalsEntry(CaptureProgram::Approvals);
    CVatConfirm filerConfirm(CaptureProgram::Filer), approvalsConfirm(CaptureProgram::Approvals);
    CImportDialog import;
    const auto show = [](auto& window) {
        window.SetPeriod("2020-01-01", "2020-03-31");
        window.SetVrn("123456789 : <b>Acme</b> [*] & Sons");
        window.SetCompanyText("123456789 : <b>Acme</b> [*] & Sons");
        window.show();
    };
    show(filerEntry);
    show(approvalsEntry);
    show(filerConfirm);
    show(approvalsConfirm);
    import.show();
    struct Row {
        QDialog* window;
        const char* control;  // objectName, or "" for the window caption
        QString text;
    };
    const Row rows[] = {
        {&filerEntry, "", "Enter VAT Details  For VAT Number: 123456789 : <b>Acme</b> [*] & Sons"},
        {&filerEntry, "titleLabel",
         "Enter VAT details for the period: 01 Jan 2020  To  31 Mar 2020"},
        {&filerEntry, "box3Label", "3.Total VAT due (the sum of boxes 1 and 2.)"},
        {&filerEntry, "wholePounds9Label", "Whole Pounds only"},
        {&filerEntry, "cancelButton", "Cancel"},
        {&approvalsEntry, "", "Enter VAT Details For Approval"},
        {&approvalsEntry, "titleLabel",
         "Enter VAT details for : VAT No. 123456789 : <b>Acme</b> [*] & Sons"},
        {&approvalsEntry, "box3Label", "3.Total VAT due (the sum of boxes 1 and 2)"},
        {&approvalsEntry, "wholePounds9Label", "<missing>"},
        {&approvalsEntry, "backButton", "Back"},
        {&approvalsEntry, "hintLabel", "(Boxes 3 and 5 calculate automatically on Continue)"},
        {&filerConfirm, "",
         "Confim VAT for Submission  For VAT Number: 123456789 : <b>Acme</b> [*] & Sons"},
        {&filerConfirm, "titleLabel",
         "Confirm VAT details for the period:  01 Jan 2020  To  31 Mar 2020"},
        {&filerConfirm, "box5Label",
         "5. Net VAT to be paid to Customs or reclaimed by you\n(Difference between "
         "boxes 3 and 4)"},
        {&filerConfirm, "submitButton", "Submit"},
        {&filerConfirm, "saveButton", "<missing>"},
        {&approvalsConfirm, "", "Confirm VAT Values For Approval"},
        {&approvalsConfirm, "titleLabel",
         "Confirm VAT details for : VAT No. 123456789 : <b>Acme</b> [*] & Sons"},
        {&approvalsConfirm, "doneButton", "Done"},
        {&approvalsConfirm, "printButton", "Print"},
        {&approvalsConfirm, "submitButton", "<missing>"},
        {&import, "", "File Import"},
        {&import, "instructionLabel", "Browse for the .CSV file containing your VAT Return data."}};
    for (const Row& row : rows)
        EXPECT_EQ(TextOf(*row.window, row.control), row.text) << row.control;
    for (QDialog* window : std::initializer_list<QDialog*>{
             &filerEntry, &approvalsEntry, &filerConfirm, &approvalsConfirm, &import}) {
        for (const QLabel* label : window->findChildren<QLabel*>())
            EXPECT_TRUE(label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text()))
                << label->text().toStdString();
        window->reject();
    }
}

}  // namespace
