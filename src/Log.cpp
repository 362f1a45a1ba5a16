#include "Log.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "Folders.h"

namespace {

std::mutex g_startMutex;
bool g_started = false;

CLog::Clock& ClockOverride() {
    static CLog::Clock clock;
    return clock;
}

CLog::TimeOfDay LocalTimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return {static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
            static_cast<unsigned>(local.tm_sec), static_cast<unsigned>(ms.count())};
}

void WriteAll(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n <= 0) return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
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
    if (folder.empty()) return false;
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
    if (GetLogPath(path)) {
        // Appends only, never follows a link planted at the log's name, and keeps it private.
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const TimeOfDay time = ClockOverride() ? ClockOverride()() : LocalTimeOfDay();
            WriteAll(fd, FormatTimeStamp(time) + " : " + str());
            ::close(fd);
        }
    }
    str(std::string());
    clear();
}

void CLog::SetClockForTesting(Clock clock) { ClockOverride() = std::move(clock); }

void CLog::ResetForTesting() {
    std::lock_guard<std::mutex> lock(g_startMutex);
    g_started = false;
}

std::string QualifiedFunctionName(std::string_view pretty) {
    // The argument list starts at the first '(' outside template brackets.
    int depth = 0;
    std::size_t open = pretty.size();
    for (std::size_t i = 0; i < pretty.size(); ++i) {
        const char c = pretty[i];
        if (c == '<') ++depth;
        else if (c == '>') --depth;
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
        if (c == '>') ++depth;
        else if (c == '<') --depth;
        else if (c == ' ' && depth == 0) {
            start = i + 1;
            break;
        }
    }
    return std::string(head.substr(start));
}
