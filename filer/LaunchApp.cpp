#include "LaunchApp.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QUrl>

#include "UiServices.h"

const std::map<int, std::string>& LaunchErrorTable() {
    static const std::map<int, std::string> table = {
        {0, "The operating system is out of memory or resources"},
        {2, "The specified file was not found"},
        {3, "The specified path was not found"},
        {5, "The operating system denied access to the specified file"},
        {8, "There was not enough memory to complete the operation"},
        {11, "The.exe file is invalid."},
        {26, "A sharing violation occurred"},
        {27, "The file name association is incomplete or invalid"},
        {28, "The DDE transaction could not be completed\rbecause the request timed out"},
        {29, "The DDE transaction failed"},
        {30,
         "The DDE transaction could not be completed because\rother DDE transactions were being "
         "processed"},
        {31,
         "There is no application associated with\rthe given file name extension.\rPlease open "
         "the application manually"},
        {32, "The specified DLL was not found"},
    };
    return table;
}

CLaunchApp::CLaunchApp(std::string file, std::string parameters, std::string verb,
                       std::string workingFolder, QWidget* owner)
    : m_file(std::move(file)),
      m_parameters(std::move(parameters)),
      m_verb(std::move(verb)),
      m_workingFolder(std::move(workingFolder)),
      m_owner(owner) {}

CLaunchApp::~CLaunchApp() = default;

bool CLaunchApp::Launch() {
    if (!m_verb.empty() && m_verb != "open") {
        m_lastError = kNoAssociation;  // "open" is the only verb the desktop offers
        return false;
    }
    const QString file = QString::fromUtf8(m_file);
    const QString folder = QString::fromUtf8(m_workingFolder);
    if (!m_parameters.empty()) {
        // A program with its command line: the desktop's "open" cannot pass parameters.
        const QStringList arguments = QProcess::splitCommand(QString::fromUtf8(m_parameters));
        if (QProcess::startDetached(file, arguments, folder)) {
            return true;
        }
        m_lastError = kFileNotFound;
        return false;
    }
    // A URL as it is; anything else is a document path, relative to the working folder if given.
    QUrl target = QUrl::fromUserInput(file, folder.isEmpty() ? QDir::currentPath() : folder,
                                      QUrl::AssumeLocalFile);
    if (target.isValid() && UiServices().OpenUrl(target)) {
        return true;
    }
    m_lastError = kNoAssociation;
    return false;
}

void CLaunchApp::ShowError(int code) {
    const auto& table = LaunchErrorTable();
    const auto row = table.find(code);
    const std::string text = row != table.end() ? row->second : "An Unknown Error Occurred";
    UiServices().Message({}, QString::fromUtf8(text), MessageIcon::None, BeepKind::None);
}
