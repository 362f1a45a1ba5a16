#include "UiRecorder.h"

#include <QPrinter>

CUiRecorder::CUiRecorder() : m_previous(SetUiServices(this)) {}

CUiRecorder::~CUiRecorder() {
    SetUiServices(m_previous);
}

void CUiRecorder::QueueAnswer(MessageAnswer answer) {
    m_answers.push_back(answer);
}

void CUiRecorder::QueueOpenFileName(std::optional<QString> path) {
    m_openNames.push_back(std::move(path));
}

void CUiRecorder::QueueSaveFileName(std::optional<QString> path) {
    m_saveNames.push_back(std::move(path));
}

void CUiRecorder::QueuePrintToPdf(const QString& pdfPath) {
    m_printPdfs.push_back(pdfPath);
}

void CUiRecorder::QueuePrintCancel() {
    m_printPdfs.push_back(std::nullopt);
}

void CUiRecorder::QueueOpenUrlResult(bool opened) {
    m_openUrlResults.push_back(opened);
}

void CUiRecorder::ClearRecords() {
    m_messages.clear();
    m_beeps.clear();
    m_fileDialogs.clear();
    m_printTitles.clear();
    m_openedUrls.clear();
    m_unanswered = 0;
}

MessageAnswer CUiRecorder::Message(const QString& title, const QString& text, MessageIcon icon,
                                   BeepKind beep, MessageButtons buttons) {
    m_messages.push_back({title, text, icon, beep, buttons});
    if (buttons != MessageButtons::YesNo) {
        return MessageAnswer::Ok;
    }
    if (m_answers.empty()) {
        ++m_unanswered;
        return MessageAnswer::No;
    }
    const MessageAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void CUiRecorder::Beep(BeepKind kind) {
    m_beeps.push_back(kind);
}

std::optional<QString> CUiRecorder::NextFileName(std::deque<std::optional<QString>>& queue) {
    if (queue.empty()) {
        ++m_unanswered;
        return std::nullopt;
    }
    const bool answered = queue.front().has_value();
    const QString name = queue.front().value_or(QString());
    queue.pop_front();
    return answered ? std::optional<QString>(name) : std::nullopt;
}

std::optional<QString> CUiRecorder::OpenFileName(const FileDialogRequest& request) {
    m_fileDialogs.push_back({false, request});
    return NextFileName(m_openNames);
}

std::optional<QString> CUiRecorder::SaveFileName(const FileDialogRequest& request) {
    m_fileDialogs.push_back({true, request});
    return NextFileName(m_saveNames);
}

std::unique_ptr<QPrinter> CUiRecorder::ChoosePrinter(const QString& title) {
    m_printTitles.push_back(title);
    const std::optional<QString> pdf = NextFileName(m_printPdfs);
    if (!pdf) {
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(*pdf);
    return printer;
}

bool CUiRecorder::OpenUrl(const QUrl& url) {
    m_openedUrls.push_back(url);
    if (m_openUrlResults.empty()) {
        return true;
    }
    const bool opened = m_openUrlResults.front();
    m_openUrlResults.pop_front();
    return opened;
}

void CUiRecorder::SetClipboardText(const QString& text) {
    m_clipboard = text;
}
