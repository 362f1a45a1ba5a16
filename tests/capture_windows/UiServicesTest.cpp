#include <gtest/gtest.h>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiServices.h"

using calvenor::test::TempFolder;
using calvenor::test::WhenModalShown;

namespace {

// The Qt implementation itself, driven through its real modal windows.
TEST(QtUiServices, MessageShowsErrorTitleLineBreaksAndReturnsTheButton) {
    CUiServices& services = UiServices();
    QString title, text;
    WhenModalShown([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(services.Message({}, "one\r\r\ntwo\r", MessageIcon::None, BeepKind::None,
                               MessageButtons::YesNo),
              MessageAnswer::Yes);
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(text, "one\n\ntwo\n");  // a CR LF pair is one break
}

TEST(QtUiServices, SaveDialogUsesQtWidgetsAndTheRequest) {
    TempFolder folder;
    CUiServices& services = UiServices();
    bool sawDialog = false;
    const QString target = QString::fromStdString((folder / "receipt").string());
    WhenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        sawDialog = true;
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->defaultSuffix(), "txt");
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Text Files (*.txt)"});
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = services.SaveFileName(
        {"Save Receipt", "Submission Receipt.txt", {"Text Files (*.txt)"}, "txt", true});
    EXPECT_TRUE(sawDialog);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, target + ".txt");
}

TEST(QtUiServices, CancelledOpenDialogGivesNothing) {
    CUiServices& services = UiServices();
    WhenModalShown([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(services.OpenFileName({"Open", {}, {"CSV Files (*.csv)"}, "csv", false}),
              std::nullopt);
}

}  // namespace
