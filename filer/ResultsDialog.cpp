#include "ResultsDialog.h"

#include <sys/stat.h>

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "AtomicFile.h"
#include "AutoSave.h"
#include "CaptureTexts.h"
#include "FileFilters.h"
#include "Log.h"
#include "PrintDocuments.h"
#include "Printing.h"
#include "ReceiptText.h"
#include "UiServices.h"

namespace {

// The receipt text is shown a little larger and heavier than the dialog's own font.
constexpr double kLargerByPixels = 3.0;

}  // namespace

CResultsDialog::CResultsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("resultsDialog"));

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("receiptText"));
    m_text->setAccessibleName(QStringLiteral("Submission Results"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setMinimumSize(580, 245);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    auto* print = new QPushButton(QStringLiteral("Print"), this);
    print->setObjectName(QStringLiteral("printButton"));
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    // Enter saves the receipt unless another button has the focus.
    m_save->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch();
    buttons->addWidget(print);
    buttons->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &CResultsDialog::OnBnClickedOk);
    connect(print, &QPushButton::clicked, this, &CResultsDialog::OnBnClickedPrint);
    connect(m_save, &QPushButton::clicked, this, &CResultsDialog::OnBnClickedSave);
    EnterPressesFocusedButton(this);
}

CResultsDialog::~CResultsDialog() = default;

void CResultsDialog::SetPeriod(const std::string& periodStart, const std::string& periodEnd) {
    m_periodStart = periodStart;
    m_periodEnd = periodEnd;
}

void CResultsDialog::SetResults(const CFilingSession::SubmissionResults& results) {
    SetTitle(results.title);
    SetPeriod(results.periodStart, results.periodEnd);
    SetPeriodKey(results.periodKey);
    SetReceiptLines(results.receiptLines);
    SetCompany(results.company);
    SetFigures(results.figures);
}

void CResultsDialog::SetReceiptLines(const std::vector<std::string>& receiptLines) {
    m_receiptLines = receiptLines;
}

void CResultsDialog::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
        m_save->setFocus();
    }
    QDialog::showEvent(event);
}

void CResultsDialog::OnInitDialog() {
    setWindowTitle(ToQt(m_title));

    m_initialFont = m_text->font();
    QFont larger = m_initialFont;
    if (larger.pixelSize() > 0)
        larger.setPixelSize(larger.pixelSize() + static_cast<int>(kLargerByPixels));
    else
        larger.setPointSizeF(larger.pointSizeF() + kLargerByPixels * 72.0 / logicalDpiY());
    larger.setWeight(QFont::Medium);
    m_text->setFont(larger);

    m_text->setPlainText(ToQt(BuildResultsWindowText(m_receiptLines)));

    WriteAutomaticCopy();
}

void CResultsDialog::WriteAutomaticCopy() {
    // The record holds the text exactly as shown (CR LF line ends), not as the box hands it back.
    try {
        CAutoSave autoSave;
        autoSave.SetPeriodText(m_periodStart + " To " + m_periodEnd);
        autoSave.SetCompanyText(m_company);
        autoSave.SetFigures(m_figures);
        if (autoSave.Save(BuildResultsWindowText(m_receiptLines)))
            m_autoSavePath = autoSave.GetLastPath();
    } catch (const std::exception& error) {
        LOG_ENTRY(error.what());
    }
}

void CResultsDialog::OnBnClickedOk() {
    m_text->setFont(m_initialFont);
    done(QDialog::Accepted);
}

void SaveTextDocument(const FileDialogRequest& request, const std::string& text) {
    const std::optional<QString> chosen = UiServices().SaveFileName(request);
    if (!chosen || chosen->isEmpty())
        return;
    // A document the user keeps and passes on: the usual permissions for new files.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (!calvenor::WriteFileAtomically(std::filesystem::path(FromQt(*chosen)), text,
                                       0666 & ~mask)) {
        UiServices().Message(QStringLiteral("Error opening File"),
                             QStringLiteral("Unable to open file ") + *chosen, MessageIcon::None,
                             BeepKind::Exclamation);
    }
}

void CResultsDialog::OnBnClickedSave() {
    FileDialogRequest request;
    request.initialName = QStringLiteral("Submission Receipt.txt");
    request.filters = QtNameFilters(
        QStringLiteral("Submission Receipt Files (*.txt)|*.txt|All Files (*.*)|*.*||"));
    request.defaultSuffix = QStringLiteral("txt");
    request.promptOverwrite = true;
    SaveTextDocument(request, BuildReceiptFileText(m_periodStart, m_periodEnd, m_company,
                                                   m_receiptLines, GetBoxTexts(m_figures)));
}

std::string CResultsDialog::BuildPrintDocument() const {
    return BuildResultsPrintDocument(m_periodStart, m_periodEnd, m_company, m_receiptLines,
                                     GetBoxTexts(m_figures));
}

void CResultsDialog::OnBnClickedPrint() {
    PrintHtmlDocument(BuildPrintDocument());
}
