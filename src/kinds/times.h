// The times of entries: what the sources give turned into Node::mtime, and Node::mtime turned into text.
// Pure; safe on any thread.
#pragma once

#include <cstdint>
#include <string>

namespace spadrim {

// Seconds since 1970-01-01 UTC as a Node keeps them: before 1970 as 1, past 2106 as UINT32_MAX, so
// that 0 stays "unknown".
std::uint32_t mtime_from_unix(std::int64_t seconds);
// A Windows FILETIME (100 ns steps since 1601-01-01 UTC) as a Node keeps it; 0 (not set) stays 0.
std::uint32_t mtime_from_filetime(std::uint64_t filetime);

// "2024-06-01T12:34:56Z"; empty for 0 (unknown).
std::string iso_8601_utc(std::uint32_t mtime);

// "2024-06-01 14:03" in this machine's time zone, as the window shows a time in every language; empty
// for 0 (unknown).
std::string format_time(std::uint32_t mtime);
// The same `offset` seconds east of UTC: the portable part of format_time.
std::string format_time_at(std::uint32_t mtime, std::int32_t offset);
// How far east of UTC this machine's clock was at that moment, summer time included (times_win.cpp,
// times_posix.cpp).
std::int32_t local_offset(std::uint32_t mtime);

}  // namespace spadrim
