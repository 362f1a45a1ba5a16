#include "Printing.h"

#include <memory>

#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QScreen>
#include <QTextDocument>

#include "CaptureTexts.h"
#include "PrintMarkup.h"
#include "UiServices.h"

namespace {

// Page margins, wide enough for any printer's unprintable border.
constexpr double kPageMarginMillimetres = 15.0;

}  // namespace

PrintOutcome PrintHtmlDocument(const std::string& html) {
    const std::unique_ptr<QPrinter> printer = UiServices().ChoosePrinter(QString());
    if (!printer)
        return PrintOutcome::Cancelled;

    const auto fail = [] {
        UiServices().Message(QString(), QStringLiteral("Printing Error - check for printers"),
                             MessageIcon::None, BeepKind::Information);
        return PrintOutcome::Failed;
    };
    if (!printer->isValid())
        return fail();

    printer->setPageMargins(QMarginsF(kPageMarginMillimetres, kPageMarginMillimetres,
                                      kPageMarginMillimetres, kPageMarginMillimetres),
                            QPageLayout::Millimeter);

    QTextDocument document;
    // No ligatures: "Off" must stay three letters for anyone searching or copying the output.
    QFont font = document.defaultFont();
    font.setStyleStrategy(QFont::PreferNoShaping);
    document.setDefaultFont(font);
    document.setHtml(ToQt(AdaptHtmlForPrinting(html)));
    // A document with a page size is printed as laid out; without one Qt lays it out again with
    // its own margins and adds a page number to every page. The size is the printable area in
    // the document's own pixels, so text keeps its point size on paper.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    document.setPageSize(printer->pageLayout().paintRect(QPageLayout::Inch).size() * dpi);
    document.print(printer.get());
    if (printer->printerState() == QPrinter::Error)
        return fail();
    return PrintOutcome::Printed;
}
