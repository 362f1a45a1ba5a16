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

const std::string kThreeClients = R"({
  "client_id": "id", "client_secret": "secret", "service_base_url": "http://127.0.0.1:9",
  "clients": [ { "company_name": "Zeta Stores", "vrn": "555555555" },
               { "company_name": "Acme Trading Ltd", "vrn": "123456789" },
               { "company_name": "Beta & Sons", "vrn": "987654321" } ] })";

void Type(CVatEntry* entry, const std::vector<std::string>& figures) {
    for (int box = 1; box <= 9; ++box)
        entry->Box(box)->setText(QString::fromStdString(figures[box - 1]));
}

template <typename T>
T* Expect(QWidget* modal) {
    auto* window = qobject_cast<T*>(modal);
    EXPECT_NE(window, nullptr) << modal->objectName().toStdString();
    return window;
}

class PellwickWindow : public testing::Test {
protected:
    void SetUp() override { WriteFile(home.ProfilePath(), kThreeClients); }
    void TearDown() override {
        window.reset();
        EXPECT_EQ(VisibleTopLevelWindows(), 0);
    }

    CPellwickDlg& Open() {
        window = std::make_unique<CPellwickDlg>(LoadAgentProfile());
        window->show();
        QCoreApplication::processEvents();
        return *window;
    }
    QComboBox* Companies() { return window->findChild<QComboBox*>("companyList"); }
    QPushButton* Ok() { return window->findChild<QPushButton*>("okButton"); }
    void Choose(int index) {
        Companies()->setCurrentIndex(index);
        QCoreApplication::processEvents();
    }

    IsolatedHome home;
    CUiRecorder ui;
    TempFolder folder;
    std::unique_ptr<CPellwickDlg> window;
};

TEST_F(PellwickWindow, ListsTheClientsAndEnablesOkOnlyForOne) {
    Open();
    EXPECT_EQ(window->windowTitle(), " Pellwick App");
    QStringList entries;
    for (int i = 0; i < Companies()->count(); ++i)
        entries << Companies()->itemText(i);
    EXPECT_EQ(entries, QStringList({"Select a Company...", "123456789 : Acme Trading Ltd",
                                    "987654321 : Beta & Sons", "555555555 : Zeta Stores"}));
    EXPECT_FALSE(Ok()->isEnabled());
    Choose(2);
    EXPECT_TRUE(Ok()->isEnabled());
    Choose(0);
    EXPECT_FALSE(Ok()->isEnabled());
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(PellwickWindow, BackInTheEntryEndsTheFlowAndTheNextStartsEmpty) {
    Open();
    Choose(1);
    AnswerModals({[](QWidget* modal) {
        Type(Expect<CVatEntry>(modal), {"1", "2", "", "4", "", "6", "7", "8", "9"});
        Expect<CVatEntry>(modal)->reject();
    }});
    QTest::mouseClick(Ok(), Qt::LeftButton);
    AnswerModals({[](QWidget* modal) {
        auto* entry = Expect<CVatEntry>(modal);
        EXPECT_EQ(entry->Box(1)->text(), "");
        EXPECT_EQ(entry->Box(4)->text(), "");
        entry->reject();
    }});
    QTest::mouseClick(Ok(), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Ok()->isEnabled());
}

TEST_F(PellwickWindow, ApprovalSavesAndPrintsTheConfirmedFigures) {
    const auto csv = folder / "approved.csv";
    const auto pdf = folder / "sign-off.pdf";
    WriteFile(csv, "an older figure file, longer than the new one,,,,,,,,\r\n");
    ui.QueueSaveFileName(QString::fromStdString(csv.string()));
    ui.QueuePrintToPdf(QString::fromStdString(pdf.string()));
    Open();
    Choose(1);
    const auto continueWith = [](QWidget* modal) {
        QTest::mouseClick(modal->findChild<QPushButton*>("continueButton"), Qt::LeftButton);
    };
    AnswerModals({
        [&](QWidget* modal) {
            Type(Expect<CVatEntry>(modal),
                 {"100", "0.5", "", "150.75", "", "1000", "1500", "0", "0"});
            continueWith(modal);
        },
        [](QWidget* modal) { Expect<CVatConfirm>(modal)->OnBack(); },
        [&](QWidget* modal) {  // the entry again, with the figures as they were left
            EXPECT_EQ(Expect<CVatEntry>(modal)->Box(4)->text(), "150.75");
            continueWith(modal);
        },
        [](QWidget* modal) {
            auto* confirm = Expect<CVatConfirm>(modal);
            EXPECT_EQ(confirm->Box(3)->text(), "100.50");
            confirm->OnSave();
            confirm->OnPrint();
            QTest::mouseClick(confirm->findChild<QPushButton*>("doneButton"), Qt::LeftButton);
        },
    });
    QTest::mouseClick(Ok(), Qt::LeftButton);

    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(ui.FileDialogs().size(), 1U);
    EXPECT_EQ(ui.FileDialogs()[0].request.initialName, "123456789 - Acme Trading Ltd.csv");
    EXPECT_EQ(ReadFile(csv), "100.00,0.50,100.50,150.75,50.25,1000,1500,0,0\r\n");
    const std::string page = PdfText(pdf);
    EXPECT_EQ(page.find("VAT Return for Sign Off for : 123456789 : Acme Trading Ltd"),
              page.find_first_not_of(" \n"))
        << page;
    EXPECT_NE(page.find("50.25"), std::string::npos) << page;
}

TEST_F(PellwickWindow, ExitAsksFirstAndEscapeDoesNot) {
    Open();
    ui.QueueAnswer(MessageAnswer::No);
    ui.QueueAnswer(MessageAnswer::Yes);
    auto* exit = window->findChild<QPushButton*>("exitButton");
    exit->setFocus();
    QTest::keyClick(exit, Qt::Key_Return);  // Enter on the focused Exit is Exit
    EXPECT_TRUE(window->isVisible());
    QTest::mouseClick(exit, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(ui.Messages().size(), 2U);
    EXPECT_EQ(ui.Messages()[0].title, "Exit Pellwick App");
    EXPECT_EQ(ui.Messages()[0].text, "Are you sure?");
    EXPECT_EQ(ui.Messages()[0].beep, BeepKind::Question);
    EXPECT_EQ(ui.Messages()[0].buttons, MessageButtons::YesNo);

    window->show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ui.Messages().size(), 2U);
}

TEST_F(PellwickWindow, F1ShowsAbout) {
    Open();
    bool seen = false;
    WhenModalShown([&](QWidget* modal) {
        seen = true;
        EXPECT_EQ(modal->windowTitle(), "About Pellwick");
        EXPECT_EQ(modal->findChild<QLineEdit*>("versionLine")->text(), "Pellwick, Version 1.3.1");
        EXPECT_FALSE(modal->windowIcon().isNull());
        qobject_cast<QDialog*>(modal)->accept();
    });
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_TRUE(seen);
}

TEST_F(PellwickWindow, UnreadableProfileIsExplainedAndListsNoClient) {
    WriteFile(home.ProfilePath(), "{ not json");
    Open();
    QCoreApplication::processEvents();
    EXPECT_EQ(Companies()->count(), 1);
    ASSERT_EQ(ui.Messages().size(), 1U);
    EXPECT_EQ(ui.Messages()[0].title, "Agent Profile");
    EXPECT_TRUE(
        ui.Messages()[0].text.contains(QString::fromStdString(home.ProfilePath().string())));
    EXPECT_TRUE(ui.Messages()[0].text.endsWith("Pellwick is started again."));
}

}  // namespace
