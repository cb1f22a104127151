// The Windows listing with the call that fetches a folder's next entry given, so that a test can make a
// listing break off midway as a share whose server went away does. See folder.h for the contract.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scan/folder.h"

namespace spadrim {

// FindNextFileW or a stand-in with its contract.
using FindNext = BOOL(WINAPI*)(HANDLE find, LPWIN32_FIND_DATAW data);

// list_folder with next in place of FindNextFileW.
Listing list_folder_finding(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                            FindNext next, const TakeEntries& take = {});

}  // namespace spadrim
