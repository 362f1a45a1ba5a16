#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

ProgramCommandLine ParseProgramCommandLine(int argc, char** argv, const QString& description) {
    ProgramCommandLine result;
    if (argc <= 1) {
        return result;  // The usual start: nothing to parse, and no second application object.
    }
    // A core application needs no display; it is gone before the caller makes its QApplication.
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption selfTest(
        QStringLiteral("self-test"),
        QStringLiteral("Start, show the main window and quit; messages go to standard error."));
    parser.addOption(selfTest);
    parser.process(core);
    result.selfTest = parser.isSet(selfTest);
    return result;
}
