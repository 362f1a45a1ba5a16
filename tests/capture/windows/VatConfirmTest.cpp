#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatConfirm.h"
#include "VatEntry.h"

namespace {

using calvenor::test::ReadFile;
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

class ConfirmWindow : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(calvenor::test::VisibleTopLevelWindows(), 0); }

    void Show(CVatConfirm& confirm, const ReturnFigures& figures) {
        confirm.SetPeriod("2023-04-01", "2023-06-30");
        confirm.SetVrn("123456789 : Acme Trading Ltd");
        confirm.SetCompanyText("123456789 : Acme Trading Ltd");
        confirm.SetFigures(figures);
        confirm.show();
        QCoreApplication::processEvents();
    }

    CUiRecorder ui;
};

TEST_F(ConfirmWindow, TypedFiguresAreNeitherHighlightedNorWarnedAbout) {
    CVatConfirm confirm(CaptureProgram::Filer);
    Show(confirm, Confirmed());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_FALSE(IsHighlighted(confirm.Box(3)));
    EXPECT_FALSE(IsHighlighted(confirm.Box(5)));
    EXPECT_EQ(confirm.Box(5)->text(), "50.25");
    EXPECT_TRUE(confirm.Box(1)->isReadOnly());
    confirm.OnBack();
    EXPECT_EQ(confirm.result(), kDialogBack);
}

TEST_F(ConfirmWindow, RecalculatedBoxIsHighlightedAndWarnedOncePerShowing) {
    CVatConfirm confirm(CaptureProgram::Filer);
    Show(confirm, Confirmed(true, false));
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
    Show(confirm, Confirmed(false, true));
    EXPECT_EQ(ui.Messages().size(), 2u);
    EXPECT_FALSE(IsHighlighted(confirm.Box(3)));
    EXPECT_TRUE(IsHighlighted(confirm.Box(5)));
    confirm.reject();
}

TEST_F(ConfirmWindow, SubmitFollowsTheDeclarationAndStartsDisabledEveryTime) {
    CVatConfirm confirm(CaptureProgram::Filer);
    Show(confirm, Confirmed());
    auto* declaration = confirm.findChild<QCheckBox*>("declarationCheckBox");
    auto* submit = confirm.findChild<QPushButton*>("submitButton");
    EXPECT_FALSE(declaration->isChecked());
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    EXPECT_TRUE(submit->isEnabled());
    declaration->click();
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    confirm.OnBack();

    Show(confirm, Confirmed());
    EXPECT_FALSE(declaration->isChecked());
    EXPECT_FALSE(submit->isEnabled());
    declaration->click();
    submit->click();
    EXPECT_EQ(confirm.result(), kDialogOk);
    EXPECT_TRUE(confirm.IsSubmitClicked());

    Show(confirm, Confirmed());
    EXPECT_FALSE(confirm.IsSubmitClicked());
    confirm.reject();
}

TEST_F(ConfirmWindow, EnterClosesWithOneButNeverSubmits) {
    for (const CaptureProgram program : {CaptureProgram::Filer, CaptureProgram::Approvals}) {
        CVatConfirm confirm(program);
        Show(confirm, Confirmed());
        if (auto* declaration = confirm.findChild<QCheckBox*>("declarationCheckBox")) {
            declaration->click();
            confirm.findChild<QPushButton*>("submitButton")->setFocus();
        }
        QTest::keyClick(&confirm, Qt::Key_Return);
        EXPECT_FALSE(confirm.isVisible());
        EXPECT_EQ(confirm.result(), kDialogOk);
        EXPECT_FALSE(confirm.IsSubmitClicked());
    }
}

TEST_F(ConfirmWindow, ApprovalsSaveWritesTheConfirmedFigures) {
    TempFolder folder;
    CVatConfirm confirm(CaptureProgram::Approvals);
    Show(confirm, Confirmed(true, false));
    const auto path = folder / "out.csv";
    ui.QueueSaveFileName(QString::fromStdString(path.string()));
    confirm.findChild<QPushButton*>("saveButton")->click();
    ASSERT_EQ(ui.FileDialogs().size(), 1u);
    EXPECT_TRUE(ui.FileDialogs()[0].save);
    EXPECT_EQ(ui.FileDialogs()[0].request.initialName, "123456789 - Acme Trading Ltd.csv");
    EXPECT_EQ(ui.FileDialogs()[0].request.filters,
              QStringList({"VAT Data (*.csv)", "All Files (*)"}));
    EXPECT_TRUE(ui.FileDialogs()[0].request.promptOverwrite);
    EXPECT_EQ(ReadFile(path), "100.00,0.50,100.50,150.75,50.25,1000,1500,0,0\r\n");

    const auto missing = folder / "no such folder" / "out.csv";
    ui.QueueSaveFileName(QString::fromStdString(missing.string()));
    confirm.OnSave();
    ASSERT_EQ(ui.Messages().size(), 2u);  // the warning, then the failure
    EXPECT_EQ(ui.Messages()[1].title, "Error opening File");
    EXPECT_EQ(ui.Messages()[1].text,
              QString::fromStdString("Unable to open file " + missing.string()));
    EXPECT_TRUE(confirm.isVisible());

    std::string printed;
    confirm.SetPrintHandler([&](QWidget*, const std::string& html) { printed = html; });
    confirm.findChild<QPushButton*>("printButton")->click();
    EXPECT_EQ(
        printed.rfind("VAT Return for Sign Off for : 123456789 : Acme Trading Ltd<br/><br/>", 0),
        0u);
    confirm.findChild<QPushButton*>("doneButton")->click();
    EXPECT_EQ(confirm.result(), kDialogOk);
}

// Each configuration shows its own texts.
struct TextRow {
    const char* name;
    CaptureProgram program;
    bool entry;
    const char* control;  // objectName, or "" for the window caption
    QString text;
};

class WindowTexts : public testing::TestWithParam<TextRow> {
protected:
    CUiRecorder ui;
};

QString TextOf(QWidget& window, const char* control) {
    if (*control == '\0')
        return window.windowTitle();
    QWidget* widget = window.findChild<QWidget*>(control);
    if (!widget)
        return "<missing>";
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->text();
    return "<no text>";
}

TEST_P(WindowTexts, ShowTheirConfigurationsTexts) {
    const TextRow& row = GetParam();
    std::unique_ptr<QDialog> window;
    if (row.entry) {
        auto entry = std::make_unique<CVatEntry>(row.program);
        entry->SetPeriod("2020-01-01", "2020-03-31");
        entry->SetVrn("123456789 : Acme Trading Ltd");
        entry->SetCompanyText("123456789 : Acme Trading Ltd");
        window = std::move(entry);
    } else {
        auto confirm = std::make_unique<CVatConfirm>(row.program);
        confirm->SetPeriod("2020-01-01", "2020-03-31");
        confirm->SetVrn("123456789 : Acme Trading Ltd");
        confirm->SetCompanyText("123456789 : Acme Trading Ltd");
        window = std::move(confirm);
    }
    window->show();
    EXPECT_EQ(TextOf(*window, row.control), row.text);
    window->reject();
}

constexpr auto kFiler = CaptureProgram::Filer;
constexpr auto kApprovals = CaptureProgram::Approvals;

INSTANTIATE_TEST_SUITE_P(
    Controls, WindowTexts,
    testing::Values(
        TextRow{"entry_filer_caption", kFiler, true, "",
                "Enter VAT Details  For VAT Number: 123456789 : Acme Trading Ltd"},
        TextRow{"entry_filer_title", kFiler, true, "titleLabel",
                "Enter VAT details for the period: 01 Jan 2020  To  31 Mar 2020"},
        TextRow{"entry_filer_box3", kFiler, true, "box3Label",
                "3.Total VAT due (the sum of boxes 1 and 2.)"},
        TextRow{"entry_filer_whole_pounds", kFiler, true, "wholePounds9Label", "Whole Pounds only"},
        TextRow{"entry_filer_leave", kFiler, true, "cancelButton", "Cancel"},
        TextRow{"entry_approvals_caption", kApprovals, true, "", "Enter VAT Details For Approval"},
        TextRow{"entry_approvals_title", kApprovals, true, "titleLabel",
                "Enter VAT details for : VAT No. 123456789 : Acme Trading Ltd"},
        TextRow{"entry_approvals_box3", kApprovals, true, "box3Label",
                "3.Total VAT due (the sum of boxes 1 and 2)"},
        TextRow{"entry_approvals_no_whole_pounds", kApprovals, true, "wholePounds9Label",
                "<missing>"},
        TextRow{"entry_approvals_leave", kApprovals, true, "backButton", "Back"},
        TextRow{"entry_hint", kApprovals, true, "hintLabel",
                "(Boxes 3 and 5 calculate automatically on Continue)"},
        TextRow{"confirm_filer_caption", kFiler, false, "",
                "Confim VAT for Submission  For VAT Number: 123456789 : Acme Trading Ltd"},
        TextRow{"confirm_filer_title", kFiler, false, "titleLabel",
                "Confirm VAT details for the period:  01 Jan 2020  To  31 Mar 2020"},
        TextRow{"confirm_filer_box5", kFiler, false, "box5Label",
                "5. Net VAT to be paid to Customs or reclaimed by you\n(Difference between "
                "boxes 3 and 4)"},
        TextRow{"confirm_filer_submit", kFiler, false, "submitButton", "Submit"},
        TextRow{"confirm_filer_no_save", kFiler, false, "saveButton", "<missing>"},
        TextRow{"confirm_approvals_caption", kApprovals, false, "",
                "Confirm VAT Values For Approval"},
        TextRow{"confirm_approvals_title", kApprovals, false, "titleLabel",
                "Confirm VAT details for : VAT No. 123456789 : Acme Trading Ltd"},
        TextRow{"confirm_approvals_done", kApprovals, false, "doneButton", "Done"},
        TextRow{"confirm_approvals_print", kApprovals, false, "printButton", "Print"},
        TextRow{"confirm_approvals_no_submit", kApprovals, false, "submitButton", "<missing>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowTextsPeriod, UnconvertibleDatesAreShownAsStored) {
    CUiRecorder ui;
    CVatEntry entry(CaptureProgram::Filer);
    entry.SetPeriod("2020-13-01", "2020-03-31");
    entry.show();
    EXPECT_EQ(entry.findChild<QLabel*>("titleLabel")->text(),
              "Enter VAT details for the period: 2020-13-01  To  2020-03-31");
    entry.reject();
}

}  // namespace
