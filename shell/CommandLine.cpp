#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

ProgramCommandLine ParseProgramCommandLine(int argc, char** argv, const QString& description) {
    ProgramCommandLine result;
    if (argc <= 1) {
        return result;  // The usual start: nothing to parse.
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption selfTest(
        QStringLiteral("self-test"),
        QStringLiteral("Start, show the main window and quit; messages go to standard error."));
    parser.addOption(selfTest);
    if (!parser.parse(arguments) || parser.isSet(help) || parser.isSet(version)) {
        // Answering prints and ends the process; a core application needs no display, and it
        // gives the help text the program's name.
        QCoreApplication core(argc, argv);
        parser.process(core);
    }
    result.selfTest = parser.isSet(selfTest);
    return result;
}
