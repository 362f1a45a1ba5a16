#pragma once

#include <deque>
#include <optional>
#include <vector>

#include <QString>
#include <QUrl>

#include "UiServices.h"

// Services for tests: every message is kept exactly as given (title, text, icon, beep, buttons),
// and file dialogs, the print dialog, questions and browser launches are answered from queues
// filled in advance. Nothing modal is ever shown. Constructing a recorder installs it as the
// process's services; destroying it puts back what was there before.
class CUiRecorder : public CUiServices {
public:
    struct ShownMessage {
        QString title;  // as given: empty means "no title" (shown as "Error")
        QString text;   // as given, carriage returns included
        MessageIcon icon = MessageIcon::None;
        BeepKind beep = BeepKind::None;
        MessageButtons buttons = MessageButtons::Ok;

        QString ShownTitle() const { return ShownMessageTitle(title); }
    };

    struct FileDialogRecord {
        bool save = false;
        FileDialogRequest request;
    };

    CUiRecorder();
    ~CUiRecorder() override;
    CUiRecorder(const CUiRecorder&) = delete;
    CUiRecorder& operator=(const CUiRecorder&) = delete;

    // Answers, used first in first out. With nothing queued: a question is answered No, a file
    // dialog and the print dialog are cancelled, and a browser launch succeeds. Every request
    // that found nothing queued (a launch excepted) is counted in Unanswered().
    void QueueAnswer(MessageAnswer answer);
    void QueueOpenFileName(std::optional<QString> path);
    void QueueSaveFileName(std::optional<QString> path);
    void QueuePrintToPdf(const QString& pdfPath);
    void QueuePrintCancel();
    void QueueOpenUrlResult(bool opened);

    const std::vector<ShownMessage>& Messages() const { return m_messages; }
    const std::vector<BeepKind>& Beeps() const { return m_beeps; }  // beeps on their own
    const std::vector<FileDialogRecord>& FileDialogs() const { return m_fileDialogs; }
    const std::vector<QString>& PrintDialogs() const { return m_printTitles; }
    const std::vector<QUrl>& OpenedUrls() const { return m_openedUrls; }
    int Unanswered() const { return m_unanswered; }

    // Forgets everything recorded (queued answers stay).
    void ClearRecords();

    MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                          BeepKind beep, MessageButtons buttons) override;
    void Beep(BeepKind kind) override;
    std::optional<QString> OpenFileName(const FileDialogRequest& request) override;
    std::optional<QString> SaveFileName(const FileDialogRequest& request) override;
    std::unique_ptr<QPrinter> ChoosePrinter(const QString& title) override;
    bool OpenUrl(const QUrl& url) override;
    void SetClipboardText(const QString& text) override;
    QString ClipboardText() override { return m_clipboard; }

private:
    std::optional<QString> NextFileName(std::deque<std::optional<QString>>& queue);

    CUiServices* m_previous = nullptr;
    std::deque<MessageAnswer> m_answers;
    std::deque<std::optional<QString>> m_openNames, m_saveNames, m_printPdfs;
    std::deque<bool> m_openUrlResults;
    std::vector<ShownMessage> m_messages;
    std::vector<BeepKind> m_beeps;
    std::vector<FileDialogRecord> m_fileDialogs;
    std::vector<QString> m_printTitles;
    std::vector<QUrl> m_openedUrls;
    QString m_clipboard;
    int m_unanswered = 0;
};
