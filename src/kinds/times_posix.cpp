// The machine's time zone on POSIX: the C library's, from TZ or /etc/localtime.
#include <ctime>

#include "kinds/times.h"

namespace spadrim {

std::int32_t local_offset(std::uint32_t mtime) {
    const std::time_t at = static_cast<std::time_t>(mtime);
    std::tm local{};
    if (localtime_r(&at, &local) == nullptr) return 0;
    return static_cast<std::int32_t>(local.tm_gmtoff);
}

}  // namespace spadrim
