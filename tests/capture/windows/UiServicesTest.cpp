#include <gtest/gtest.h>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>

#include "ModalTestHelper.h"
#include "TestSupport.h"
#include "UiRecorder.h"
#include "UiServices.h"

using calvenor::test::TempFolder;
using calvenor::test::WhenModalShown;

namespace {

struct TextCase {
    const char* name;
    QString given;
    QString shown;
};

class ShownMessageTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ShownMessageTextTest, CarriageReturnsBecomeLineBreaks) {
    EXPECT_EQ(ShownMessageText(GetParam().given), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ShownMessageTextTest,
    ::testing::Values(TextCase{"plain", "HTTP code = 400", "HTTP code = 400"},
                      TextCase{"lone_cr", "with\rthe given", "with\nthe given"},
                      TextCase{"cr_lf_is_one_break", "Authorised\r\nnext", "Authorised\nnext"},
                      TextCase{"trailing_cr_lf", "Already Authorised\r\n", "Already Authorised\n"},
                      TextCase{"lf_kept", "a\nb", "a\nb"},
                      TextCase{"cr_before_cr_lf", "a\r\r\nb", "a\n\nb"}, TextCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShownMessageTitle, NoTitleShowsError) {
    EXPECT_EQ(ShownMessageTitle(QString()), "Error");
    EXPECT_EQ(ShownMessageTitle("COMMUNICATIONS ERROR"), "COMMUNICATIONS ERROR");
}

TEST(UiRecorder, InstallsItselfAndPutsBackTheQtServices) {
    {
        CUiRecorder recorder;
        EXPECT_EQ(&UiServices(), &recorder);
        {
            CUiRecorder inner;
            EXPECT_EQ(&UiServices(), &inner);
        }
        EXPECT_EQ(&UiServices(), &recorder);
    }
    EXPECT_NE(dynamic_cast<CQtUiServices*>(&UiServices()), nullptr);
}

TEST(UiRecorder, KeepsMessagesExactlyAndAnswersQuestionsInOrder) {
    CUiRecorder recorder;
    recorder.QueueAnswer(MessageAnswer::Yes);
    EXPECT_EQ(UiServices().Message({}, "line\r\n", MessageIcon::None, BeepKind::Exclamation),
              MessageAnswer::Ok);
    EXPECT_EQ(UiServices().Message("Q", "Sure?", MessageIcon::Question, BeepKind::Question,
                                   MessageButtons::YesNo),
              MessageAnswer::Yes);
    EXPECT_EQ(recorder.Unanswered(), 0);
    // Nothing queued: a question is answered No and counted.
    EXPECT_EQ(UiServices().Message("Q", "Again?", MessageIcon::None, BeepKind::None,
                                   MessageButtons::YesNo),
              MessageAnswer::No);
    EXPECT_EQ(recorder.Unanswered(), 1);

    ASSERT_EQ(recorder.Messages().size(), 3u);
    const auto& first = recorder.Messages()[0];
    EXPECT_EQ(first.title, "");
    EXPECT_EQ(first.ShownTitle(), "Error");
    EXPECT_EQ(first.text, "line\r\n");
    EXPECT_EQ(first.beep, BeepKind::Exclamation);
    EXPECT_EQ(recorder.Messages()[1].icon, MessageIcon::Question);
}

TEST(UiRecorder, AnswersFileDialogsAndKeepsTheirRequests) {
    CUiRecorder recorder;
    recorder.QueueSaveFileName(QString("/tmp/x.txt"));
    recorder.QueueOpenFileName(std::nullopt);
    FileDialogRequest request{
        "Save", "Submission Receipt.txt", {"Text Files (*.txt)"}, "txt", true};
    EXPECT_EQ(UiServices().SaveFileName(request), QString("/tmp/x.txt"));
    EXPECT_EQ(UiServices().OpenFileName({}), std::nullopt);
    EXPECT_EQ(UiServices().OpenFileName({}), std::nullopt);
    EXPECT_EQ(recorder.Unanswered(), 1);
    ASSERT_EQ(recorder.FileDialogs().size(), 3u);
    EXPECT_TRUE(recorder.FileDialogs()[0].save);
    EXPECT_EQ(recorder.FileDialogs()[0].request.initialName, "Submission Receipt.txt");
    EXPECT_EQ(recorder.FileDialogs()[0].request.defaultSuffix, "txt");
    EXPECT_FALSE(recorder.FileDialogs()[1].save);
}

TEST(UiRecorder, PrintsToTheQueuedPdfOrCancels) {
    TempFolder folder;
    const QString pdf = QString::fromStdString((folder / "page.pdf").string());
    CUiRecorder recorder;
    recorder.QueuePrintToPdf(pdf);
    recorder.QueuePrintCancel();

    std::unique_ptr<QPrinter> printer = UiServices().ChoosePrinter("Print");
    ASSERT_NE(printer, nullptr);
    QTextDocument document;
    document.setPlainText("Box 1");
    document.print(printer.get());
    EXPECT_EQ(calvenor::test::ReadFile(folder / "page.pdf").substr(0, 5), "%PDF-");

    EXPECT_EQ(UiServices().ChoosePrinter("Print"), nullptr);
    EXPECT_EQ(recorder.PrintDialogs().size(), 2u);
    EXPECT_EQ(recorder.Unanswered(), 0);
}

TEST(UiRecorder, OpensUrlsAsAnsweredAndKeepsTheClipboard) {
    CUiRecorder recorder;
    recorder.QueueOpenUrlResult(false);
    EXPECT_FALSE(UiServices().OpenUrl(QUrl("http://127.0.0.1:1/a")));
    EXPECT_TRUE(UiServices().OpenUrl(QUrl("http://127.0.0.1:1/b")));
    ASSERT_EQ(recorder.OpenedUrls().size(), 2u);
    EXPECT_EQ(recorder.OpenedUrls()[1].path(), "/b");
    UiServices().SetClipboardText("code");
    EXPECT_EQ(UiServices().ClipboardText(), "code");
}

// The Qt implementation itself, driven through its real modal windows.
TEST(QtUiServices, MessageShowsErrorTitleLineBreaksAndReturnsTheButton) {
    CQtUiServices services;
    QString title, text;
    WhenModalShown([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(services.Message({}, "one\rtwo\r\n", MessageIcon::None, BeepKind::None,
                               MessageButtons::YesNo),
              MessageAnswer::Yes);
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(text, "one\ntwo\n");
}

TEST(QtUiServices, SaveDialogUsesQtWidgetsAndTheRequest) {
    TempFolder folder;
    CQtUiServices services;
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
    CQtUiServices services;
    WhenModalShown([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(services.OpenFileName({"Open", {}, {"CSV Files (*.csv)"}, "csv", false}),
              std::nullopt);
}

TEST(QtUiServices, ClipboardHoldsText) {
    CQtUiServices services;
    services.SetClipboardText("https://127.0.0.1/oauth/authorize?x=1");
    EXPECT_EQ(services.ClipboardText(), "https://127.0.0.1/oauth/authorize?x=1");
}

}  // namespace
