#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace calvenor {
namespace {

BeforeRenameHook& Hook() {
    static BeforeRenameHook hook;
    return hook;
}

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

void SetBeforeRenameHookForTesting(BeforeRenameHook hook) { Hook() = std::move(hook); }

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         std::optional<mode_t> mode, std::string* error) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot create a file in " + folder.string());
        return false;
    }
    const std::string temp(name.data());
    auto abandon = [&](const std::string& what) {
        SetError(error, what);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };

    if (mode && ::fchmod(fd, *mode) != 0) return abandon("cannot set the mode of " + temp);
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return abandon("cannot write " + temp);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0) return abandon("cannot flush " + temp);
    if (::close(fd) != 0) {
        SetError(error, "cannot close " + temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (Hook() && !Hook()(target)) {
        errno = EIO;
        SetError(error, "write of " + target.string() + " interrupted");
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        SetError(error, "cannot replace " + target.string());
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string* error,
                   std::uintmax_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot open " + path.string());
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        SetError(error, "cannot read " + path.string());
        ::close(fd);
        return false;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        errno = EFBIG;
        SetError(error, "cannot read " + path.string());
        ::close(fd);
        return false;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            SetError(error, "cannot read " + path.string());
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > maxBytes) {
            errno = EFBIG;
            SetError(error, "cannot read " + path.string());
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    bytes = std::move(content);
    return true;
}

}  // namespace calvenor
