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

}  // namespace spadrim
