#include "LocalTime.h"

#include <chrono>
#include <ctime>

LocalTime LocalTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    LocalTime time;
    time.year = static_cast<unsigned>(local.tm_year + 1900);
    time.month = static_cast<unsigned>(local.tm_mon + 1);
    time.day = static_cast<unsigned>(local.tm_mday);
    time.hour = static_cast<unsigned>(local.tm_hour);
    time.minute = static_cast<unsigned>(local.tm_min);
    time.second = static_cast<unsigned>(local.tm_sec);
    time.millisecond = static_cast<unsigned>(ms.count());
    return time;
}
