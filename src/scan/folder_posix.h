// The POSIX listing with the call that reads a folder's entries given, so that a test can make a
// listing break off midway as a failing disk or a stale NFS handle does. See folder.h for the contract.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scan/folder.h"

namespace spadrim {

// Reads the next getdents64 records of the open folder into buffer: the bytes read, 0 at the end, or -1
// with errno set.
using ReadEntries = long (*)(int folder, char* buffer, std::size_t size);

// getdents64 itself.
long read_entries(int folder, char* buffer, std::size_t size);

// list_folder with read in place of getdents64.
Listing list_folder_reading(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                            ReadEntries read, const TakeEntries& take = {});

}  // namespace spadrim
