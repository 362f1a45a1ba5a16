#include "FiledReturnDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CaptureTexts.h"
#include "FileFilters.h"
#include "HmrcDate.h"
#include "PrintDocuments.h"
#include "Printing.h"
#include "ReceiptText.h"
#include "ResultsDialog.h"
#include "UiServices.h"

CFiledReturnDlg::CFiledReturnDlg(const FiledReturn& filed, const std::string& company,
                                 QWidget* parent)
    : QDialog(parent), m_filed(filed), m_company(company) {
    setObjectName(QStringLiteral("filedReturnDialog"));
    setWindowTitle(LiteralWindowTitle(ToQt("Filed VAT Return - " + company)));
    const DisplayPeriod period = FormatHmrcPeriod(filed.period.start, filed.period.end);

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(ToQt(period.start + "  To  " + period.end), this);
    heading->setObjectName(QStringLiteral("periodLabel"));
    layout->addWidget(heading);
    for (const std::string& line : DetailLines())
        layout->addWidget(new QLabel(ToQt(line), this));
    // HMRC's dates and period key are shown as they came, never read as markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout;
    for (int i = 0; i < 9; ++i) {
        auto* label = new QLabel(BoxLabel(i + 1), this);
        label->setWordWrap(true);
        auto* box = new QLineEdit(ToQt(filed.boxes[static_cast<std::size_t>(i)]), this);
        box->setObjectName(QStringLiteral("box%1Edit").arg(i + 1));
        box->setReadOnly(true);
        box->setAlignment(Qt::AlignRight);
        label->setBuddy(box);
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        m_boxes[static_cast<std::size_t>(i)] = box;
    }
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);

    auto* close = NamedButton(QStringLiteral("Close"), QStringLiteral("closeButton"), this);
    auto* print = NamedButton(QStringLiteral("Print"), QStringLiteral("printButton"), this);
    auto* save = NamedButton(QStringLiteral("Save"), QStringLiteral("saveButton"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(close);
    buttons->addStretch();
    buttons->addWidget(print);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(print, &QPushButton::clicked, this, &CFiledReturnDlg::OnBnClickedPrint);
    connect(save, &QPushButton::clicked, this, &CFiledReturnDlg::OnBnClickedSave);
    EnterPressesFocusedButton(this);
}

std::vector<std::string> CFiledReturnDlg::DetailLines() const {
    std::string received;
    if (!FormatHmrcDate(m_filed.period.received, received))
        received = m_filed.period.received.empty() ? "not given by HMRC" : m_filed.period.received;
    return {"Period key : " + m_filed.period.periodKey, "Processed by HMRC : " + received};
}

void CFiledReturnDlg::OnBnClickedSave() {
    FileDialogRequest request;
    request.initialName = ToQt("VAT Return " + m_filed.period.periodKey + ".txt");
    request.filters =
        QtNameFilters(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"));
    request.defaultSuffix = QStringLiteral("txt");
    request.promptOverwrite = true;
    SaveTextDocument(request, BuildReceiptFileText(m_filed.period.start, m_filed.period.end,
                                                   m_company, DetailLines(), m_filed.boxes));
}

void CFiledReturnDlg::OnBnClickedPrint() {
    PrintHtmlDocument(BuildResultsPrintDocument(m_filed.period.start, m_filed.period.end, m_company,
                                                DetailLines(), m_filed.boxes));
}
