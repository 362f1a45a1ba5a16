#pragma once

#include <filesystem>
#include <string>

// One filer per data folder: two filers would spend each other's single-use refresh tokens. The
// lock is an advisory lock (flock) on a file in the data folder, held until the process ends.
class CSingleInstance {
public:
    enum class Outcome { Acquired, AlreadyRunning, NotLockable };

    static constexpr const char* kLockFileName = "calvenor.lock";
    static constexpr const char* kAlreadyRunningText =
        "Calvenor is already running. Use the open window, or close it before starting another.";

    explicit CSingleInstance(const std::filesystem::path& dataFolder);
    virtual ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting. NotLockable (with the reason in `error`) when the data
    // folder or the lock file cannot be made.
    Outcome Acquire(std::string* error = nullptr);

private:
    std::filesystem::path m_folder;
    int m_fd = -1;
};
