// Prints each HTML file named on the command line to the PDF file that follows it, through the
// printing code the programs use, with the print dialog answered in advance. Run under a chosen
// QT_SCALE_FACTOR by the high-DPI test.
#include <QApplication>
#include <QFile>

#include "Printing.h"
#include "UiRecorder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CUiRecorder recorder;
    bool printed = argc > 1 && argc % 2 == 1;
    for (int i = 1; printed && i + 1 < argc; i += 2) {
        QFile page(QString::fromLocal8Bit(argv[i]));
        recorder.QueuePrintToPdf(QString::fromLocal8Bit(argv[i + 1]));
        printed = page.open(QIODevice::ReadOnly) &&
                  PrintHtmlDocument(page.readAll().toStdString()) == PrintOutcome::Printed;
    }
    return printed ? 0 : 1;
}
