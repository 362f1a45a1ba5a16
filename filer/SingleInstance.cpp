#include "SingleInstance.h"

#include <QLockFile>
#include <QString>

#include "Folders.h"

CSingleInstance::CSingleInstance(const std::filesystem::path& dataFolder) : m_folder(dataFolder) {}

CSingleInstance::~CSingleInstance() = default;

CSingleInstance::Outcome CSingleInstance::Acquire(std::string* error) {
    if (!calvenor::CreatePrivateFolder(m_folder, error)) {
        return Outcome::NotLockable;
    }
    m_lock =
        std::make_unique<QLockFile>(QString::fromStdString((m_folder / kLockFileName).string()));
    // Held for the whole run: only a lock whose process has gone is stale, never an old one.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        return Outcome::Acquired;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        return Outcome::AlreadyRunning;
    }
    if (error != nullptr) {
        *error = "the lock file " + (m_folder / kLockFileName).string() + " cannot be created";
    }
    return Outcome::NotLockable;
}
