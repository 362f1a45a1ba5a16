#include "CalvenorApp.h"

#include <QApplication>
#include <QScreen>
#include <iostream>
#include <memory>

#include "AgentProfile.h"
#include "CalvenorDlg.h"
#include "CommandLine.h"
#include "DeviceFacts.h"
#include "Folders.h"
#include "ProgramIcons.h"
#include "SingleInstance.h"
#include "UiRecorder.h"
#include "UiServices.h"

namespace {

const char* BeepName(BeepKind kind) {
    switch (kind) {
        case BeepKind::Information:
            return "information";
        case BeepKind::Exclamation:
            return "exclamation";
        case BeepKind::Question:
            return "question";
        case BeepKind::None:
            break;
    }
    return "none";
}

void PrintMessages(const CUiRecorder& recorder) {
    for (const auto& message : recorder.Messages()) {
        std::cerr << "message [" << message.ShownTitle().toStdString() << ", beep "
                  << BeepName(message.beep) << "]: " << message.text.toStdString() << "\n";
    }
}

}  // namespace

int CCalvenorApp::Run(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("Calvenor"));
    QApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(CALVENOR_VERSION_MAJOR)
                                            .arg(CALVENOR_VERSION_MINOR)
                                            .arg(CALVENOR_VERSION_BUILD));
    const bool testing =
        ParseProgramCommandLine(
            argc, argv,
            QStringLiteral(
                "Calvenor files VAT returns for an agent's clients through HMRC's Making Tax "
                "Digital service. It takes no arguments for its work: the agent profile "
                "(CALVENOR_PROFILE) and the data folder (CALVENOR_DATA_DIR) come from the "
                "environment."))
            .selfTest;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(calvenor::FilerIcon());

    // A self-test answers no box: it records what would have been shown and prints it.
    std::unique_ptr<CUiRecorder> recorder;
    if (testing) {
        recorder = std::make_unique<CUiRecorder>();
    }

    CSingleInstance instance(calvenor::DataFolder());
    std::string lockError;
    switch (instance.Acquire(&lockError)) {
        case CSingleInstance::Outcome::Acquired:
            break;
        case CSingleInstance::Outcome::AlreadyRunning:
            std::cerr << CSingleInstance::kAlreadyRunningText << "\n";
            UiServices().Message(QStringLiteral("Calvenor"),
                                 QString::fromUtf8(CSingleInstance::kAlreadyRunningText),
                                 MessageIcon::Warning, BeepKind::Exclamation);
            return 1;
        case CSingleInstance::Outcome::NotLockable:
            // Without a writable data folder no token can be kept either, so a second filer
            // could spend nothing: carry on, and say why there is no lock.
            std::cerr << "Calvenor: no single-instance lock: " << lockError << "\n";
            break;
    }

    HandOverScreenFacts();
    // The profile is loaded once, here, and handed to the window (loading logs nothing).
    CCalvenorDlg window(LoadAgentProfile());
    if (testing) {
        window.show();
        QApplication::processEvents();
        const bool shown = window.isVisible();
        window.done(QDialog::Rejected);
        PrintMessages(*recorder);
        std::cout << "calvenor self-test: main window " << (shown ? "shown" : "NOT shown") << "\n";
        return shown ? 0 : 1;
    }
    window.exec();
    return 0;
}

// The fraud-prevention headers describe every screen as it is when a request is made; the service
// library has no windows, so the program installs the reader before the main window (and its
// service object) is made.
void CCalvenorApp::HandOverScreenFacts() {
    SetScreensReader([] {
        std::vector<ScreenFacts> facts;
        for (const QScreen* screen : QGuiApplication::screens()) {
            // HMRC asks for device pixels and the desktop's scaling; with high-DPI scaling Qt
            // reports the size and DPI in device-independent units, so scale them back.
            const qreal ratio = screen->devicePixelRatio();
            facts.push_back({qRound(screen->size().width() * ratio),
                             qRound(screen->size().height() * ratio),
                             qRound(screen->logicalDotsPerInch() * ratio), screen->depth()});
        }
        return facts;
    });
}
