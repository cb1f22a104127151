// A whole NTFS volume read from its master file table (MFT) instead of folder by folder: the boot
// sector leads to the MFT, the MFT's own record to where its pieces lie, and one sequential pass over
// its records gives every file's names, parents and sizes. The File tree built from them is the one the
// walk builds for the volume's root, by the walk's rules (see classify.h): the same entries, sizes,
// flags and kinds, each folder's children appended in one block.
//
// The bytes come through ReadAt, so a volume handle (Windows, elevated) and an image file (any
// platform) share this code. Damaged input never crashes or hangs it: a record that fails its fixups
// counts as unreadable, references that loop or lead outside the MFT are never followed, the MFT's
// pieces and size are checked against the volume's before anything is allocated for it, no read asks
// for more than 1 MiB, and sizes that add up past 2^64 are refused.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scan/progress.h"
#include "scan/tree.h"

namespace spadrim {

// Fills `into` (at most 1 MiB) with the source's bytes from `offset`; false on a read error or when the
// source ends before `into` is full.
using ReadAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> into)>;

struct MftOutcome {
    std::optional<FileTree> tree;  // rolled up; nothing when the read failed or was cancelled
    std::string error;             // why it failed (English, for logs and the command line); empty otherwise
};

// The volume's root as a File tree named root_path. progress.files and progress.bytes advance as the
// records are read; progress.cancel is looked at between chunks of the MFT.
MftOutcome read_mft(std::string_view root_path, const ReadAt& read, ScanProgress& progress);

}  // namespace spadrim
