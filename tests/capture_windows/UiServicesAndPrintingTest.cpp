#include <gtest/gtest.h>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

#include "ModalTestHelper.h"
#include "Printing.h"
#include "TestSupport.h"
#include "UiRecorder.h"

namespace {

using calvenor::test::WhenModalShown;

// The real services, driven through their real modal windows, and printing through the seam.
TEST(QtUiServices, MessageShowsErrorTitleLineBreaksAndReturnsTheButton) {
    QString shown;
    WhenModalShown([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        shown = box->windowTitle() + "|" + box->text();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(UiServices().Message({}, "one\r\r\ntwo\r", MessageIcon::None, BeepKind::None,
                                   MessageButtons::YesNo),
              MessageAnswer::Yes);
    EXPECT_EQ(shown, "Error|one\n\ntwo\n");  // a CR LF pair is one break
}

TEST(QtUiServices, SaveDialogUsesQtsOwnWidgetsAndTheRequest) {
    calvenor::test::TempFolder folder;
    const QString target = QString::fromStdString((folder / "receipt").string());
    WhenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = UiServices().SaveFileName(
        {"Save Receipt", "Submission Receipt.txt", {"Text Files (*.txt)"}, "txt", true});
    EXPECT_EQ(chosen.value_or("cancelled"), target + ".txt");
}

TEST(Printing, ACancelPrintsAndSaysNothingAndAFailedStartIsReported) {
    CUiRecorder ui;
    calvenor::test::TempFolder folder;
    ui.QueuePrintCancel();
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Cancelled);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

    ui.QueuePrintToPdf(QString::fromStdString((folder / "missing" / "x.pdf").string()));
    EXPECT_EQ(PrintHtmlDocument("text"), PrintOutcome::Failed);
    EXPECT_EQ(ui.Messages().at(0).text, "Printing Error - check for printers");
}

}  // namespace
