#pragma once

#include <map>
#include <string>

class QWidget;

// The shell's failure codes and the message for each; a code without a row shows
// "An Unknown Error Occurred".
const std::map<int, std::string>& LaunchErrorTable();

// Asks the desktop to open a document or URL (in the user's web browser for a URL), and turns a
// failure into a readable message. Made for one launch and discarded.
class CLaunchApp {
public:
    // The shell code a failed launch reports when the desktop has nothing that opens the file or
    // URL ("There is no application associated with ...").
    static constexpr int kNoAssociation = 31;
    // The code when a program to start with parameters cannot be started.
    static constexpr int kFileNotFound = 2;

    CLaunchApp(std::string file, std::string parameters, std::string verb,
               std::string workingFolder, QWidget* owner);
    virtual ~CLaunchApp();

    // True when the desktop opened the file. Without parameters the file (a URL, or a document
    // path resolved against the working folder) is opened by the desktop's handler; with
    // parameters the file is a program started with them. On failure LastError() holds the code.
    bool Launch();
    int LastError() const { return m_lastError; }

    // Shows the message of LaunchErrorTable for `code` under the default title; no beep, no icon.
    static void ShowError(int code);

private:
    std::string m_file;
    std::string m_parameters;
    std::string m_verb;
    [[maybe_unused]] int m_showCommand = 1;  // shown normally; the desktop decides here
    std::string m_workingFolder;
    [[maybe_unused]] QWidget* m_owner = nullptr;  // boxes are owned by the active window
    int m_lastError = 0;
};
