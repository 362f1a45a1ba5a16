#include "PellwickApp.h"

#include <QApplication>
#include <iostream>
#include <memory>

#include "AgentProfile.h"
#include "CommandLine.h"
#include "PellwickDlg.h"
#include "ProgramIcons.h"
#include "UiRecorder.h"

namespace {

// What --help says the program is for.
const QString kDescription = QStringLiteral(
    "Pellwick prepares a client's nine VAT return figures for approval: enter or import them, "
    "confirm them, save them as a figure file for Calvenor to import, and print them for the "
    "client's sign-off. It never contacts HMRC. It takes no arguments for its work: the agent "
    "profile (CALVENOR_PROFILE) comes from the environment.");

}  // namespace

int CPellwickApp::Run(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("Pellwick"));
    QApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QApplication::setApplicationVersion(QStringLiteral("1.3.1"));
    const bool testing = ParseProgramCommandLine(argc, argv, kDescription).selfTest;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(calvenor::ApprovalsIcon());

    if (!testing) {
        CPellwickDlg window(LoadAgentProfile());
        window.exec();
        return 0;
    }

    // A self-test answers no box: it records what would have been shown and prints it.
    CUiRecorder recorder;
    CPellwickDlg window(LoadAgentProfile());
    window.show();
    QApplication::processEvents();
    const bool shown = window.isVisible();
    window.done(QDialog::Rejected);
    for (const auto& message : recorder.Messages())
        std::cerr << "message [" << message.ShownTitle().toStdString()
                  << "]: " << message.text.toStdString() << "\n";
    std::cout << "pellwick self-test: main window " << (shown ? "shown" : "NOT shown") << "\n";
    return shown ? 0 : 1;
}
