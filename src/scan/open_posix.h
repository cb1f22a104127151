// Opening by a path of any length on POSIX systems. The kernel refuses a path of PATH_MAX bytes or more
// in one call (ENAMETOOLONG), yet folders nest deeper than that; such a path is opened in steps, each
// step relative to the folder the one before opened, so the result never depends on how long it is.
#pragma once

#include <fcntl.h>

#include <string_view>

namespace spadrim {

// openat(base, path, flags) for a path of any length; base is AT_FDCWD or an open folder. Returns the
// descriptor, or -1 with errno set by the step that failed.
int open_path(int base, std::string_view path, int flags);

// A descriptor that names a folder (or any file) without reading it, for fstat, fstatvfs and as the base
// of later opens: it needs no read permission on the thing itself.
inline constexpr int LOOK_ONLY = O_PATH | O_CLOEXEC;

}  // namespace spadrim
