// Prints the results window's page and the sign-off page to the PDF files named on the command
// line, through the same printing code the programs use, with the print dialog answered in
// advance. Run under a chosen QT_SCALE_FACTOR by the high-DPI test.
#include <QApplication>
#include <cstdio>

#include "PrintDocuments.h"
#include "Printing.h"
#include "UiRecorder.h"
#include "UiServices.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: print_page_helper RESULTS.pdf SIGNOFF.pdf\n");
        return 2;
    }
    CUiRecorder recorder;
    SetUiServices(&recorder);
    recorder.QueuePrintToPdf(QString::fromLocal8Bit(argv[1]));
    recorder.QueuePrintToPdf(QString::fromLocal8Bit(argv[2]));

    const BoxTexts boxes{"1250.40", "0.00", "1250.40", "310.15", "940.25",
                         "6252",    "1550", "0",       "0"};
    const std::vector<std::string> receipt{
        "Submisssion Successful", "Correlation Id 5f1c3a0e-8d2b-4b7e-9a41-0c6d2e7f9b13",
        "Receipt Id 0b3f6c1e-2a4d-4e8f-9c7b-5d1a2e3f4a5b",
        "Processing Date : 2026-10-05T09:30:00.000Z", "Form Bundle Number : 123456789012"};
    const std::string results = BuildResultsPrintDocument(
        "2026-07-01", "2026-09-30", "100000001 : Ashcombe Joinery Ltd", receipt, boxes);
    const std::string signOff = BuildSignOffHtml("100000001 : Ashcombe Joinery Ltd", boxes);
    const bool printed = PrintHtmlDocument(results) == PrintOutcome::Printed &&
                         PrintHtmlDocument(signOff) == PrintOutcome::Printed;
    SetUiServices(nullptr);
    return printed ? 0 : 1;
}
