#include "UiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>

CUiServices::~CUiServices() = default;

namespace {

CUiServices* g_installed = nullptr;

std::optional<QString> RunFileDialog(const FileDialogRequest& request, bool save) {
    QFileDialog dialog(ActiveOwnerWindow(), request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.promptOverwrite);
    if (!request.filters.isEmpty()) {
        dialog.setNameFilters(request.filters);
    }
    if (!request.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }
    if (!request.initialName.isEmpty()) {
        dialog.selectFile(request.initialName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return chosen.front();
}

// Sees the Enter keys that reach its window, that is those the focused control did not take.
class CFocusedButtonOnEnter : public QObject {
public:
    explicit CFocusedButtonOnEnter(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto* button = qobject_cast<QPushButton*>(m_window->focusWidget());
        if (button == nullptr || !button->isEnabled() || !button->isVisible())
            return false;
        button->click();
        return true;
    }

private:
    QWidget* m_window;
};

}  // namespace

QPushButton* NamedButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

void EnterPressesFocusedButton(QWidget* window) {
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->window() == window)
            button->setAutoDefault(false);
    }
    window->installEventFilter(new CFocusedButtonOnEnter(window));
}

QString LiteralWindowTitle(const QString& text) {
    QString title = text;
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

QString ShownMessageTitle(const QString& title) {
    return title.isEmpty() ? QStringLiteral("Error") : title;
}

QString ShownMessageText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QWidget* ActiveOwnerWindow() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// The real thing, with Qt's own widgets.
class CQtUiServices : public CUiServices {
public:
    MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                          BeepKind beep, MessageButtons buttons) override {
        Beep(beep);
        const bool yesNo = buttons == MessageButtons::YesNo;
        QMessageBox box(BoxIcon(icon), ShownMessageTitle(title), ShownMessageText(text),
                        yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                        ActiveOwnerWindow());
        // Plain text: HMRC's messages and file names must never be read as markup.
        box.setTextFormat(Qt::PlainText);
        const int pressed = box.exec();
        if (!yesNo)
            return MessageAnswer::Ok;
        return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }

    void Beep(BeepKind kind) override {
        if (kind != BeepKind::None)
            QApplication::beep();
    }

    std::optional<QString> OpenFileName(const FileDialogRequest& request) override {
        return RunFileDialog(request, false);
    }
    std::optional<QString> SaveFileName(const FileDialogRequest& request) override {
        return RunFileDialog(request, true);
    }

    std::unique_ptr<QPrinter> ChoosePrinter(const QString& title) override {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QPrintDialog dialog(printer.get(), ActiveOwnerWindow());
        if (!title.isEmpty())
            dialog.setWindowTitle(title);
        if (dialog.exec() != QDialog::Accepted)
            return nullptr;
        return printer;
    }

    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
    void SetClipboardText(const QString& text) override {
        QApplication::clipboard()->setText(text);
    }
    QString ClipboardText() override { return QApplication::clipboard()->text(); }
};

}  // namespace

CUiServices& UiServices() {
    static CQtUiServices qtServices;
    return g_installed ? *g_installed : qtServices;
}

CUiServices* SetUiServices(CUiServices* services) {
    CUiServices* previous = g_installed;
    g_installed = services;
    return previous;
}
