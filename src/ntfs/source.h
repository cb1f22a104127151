// Where MFT bytes come from, per platform (source_win.cpp, source_posix.cpp): a file holding an NTFS
// image, or on Windows a volume opened as \\.\C: (which needs an administrator).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ntfs/mft.h"

namespace spadrim {

// A reader of the file or volume at path that keeps it open as long as a copy of it lives; nothing, with
// the system's reason in `error`, when it cannot be opened.
std::optional<ReadAt> open_volume_source(const std::string& path, std::string& error);

// The volume whose MFT to read for a Scan of root (\\.\C: for C:\), when root is the root of a local
// NTFS drive and this process may read the volume (it runs elevated); nothing otherwise, and always on
// systems without drive letters.
std::optional<std::string> mft_volume_for(std::string_view root);

}  // namespace spadrim
