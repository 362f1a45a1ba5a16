#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ModalTestHelper.h"
#include "PdfText.h"
#include "PellwickDlg.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "VatConfirm.h"
#include "VatEntry.h"

namespace {

using namespace calvenor::test;

class PellwickWindow : public testing::Test {
protected:
    void SetUp() override {
        WriteFile(home.ProfilePath(), ReadFile(TestData("profiles/two_clients.json")));
    }
    void TearDown() override {
        window.reset();
        EXPECT_EQ(VisibleTopLevelWindows(), 0);
    }
    void Open(int client = 0) {
        window = std::make_unique<CPellwickDlg>(LoadAgentProfile());
        window->show();
        QCoreApplication::processEvents();
        window->findChild<QComboBox*>("companyList")->setCurrentIndex(client);
    }
    QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(name); }

    IsolatedHome home;
    CUiRecorder ui;
    TempFolder folder;
    std::unique_ptr<CPellwickDlg> window;
};

CVatEntry* Entry(QWidget* modal) {
    return qobject_cast<CVatEntry*>(modal);
}

// The figure file is what the filer imports: a save that cannot be written says so, and the next
// replaces an older, longer file whole. The sign-off page prints the confirmed figures. Back in
// the confirmation returns to the figures as they were; the next approval starts empty, and OK
// needs a client.
TEST_F(PellwickWindow, ApprovalSavesAndPrintsTheConfirmedFiguresAndTheNextStartsEmpty) {
    const auto csv = folder / "approved.csv";
    const auto pdf = folder / "sign-off.pdf";
    WriteFile(csv, "an older figure file, longer than the new one,,,,,,,,\r\n");
    ui.QueueSaveFileName(QString::fromStdString((folder / "missing" / "x.csv").string()));
    ui.QueueSaveFileName(QString::fromStdString(csv.string()));
    ui.QueuePrintToPdf(QString::fromStdString(pdf.string()));
    Open(1);
    const auto next = [](QWidget* modal) {
        QTest::mouseClick(modal->findChild<QPushButton*>("continueButton"), Qt::LeftButton);
    };
    AnswerModals({
        [&](QWidget* modal) {
            for (int box = 1; box <= 9; ++box)
                Entry(modal)->Box(box)->setText(box == 4 ? "150.75" : box == 2 ? "0.5" : "100");
            next(modal);
        },
        [](QWidget* modal) { qobject_cast<CVatConfirm*>(modal)->OnBack(); },
        [&](QWidget* modal) {
            EXPECT_EQ(Entry(modal)->Box(4)->text(), "150.75");
            next(modal);
        },
        [](QWidget* modal) {
            auto* confirm = qobject_cast<CVatConfirm*>(modal);
            confirm->OnSave();
            confirm->OnSave();
            confirm->OnPrint();
            QTest::mouseClick(confirm->findChild<QPushButton*>("doneButton"), Qt::LeftButton);
        },
    });
    QTest::mouseClick(Button("okButton"), Qt::LeftButton);
    EXPECT_EQ(ui.FileDialogs().at(0).request.initialName, "123456789 - Acme Trading Ltd.csv");
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].title, "Error opening File");
    EXPECT_EQ(ReadFile(csv), "100.00,0.50,100.50,150.75,50.25,100,100,100,100\r\n");
    const std::string page = PdfText(pdf);
    EXPECT_TRUE(page.find("VAT Return for Sign Off for : 123456789 : Acme Trading Ltd") !=
                    std::string::npos &&
                page.find("50.25") != std::string::npos)
        << page;

    AnswerModals({[](QWidget* modal) {
        EXPECT_EQ(Entry(modal)->Box(4)->text(), "");
        Entry(modal)->reject();
    }});
    QTest::mouseClick(Button("okButton"), Qt::LeftButton);
    window->findChild<QComboBox*>("companyList")->setCurrentIndex(0);
    EXPECT_FALSE(Button("okButton")->isEnabled());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PellwickWindow, ExitAsksFirstAndEscapeDoesNot) {
    Open();
    ui.QueueAnswer(MessageAnswer::No);
    ui.QueueAnswer(MessageAnswer::Yes);
    Button("exitButton")->setFocus();
    QTest::keyClick(Button("exitButton"), Qt::Key_Return);  // Enter on the focused Exit is Exit
    EXPECT_TRUE(window->isVisible());
    QTest::mouseClick(Button("exitButton"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ui.Messages().at(1).buttons, MessageButtons::YesNo);

    window->show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ui.Messages().size(), 2U);
}

TEST_F(PellwickWindow, UnreadableProfileIsExplainedAndListsNoClient) {
    WriteFile(home.ProfilePath(), "{ not json");
    Open();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->findChild<QComboBox*>("companyList")->count(), 1);
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_TRUE(ui.Messages()[0].text.endsWith("Pellwick is started again."));
}

}  // namespace
