#pragma once

#include <filesystem>
#include <memory>
#include <string>

class QLockFile;

// One filer per data folder: two filers would spend each other's single-use refresh tokens. The
// lock is a file in the data folder that names the holding process; a lock left by a process that
// no longer runs is taken over.
class CSingleInstance {
public:
    enum class Outcome { Acquired, AlreadyRunning, NotLockable };

    static constexpr const char* kLockFileName = "calvenor.lock";
    static constexpr const char* kAlreadyRunningText =
        "Calvenor is already running. Use the open window, or close it before starting another.";

    explicit CSingleInstance(const std::filesystem::path& dataFolder);
    virtual ~CSingleInstance();

    // Takes the lock without waiting. NotLockable (with the reason in `error`) when the data
    // folder or the lock file cannot be made.
    Outcome Acquire(std::string* error = nullptr);

private:
    std::filesystem::path m_folder;
    std::unique_ptr<QLockFile> m_lock;
};
