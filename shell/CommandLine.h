#pragma once

#include <QString>

// What a program was asked to do from its command line.
struct ProgramCommandLine {
    bool selfTest = false;
};

// Parses the command line before the window system is opened, so that --help, --version and a
// mistyped option are answered on a terminal with no display. Those three end the process here
// (status 0 for help and version, 1 for a bad option), as QCommandLineParser::process does.
// The application name and version must be set first.
ProgramCommandLine ParseProgramCommandLine(int argc, char** argv, const QString& description);
