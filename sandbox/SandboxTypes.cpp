#include "SandboxTypes.h"

#include <cstdio>

namespace calvenor::sandbox {

std::string CivilDate::ToString() const {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::optional<CivilDate> CivilDate::Parse(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t lengths[3] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        for (std::size_t k = 0; k < lengths[i]; ++k) {
            const char c = text[starts[i] + k];
            if (c < '0' || c > '9')
                return std::nullopt;
            parts[i] = parts[i] * 10 + (c - '0');
        }
    }
    const std::chrono::year_month_day ymd{std::chrono::year(parts[0]),
                                          std::chrono::month(static_cast<unsigned>(parts[1])),
                                          std::chrono::day(static_cast<unsigned>(parts[2]))};
    if (!ymd.ok())
        return std::nullopt;
    return CivilDate{parts[0], parts[1], parts[2]};
}

CivilDate CivilDate::FromSysDays(std::chrono::sys_days days) {
    const std::chrono::year_month_day ymd{days};
    return CivilDate{static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                     static_cast<int>(unsigned(ymd.day()))};
}

std::chrono::sys_days CivilDate::ToSysDays() const {
    return std::chrono::sys_days{std::chrono::year(year) /
                                 std::chrono::month(static_cast<unsigned>(month)) /
                                 std::chrono::day(static_cast<unsigned>(day))};
}

CivilDate CivilDate::AddDays(int days) const {
    return FromSysDays(ToSysDays() + std::chrono::days(days));
}

CivilDate CivilDate::AddMonths(int months) const {
    const int index = year * 12 + (month - 1) + months;
    CivilDate result{index / 12, index % 12 + 1, 1};
    const CivilDate last = result.LastDayOfMonth();
    result.day = day < last.day ? day : last.day;
    return result;
}

CivilDate CivilDate::LastDayOfMonth() const {
    const std::chrono::year_month_day_last last{std::chrono::year(year) /
                                                std::chrono::month(static_cast<unsigned>(month)) /
                                                std::chrono::last};
    return CivilDate{year, month, static_cast<int>(unsigned(last.day()))};
}

}  // namespace calvenor::sandbox
