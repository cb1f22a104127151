#include "kinds/times.h"

#include <cstdio>

namespace spadrim {

std::uint32_t mtime_from_unix(std::int64_t seconds) {
    if (seconds < 1) return 1;
    if (seconds > static_cast<std::int64_t>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<std::uint32_t>(seconds);
}

std::uint32_t mtime_from_filetime(std::uint64_t filetime) {
    if (filetime == 0) return 0;
    constexpr std::uint64_t TICKS_PER_SECOND = 10'000'000;
    constexpr std::int64_t SECONDS_1601_TO_1970 = 11'644'473'600;
    return mtime_from_unix(static_cast<std::int64_t>(filetime / TICKS_PER_SECOND) - SECONDS_1601_TO_1970);
}

namespace {

struct CivilTime {
    int year, month, day, hour, minute, second;
};

// Seconds since 1970 to a civil date in the proleptic Gregorian calendar (H. Hinnant's days_from_civil,
// inverted).
CivilTime civil_of(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t second_of_day = seconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t day_of_era = z - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t mp = (5 * day_of_year + 2) / 153;
    const std::int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    return CivilTime{static_cast<int>(year),
                     static_cast<int>(month),
                     static_cast<int>(day),
                     static_cast<int>(second_of_day / 3600),
                     static_cast<int>(second_of_day / 60 % 60),
                     static_cast<int>(second_of_day % 60)};
}

}  // namespace

std::string iso_8601_utc(std::uint32_t mtime) {
    if (mtime == 0) return {};
    const CivilTime t = civil_of(mtime);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

std::string format_time(std::uint32_t mtime) {
    return mtime == 0 ? std::string() : format_time_at(mtime, local_offset(mtime));
}

std::string format_time_at(std::uint32_t mtime, std::int32_t offset) {
    if (mtime == 0) return {};
    const CivilTime t = civil_of(std::int64_t{mtime} + offset);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    return text;
}

}  // namespace spadrim
