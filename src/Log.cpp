#include "Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <mutex>

#include "Folders.h"
#include "LocalTime.h"

namespace {

std::mutex g_startMutex;
bool g_started = false;
// Set when the file at the log's path turned out not to be the user's own: the run goes on
// without a log.
bool g_refused = false;

CLog::Clock& ClockOverride() {
    static CLog::Clock clock;
    return clock;
}

CLog::TimeOfDay LocalTimeOfDay() {
    const LocalTime now = LocalTimeNow();
    return {now.hour, now.minute, now.second, now.millisecond};
}

void WriteAll(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Only a regular file of the user's own may receive entries: anything else at the log's name
// (a file another user made first, a pipe, a device) could hand the entries to someone else.
bool IsOwnRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

CLog& CLog::Instance() {
    static CLog log;
    std::lock_guard<std::mutex> lock(g_startMutex);
    if (!g_started) {
        g_started = true;
        std::string path;
        if (GetLogPath(path)) {
            std::remove(path.c_str());
        }
    }
    return log;
}

CLog::~CLog() = default;

bool CLog::GetLogPath(std::string& path) {
    const auto folder = calvenor::PrivateTempFolder();
    if (folder.empty())
        return false;
    path = (folder / "Calvenor.log").string();
    return true;
}

std::string CLog::FormatTimeStamp(const TimeOfDay& time) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u", time.hour, time.minute, time.second,
                  time.millisecond);
    return stamp;
}

void CLog::Write() {
    *this << "\r\n";
    std::string path;
    if (!g_refused && GetLogPath(path)) {
        // Appends only, never follows a link planted at the log's name, keeps it private, and
        // never waits for a reader of a pipe planted there.
        const int fd =
            ::open(path.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd >= 0 && !IsOwnRegularFile(fd)) {
            g_refused = true;
            std::cerr << "Calvenor: " << path
                      << " is not a file of your own, so it is not used; Calvenor runs without a "
                         "log.\n";
        } else if (fd >= 0) {
            const TimeOfDay time = ClockOverride() ? ClockOverride()() : LocalTimeOfDay();
            WriteAll(fd, FormatTimeStamp(time) + " : " + str());
        }
        if (fd >= 0)
            ::close(fd);
    }
    str(std::string());
    clear();
}

void CLog::SetClockForTesting(Clock clock) {
    ClockOverride() = std::move(clock);
}

void CLog::ResetForTesting() {
    std::lock_guard<std::mutex> lock(g_startMutex);
    g_started = false;
    g_refused = false;
}

std::string QualifiedFunctionName(std::string_view pretty) {
    // The argument list starts at the first '(' outside template brackets.
    int depth = 0;
    std::size_t open = pretty.size();
    for (std::size_t i = 0; i < pretty.size(); ++i) {
        const char c = pretty[i];
        if (c == '<')
            ++depth;
        else if (c == '>')
            --depth;
        else if (c == '(' && depth == 0) {
            open = i;
            break;
        }
    }
    std::string_view head = pretty.substr(0, open);
    depth = 0;
    std::size_t start = 0;
    for (std::size_t i = head.size(); i-- > 0;) {
        const char c = head[i];
        if (c == '>')
            ++depth;
        else if (c == '<')
            --depth;
        else if (c == ' ' && depth == 0) {
            start = i + 1;
            break;
        }
    }
    return std::string(head.substr(start));
}
