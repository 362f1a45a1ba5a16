#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Folders.h"

CSingleInstance::CSingleInstance(const std::filesystem::path& dataFolder) : m_folder(dataFolder) {}

CSingleInstance::~CSingleInstance() {
    if (m_fd >= 0) {
        ::close(m_fd);  // Closing releases the lock; the file stays for the next filer.
    }
}

CSingleInstance::Outcome CSingleInstance::Acquire(std::string* error) {
    if (!calvenor::CreatePrivateFolder(m_folder, error)) {
        return Outcome::NotLockable;
    }
    const std::filesystem::path path = m_folder / kLockFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (error != nullptr) {
            *error =
                "the lock file " + path.string() + " cannot be opened: " + std::strerror(errno);
        }
        return Outcome::NotLockable;
    }
    // The kernel holds the lock for as long as the process lives, so a filer that crashed leaves
    // no stale lock behind, and nothing has to be written to disk before the window opens.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(fd);
        if (cause == EWOULDBLOCK) {
            return Outcome::AlreadyRunning;
        }
        if (error != nullptr) {
            *error =
                "the lock file " + path.string() + " cannot be locked: " + std::strerror(cause);
        }
        return Outcome::NotLockable;
    }
    m_fd = fd;
    // Names the holder for whoever looks; the lock does not depend on it, so a failed write is
    // no failure.
    const std::string holder = std::to_string(::getpid()) + "\n";
    [[maybe_unused]] const bool named =
        ::ftruncate(fd, 0) == 0 &&
        ::write(fd, holder.data(), holder.size()) == static_cast<ssize_t>(holder.size());
    return Outcome::Acquired;
}
