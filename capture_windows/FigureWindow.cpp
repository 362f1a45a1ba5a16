#include "FigureWindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "HmrcDate.h"
#include "UiServices.h"

CFigureWindow::CFigureWindow(CaptureProgram program, const Heading& filer, const Heading& approvals,
                             QWidget* parent)
    : QDialog(parent), m_program(program), m_base(IsFiler() ? filer : approvals) {
    setWindowTitle(m_base.caption);
    m_title = new QLabel(m_base.title, this);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    m_title->setTextFormat(Qt::PlainText);  // shows a company name or HMRC's dates as they are
}

void CFigureWindow::SetPeriod(const std::string& periodStart, const std::string& periodEnd) {
    m_periodStart = periodStart;
    m_periodEnd = periodEnd;
}

void CFigureWindow::SetVrn(const std::string& vrn) {
    m_vrn = vrn;
}

void CFigureWindow::SetCompanyText(const std::string& companyText) {
    m_companyText = companyText;
}

QLineEdit* CFigureWindow::AddBoxRow(QGridLayout& grid, int row, int number, const QString& label) {
    auto* text = new QLabel(label);
    text->setObjectName(QStringLiteral("box%1Label").arg(number));
    text->setWordWrap(true);
    text->setMinimumWidth(420);
    auto* box = new QLineEdit;
    box->setObjectName(QStringLiteral("box%1Edit").arg(number));
    box->setAccessibleName(QStringLiteral("Box %1").arg(number));
    box->setAlignment(Qt::AlignRight);
    text->setBuddy(box);
    m_boxes.at(static_cast<std::size_t>(number - 1)) = box;
    grid.addWidget(text, row, 0);
    grid.addWidget(box, row, 1, Qt::AlignTop);
    return box;
}

void CFigureWindow::ShowHeading() {
    if (IsFiler()) {
        const DisplayPeriod period = FormatHmrcPeriod(m_periodStart, m_periodEnd);
        m_title->setText(m_base.title + QLatin1Char(' ') + ToQt(period.start) +
                         QStringLiteral("  To  ") + ToQt(period.end));
        setWindowTitle(LiteralWindowTitle(m_base.caption + QStringLiteral("  For VAT Number: ") +
                                          ToQt(m_vrn)));
    } else {
        m_title->setText(m_base.title + QStringLiteral(" VAT No. ") + ToQt(m_companyText));
    }
}
