#include <gtest/gtest.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <sstream>

#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatConfirm.h"
#include "VatEntry.h"

// The entry, import and confirmation windows of both programs.
namespace {

using namespace calvenor::test;

void Show(CFigureWindow& window, const std::string& client = "123456789 : Acme Trading Ltd") {
    window.SetPeriod("2020-01-01", "2020-03-31");
    window.SetVrn(client);
    window.SetCompanyText(client);
    window.show();
    QCoreApplication::processEvents();
}

// The filer's entry window, shown, and its confirmation window, shown again for each showing a
// test needs.
class FigureWindow : public testing::Test {
protected:
    void SetUp() override { Show(entry); }
    void TearDown() override {
        entry.reject();
        confirm.reject();
        EXPECT_EQ(VisibleTopLevelWindows(), 0);
    }
    void ShowWith(bool box3Recalculated, bool box5Recalculated) {
        ReturnFigures figures;
        SetBoxTexts(figures, {"100.00", "0.50", "100.50", "150.75", "50.25", "1", "1", "0", "0"});
        figures.box3Recalculated = box3Recalculated;
        figures.box5Recalculated = box5Recalculated;
        confirm.SetFigures(figures);
        Show(confirm);
    }

    CUiRecorder ui;
    CVatEntry entry{CaptureProgram::Filer};
    CVatConfirm confirm{CaptureProgram::Filer};
};
using ConfirmWindow = FigureWindow;
using EntryWindow = FigureWindow;

// Every showing starts afresh: only a re-calculated box is highlighted and warned of, once
// however the window is moved; the declaration is unticked and Submit disabled until it is ticked.
TEST_F(ConfirmWindow, EachShowingHighlightsAndWarnsOfItsOwnBoxesAndNeedsTheDeclaration) {
    auto* declaration = confirm.findChild<QCheckBox*>("declarationCheckBox");
    auto* submit = confirm.findChild<QPushButton*>("submitButton");
    const auto highlighted = [this](int box) {
        return confirm.Box(box)->palette().color(QPalette::Text) == QColor(255, 0, 0);
    };
    const std::tuple<bool, bool, std::size_t> showings[] = {
        {false, false, 0}, {true, false, 1}, {false, true, 2}};
    for (const auto& [box3, box5, warnings] : showings) {
        ShowWith(box3, box5);
        confirm.move(confirm.pos() + QPoint(40, 30));
        QCoreApplication::processEvents();
        EXPECT_EQ(highlighted(3), box3);
        EXPECT_EQ(highlighted(5), box5);
        EXPECT_EQ(ui.Messages().size(), warnings);
        EXPECT_FALSE(declaration->isChecked() || submit->isEnabled() || confirm.IsSubmitClicked());
        declaration->click();
        submit->click();
        EXPECT_TRUE(confirm.result() == kDialogOk && confirm.IsSubmitClicked());
    }
    EXPECT_EQ(ui.Messages()[0].title, "Warning");
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
        Show(window);
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

// A client's text is shown as it is: never taken for markup, and "[*]" in a caption is not
// Qt's modified mark.
TEST(FigureWindows, ShowTheClientAndPeriodAsPlainText) {
    CUiRecorder ui;
    const QString client = "123456789 : <b>Acme</b> [*] & Sons";
    CVatEntry filerEntry(CaptureProgram::Filer), approvalsEntry(CaptureProgram::Approvals);
    CVatConfirm filerConfirm(CaptureProgram::Filer), approvalsConfirm(CaptureProgram::Approvals);
    for (CFigureWindow* window : std::initializer_list<CFigureWindow*>{
             &filerEntry, &approvalsEntry, &filerConfirm, &approvalsConfirm}) {
        Show(*window, client.toStdString());
        const auto* title = window->findChild<QLabel*>("titleLabel");
        EXPECT_EQ(title->textFormat(), Qt::PlainText);
        const QString shown = window->windowHandle()->title() + "|" + title->text();
        EXPECT_TRUE(window->Program() == CaptureProgram::Filer
                        ? shown.contains(client + "|") &&
                              shown.endsWith("01 Jan 2020  To  31 Mar 2020")
                        : shown.endsWith(client))
            << shown.toStdString();
        window->reject();
    }
}

TEST_F(EntryWindow, EnterMovesOnFromABoxAndPressesAFocusedButton) {
    entry.Box(1)->setFocus();
    QTest::keyClick(entry.Box(1), Qt::Key_Return);
    EXPECT_EQ(entry.focusWidget(), entry.Box(2));
    auto* next = entry.findChild<QPushButton*>("continueButton");
    next->setFocus();
    QTest::keyClick(next, Qt::Key_Enter);
    EXPECT_TRUE(!entry.isVisible() && entry.IsContinued());
}

TEST_F(EntryWindow, AnAmountBeyondHmrcsLimitsKeepsTheWindowOpenNamingTheBox) {
    entry.Box(7)->setText(QString(40, '9'));
    entry.OnContinue();
    EXPECT_TRUE(ui.Messages().at(0).text.startsWith("Box 7 "));
    EXPECT_TRUE(entry.isVisible() && !entry.IsContinued());
    EXPECT_EQ(entry.focusWidget(), entry.Box(7));
}

// A figure with no digit before its point follows the rule of every other figure: padded and
// shown, or cut to two decimals (never rounded) while the box keeps what was typed, so the
// return holds exactly what is confirmed. (Imported, see the next test.)
TEST_F(EntryWindow, FiguresWithALeadingPointFollowTheRuleOfEveryOtherFigure) {
    const std::tuple<QString, QString, std::string> rows[] = {
        {"1.555", "1.555", "1.55 1"},  // the rule the others follow: shown, stored
        {".5", "0.50", "0.50 0"},     {".555", ".555", "0.55 0"},    {"-.", "0.00", "0.00 0"},
        {"-.5", "-0.50", "-0.50 -0"}, {"-.555", "-.555", "-0.55 -0"}};
    for (const auto& [typed, shownText, stored] : rows) {
        entry.Clear();
        for (int box : {1, 2, 4, 6, 7, 8, 9}) {
            entry.Box(box)->clear();
            QTest::keyClicks(entry.Box(box), typed);
        }
        entry.OnContinue();
        ReturnFigures figures;
        entry.GetFigures(figures);
        EXPECT_EQ(entry.Box(9)->text(), shownText);
        EXPECT_EQ(figures.box4 + " " + figures.box6, stored) << typed.toStdString();
    }
    EXPECT_TRUE(ui.Messages().empty());
}

// Each figure file in tests/data/imports/ with what importing it must give (expected.txt there).
TEST_F(EntryWindow, ImportFillsTheBoxesAsIfTypedOrChangesNothing) {
    std::istringstream table(ReadFile(TestData("imports/expected.txt")));
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++cases;
        const QStringList columns = QString::fromStdString(line).split('\t');
        SCOPED_TRACE(line);
        ui.ClearRecords();
        entry.Clear();
        entry.show();
        entry.Box(1)->setText("5");
        entry.ImportFile(TestData("imports/" + columns[0].toStdString()).string());
        QStringList shown;
        for (int box = 1; box <= 9; ++box)
            shown << entry.Box(box)->text();
        EXPECT_EQ(shown.join(','), columns[1]);
        ASSERT_EQ(ui.Messages().size(), columns.size() > 3 ? 1u : 0u);
        EXPECT_TRUE(columns.size() < 4 || ui.Messages()[0].text.startsWith(columns[3]));
        entry.OnContinue();
        ReturnFigures figures;
        entry.GetFigures(figures);
        EXPECT_EQ(
            QString(figures.box3Recalculated ? "3" : "") + (figures.box5Recalculated ? "5" : ""),
            columns[2] == "-" ? "" : columns[2]);
    }
    EXPECT_EQ(cases, 9);
}

// The import window needs a file, which only Browse can choose; Enter on Browse browses rather
// than pressing the default OK, and a cancelled Browse keeps the file chosen before.
TEST_F(EntryWindow, ImportThroughTheImportWindowWhichNeedsAFileAndKeepsTheLastChoice) {
    TempFolder folder;
    WriteFile(folder / "f.csv", "1,2,3,4,5,6,7,8,9\r\n");
    ui.QueueOpenFileName(QString::fromStdString((folder / "f.csv").string()));
    ui.QueueOpenFileName(std::nullopt);
    WhenModalShown([&](QWidget* modal) {
        modal->findChild<QPushButton*>("okButton")->click();  // no file yet: refused
        auto* browse = modal->findChild<QPushButton*>("browseButton");
        browse->setFocus();
        QTest::keyClick(browse, Qt::Key_Return);
        browse->click();  // cancelled
        modal->findChild<QPushButton*>("okButton")->click();
    });
    entry.OnImport();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Please select a file!");
    EXPECT_EQ(ui.FileDialogs().size(), 2u);
    EXPECT_EQ(entry.Box(9)->text(), "9.00");
}

}  // namespace
