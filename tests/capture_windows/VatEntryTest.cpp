#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatEntry.h"

namespace {

using calvenor::test::TempFolder;
using calvenor::test::WhenModalShown;

const QString kInvalidFigure =
    "Only numeric characters, single decimal point (.) or initial negative symbol (-) "
    "allowed.\r\rNo commas, spaces or other characters accepted.";

// The filer's entry window for one period and client, shown.
class EntryWindow : public testing::Test {
protected:
    void SetUp() override {
        entry.SetPeriod("2020-01-01", "2020-03-31");
        entry.SetVrn("123456789 : Acme Trading Ltd");
        entry.show();
    }
    void TearDown() override {
        entry.reject();
        EXPECT_EQ(calvenor::test::VisibleTopLevelWindows(), 0);
    }

    std::string WriteFigures(const std::string& content) {
        const auto path = folder / "figures.csv";
        calvenor::test::WriteFile(path, content);
        return path.string();
    }

    CUiRecorder ui;
    TempFolder folder;
    CVatEntry entry{CaptureProgram::Filer};
};

TEST_F(EntryWindow, CommaTypedIntoAFullBoxEmptiesItWithTheMessage) {
    entry.Box(1)->setText("1000");
    QTest::keyClick(entry.Box(1), ',');
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, kInvalidFigure);
    EXPECT_EQ(ui.Messages()[0].ShownTitle(), "Error");
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Exclamation);
    EXPECT_EQ(entry.Box(1)->text(), "");
}

TEST_F(EntryWindow, EnterMovesOnFromABoxAndPressesAFocusedButton) {
    entry.Box(1)->setFocus();
    QTest::keyClick(entry.Box(1), Qt::Key_Return);
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.focusWidget(), entry.Box(2));
    auto* next = entry.findChild<QPushButton*>("continueButton");
    next->setFocus();
    QTest::keyClick(next, Qt::Key_Enter);
    EXPECT_FALSE(entry.isVisible());
    EXPECT_TRUE(entry.IsContinued());
}

TEST_F(EntryWindow, AnAmountBeyondHmrcsLimitsIsRefusedNamingTheBox) {
    entry.Box(4)->setText("10000000000000");
    entry.Box(7)->setText(QString(40, '9'));
    entry.OnContinue();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_TRUE(ui.Messages()[0].text.startsWith("Box 4 ")) << ui.Messages()[0].text.toStdString();
    EXPECT_TRUE(entry.isVisible());
    EXPECT_FALSE(entry.IsContinued());

    entry.Box(4)->setText("1");
    entry.OnContinue();
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_TRUE(ui.Messages()[1].text.startsWith("Box 7 "));
    entry.Box(7)->setText("9999999999999");
    entry.OnContinue();
    EXPECT_EQ(entry.result(), kDialogOk);
}

// A figure with no digit before its point follows the rule of every other figure: padded and
// shown, or cut to two decimals (never rounded) while the box keeps what was typed, so the
// return holds exactly what is confirmed; reopened, the boxes show the stored forms. Typed in
// both programs, and imported as boxes 2, 3 and 5, where boxes 3 and 5 are flagged as for any
// import that is not what they add up to.
TEST_F(EntryWindow, FiguresWithALeadingPointFollowTheRuleOfEveryOtherFigure) {
    struct Row {
        const char* text;
        std::string shown;          // what the box shows after Continue or import
        std::string pence, pounds;  // stored in boxes 1 to 5, and in boxes 6 to 9
        bool box3Flagged = true, box5Flagged = true;
    };
    const Row rows[] = {{"1.555", "1.555", "1.55", "1"},  // the rule the others follow
                        {".5", "0.50", "0.50", "0", false, false},
                        {".55", "0.55", "0.55", "0", false, false},
                        {".555", ".555", "0.55", "0"},
                        {".12345", ".12345", "0.12", "0"},
                        {".", "0.00", "0.00", "0", false, false},
                        {"-.", "0.00", "0.00", "0", false, false},
                        {"-.5", "-0.50", "-0.50", "-0", false},
                        {"-.55", "-0.55", "-0.55", "-0", false},
                        {"-.555", "-.555", "-0.55", "-0"}};
    CVatEntry approvals(CaptureProgram::Approvals);
    for (const Row& row : rows) {
        for (CVatEntry* window : {&entry, &approvals}) {
            SCOPED_TRACE(std::string(row.text) + (window == &entry ? " filer" : " approvals"));
            window->Clear();
            for (int box : {1, 2, 4, 6, 7, 8, 9}) {
                window->Box(box)->clear();
                QTest::keyClicks(window->Box(box), row.text);
            }
            window->OnContinue();
            ASSERT_EQ(window->result(), kDialogOk);
            EXPECT_EQ(window->Box(1)->text().toStdString(), row.shown);
            EXPECT_EQ(window->Box(9)->text().toStdString(), row.shown);
            window->show();  // as after Back: the stored texts
            EXPECT_EQ(window->Box(4)->text().toStdString(), row.pence);
            EXPECT_EQ(window->Box(6)->text().toStdString(), row.pounds);
            window->reject();

            window->Clear();
            const std::string x = row.text;
            window->ImportFile(WriteFigures("0," + x + "," + x + ",0," + x + ",0,0,0," + x));
            EXPECT_EQ(window->Box(3)->text().toStdString(), row.shown);
            window->OnContinue();
            ReturnFigures figures;
            window->GetFigures(figures);
            EXPECT_EQ(figures.box2, row.pence);
            EXPECT_EQ(figures.box9, row.pounds);
            EXPECT_EQ(figures.box3Recalculated, row.box3Flagged);
            EXPECT_EQ(figures.box5Recalculated, row.box5Flagged);
            EXPECT_TRUE(figures.entered);
        }
    }
    EXPECT_TRUE(ui.Messages().empty());
}

struct ImportRow {
    const char* name;
    std::string file;
    QString shown;         // the nine boxes after the import, joined by commas; box 1 held "5"
    QString message = {};  // the start of the one message shown, or empty
    bool box3Flagged = false, box5Flagged = false;
    friend void PrintTo(const ImportRow& row, std::ostream* os) { *os << row.name; }
};

class EntryImport : public EntryWindow, public testing::WithParamInterface<ImportRow> {};

TEST_P(EntryImport, FillsTheBoxesAsIfTypedOrChangesNothing) {
    const ImportRow& row = GetParam();
    entry.Box(1)->setText("5");
    entry.ImportFile(WriteFigures(row.file));
    QStringList shown;
    for (int box = 1; box <= 9; ++box)
        shown << entry.Box(box)->text();
    EXPECT_EQ(shown.join(','), row.shown);
    ASSERT_EQ(ui.Messages().size(), row.message.isEmpty() ? 0u : 1u);
    if (!row.message.isEmpty()) {
        EXPECT_TRUE(ui.Messages()[0].text.startsWith(row.message))
            << ui.Messages()[0].text.toStdString();
        EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Exclamation);
    }
    entry.OnContinue();
    ReturnFigures figures;
    entry.GetFigures(figures);
    EXPECT_EQ(figures.box3Recalculated, row.box3Flagged);
    EXPECT_EQ(figures.box5Recalculated, row.box5Flagged);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, EntryImport, testing::Values(
    ImportRow{"good_file", "100.00,0.50,100.50,150.75,50.25,1000,1500,0,0\r\n",
              "100.00,0.50,100.50,150.75,50.25,1000.00,1500.00,0.00,0.00"},
    ImportRow{"box3_differs", "100,0.5,999,150.75,50.25,1,2,3,4\n",
              "100.00,0.50,999.00,150.75,50.25,1.00,2.00,3.00,4.00", "", true},
    ImportRow{"negative_box5_flagged", "10,0,10,20,-10,0,0,0,0",
              "10.00,0.00,10.00,20.00,-10.00,0.00,0.00,0.00,0.00", "", false, true},
    ImportRow{"empty_box3_never_flagged", "1,2,,0,3,0,0,0,0",
              "1.00,2.00,0.00,0.00,3.00,0.00,0.00,0.00,0.00"},
    ImportRow{"rejected_value_emptied", "1.2.3,2,2,0,2,0,0,0,0",
              "0.00,2.00,2.00,0.00,2.00,0.00,0.00,0.00,0.00", kInvalidFigure},
    ImportRow{"broken_file", "1;2;3", "5,,,,,,,,", "Unable to determine file format\n\n"},
    ImportRow{"value_longer_than_a_box_holds", std::string(40000, '1') + ",2,3,4,5,6,7,8,9",
              "5,,,,,,,,", "Unable to import file "}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(EntryWindow, ImportThroughTheImportWindowWhichNeedsAFileAndKeepsTheLastChoice) {
    WhenModalShown([](QWidget* modal) { modal->findChild<QPushButton*>("cancelButton")->click(); });
    entry.OnImport();
    EXPECT_EQ(entry.Box(1)->text(), "");

    const QString path = QString::fromStdString(WriteFigures("1,2,3,4,5,6,7,8,9\r\n"));
    ui.QueueOpenFileName(path);
    ui.QueueOpenFileName(std::nullopt);
    WhenModalShown([&](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "File Import");
        modal->findChild<QPushButton*>("okButton")->click();  // no file yet: refused
        EXPECT_TRUE(modal->isVisible());
        auto* browse = modal->findChild<QPushButton*>("browseButton");
        browse->setFocus();
        QTest::keyClick(browse, Qt::Key_Return);  // Browse, not the default OK
        browse->click();                          // cancelled
        auto* shown = modal->findChild<QLineEdit*>("filePathEdit");
        EXPECT_EQ(shown->text(), path);
        EXPECT_TRUE(shown->isReadOnly());
        modal->findChild<QPushButton*>("okButton")->click();
    });
    entry.OnImport();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Please select a file!");
    EXPECT_EQ(ui.Messages()[0].ShownTitle(), "Error");
    ASSERT_EQ(ui.FileDialogs().size(), 2u);
    const FileDialogRequest& request = ui.FileDialogs()[0].request;
    EXPECT_FALSE(ui.FileDialogs()[0].save);
    EXPECT_EQ(request.filters, QStringList({"csv Files (*.csv)", "All Files (*)"}));
    EXPECT_EQ(request.initialName, "*.csv");
    EXPECT_EQ(request.defaultSuffix, "csv");
    EXPECT_EQ(entry.Box(1)->text(), "1.00");
    EXPECT_EQ(entry.Box(9)->text(), "9.00");
    EXPECT_EQ(entry.ImportedBox3(), "3.00");
}

}  // namespace
