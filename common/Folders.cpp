#include "Folders.h"

#include <sys/stat.h>

#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace calvenor {
namespace {

std::filesystem::path FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return {};
    }
    return std::filesystem::path(value);
}

std::filesystem::path HomeFolder() {
    auto home = FromEnvironment("HOME");
    if (home.empty()) {
        home = std::filesystem::path(QDir::homePath().toStdString());
    }
    return home;
}

}  // namespace

std::filesystem::path DataFolder() {
    if (auto dir = FromEnvironment("CALVENOR_DATA_DIR"); !dir.empty()) {
        return dir;
    }
    if (auto xdg = FromEnvironment("XDG_DATA_HOME"); !xdg.empty()) {
        return xdg / "Calvenor";
    }
    return HomeFolder() / ".local" / "share" / "Calvenor";
}

std::filesystem::path ConfigFolder() {
    if (auto xdg = FromEnvironment("XDG_CONFIG_HOME"); !xdg.empty()) {
        return xdg;
    }
    return HomeFolder() / ".config";
}

std::filesystem::path PrivateTempFolder() {
    if (auto runtime = FromEnvironment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime;
    }
    // Never the shared temporary folder, where another user could make the file first and read
    // it: Qt makes this folder for the user alone (0700) and refuses one that is not. Asked once,
    // as Qt warns on every asking that XDG_RUNTIME_DIR is unset.
    static const std::filesystem::path runtime(
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString());
    return runtime;
}

bool CreatePrivateFolder(const std::filesystem::path& folder, std::string* error) {
    if (folder.empty()) {
        if (error)
            *error = "no folder given";
        return false;
    }
    std::filesystem::path current;
    for (const auto& part : folder.lexically_normal()) {
        if (part.empty())
            continue;
        current /= part;
        struct stat info {};
        if (::stat(current.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                if (error)
                    *error = current.string() + " exists and is not a folder";
                return false;
            }
            continue;
        }
        if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = current.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace calvenor
