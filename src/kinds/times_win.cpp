// The machine's time zone on Windows: the rules of the zone set in Windows, with the summer time that
// applied at the moment asked about (not today's, as FileTimeToLocalFileTime would give).
#include <windows.h>

#include "kinds/times.h"

namespace spadrim {

std::int32_t local_offset(std::uint32_t mtime) {
    constexpr std::uint64_t TICKS_PER_SECOND = 10'000'000;
    constexpr std::uint64_t SECONDS_1601_TO_1970 = 11'644'473'600;
    const std::uint64_t ticks = (std::uint64_t{mtime} + SECONDS_1601_TO_1970) * TICKS_PER_SECOND;
    const FILETIME utc_time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME local_time{};
    if (!FileTimeToSystemTime(&utc_time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !SystemTimeToFileTime(&local, &local_time))
        return 0;
    const std::uint64_t local_ticks =
        (static_cast<std::uint64_t>(local_time.dwHighDateTime) << 32) | local_time.dwLowDateTime;
    return static_cast<std::int32_t>(
        (static_cast<std::int64_t>(local_ticks) - static_cast<std::int64_t>(ticks)) /
        static_cast<std::int64_t>(TICKS_PER_SECOND));
}

}  // namespace spadrim
