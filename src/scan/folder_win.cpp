// Listing a folder on Windows with FindFirstFileExW: basic information only (no short names) and large
// fetches; paths arrive in long-path form, so deep trees and long names list without the classic limit.
// Only sparse and compressed files cost an extra call (GetCompressedFileSizeW). See folder.h for the
// contract and classify.h for how an entry is measured.
#include <windows.h>

#include "kinds/times.h"
#include "scan/classify.h"
#include "scan/folder.h"
#include "scan/folder_win.h"
#include "scan/paths.h"
#include "strings/wide_win.h"

namespace spadrim {

const char PATH_SEPARATOR = '\\';

namespace {

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// The folder's volume serial and file index, from a handle that only reads attributes (which listing
// the folder's parent lets one open); unknown where it cannot be opened.
FolderId folder_id(const std::string& walk_path) {
    const HANDLE handle = CreateFileW(to_wide(walk_path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known) return {};
    return FolderId{info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::uint64_t> on_disk_size(const std::string& folder, const std::string& name) {
    DWORD high = 0;
    // INVALID_FILE_SIZE is also a valid low half of a size of 4 GiB - 1 + k * 4 GiB; only the last error
    // tells them apart, and the call does not clear it on success.
    SetLastError(NO_ERROR);
    const DWORD low = GetCompressedFileSizeW(to_wide(join_path(folder, name, '\\')).c_str(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return std::nullopt;
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::uint64_t filetime_value(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool is_dot_or_dot_dot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

std::string walk_root_path(std::string_view root) {
    return to_long_path(root);
}

std::string walk_display_path(std::string_view walk_path) {
    return display_path(walk_path);
}

std::string shown_form(std::string_view real) {
    return utf8_from_utf16(utf16_from_wtf8(real));
}

std::uint32_t folder_mtime(const std::string& walk_path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(to_wide(walk_path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return mtime_from_filetime(filetime_value(data.ftLastWriteTime));
}

Listing list_folder(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                    const TakeEntries& take) {
    return list_folder_finding(walk_path, out, id, FindNextFileW, take);
}

Listing list_folder_finding(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                            FindNext next, const TakeEntries& take) {
    out.clear();
    id = {};
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(to_wide(join_path(walk_path, "*", '\\')).c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) return GetLastError() == ERROR_FILE_NOT_FOUND ? Listing::COMPLETE : Listing::FAILED;
    id = folder_id(walk_path);
    do {
        if (is_dot_or_dot_dot(data.cFileName)) continue;
        std::size_t length = 0;
        while (length < MAX_PATH && data.cFileName[length] != 0)
            ++length;
        const std::wstring_view wide_name(data.cFileName, length);
        std::string name = from_wide_exact(wide_name);
        const FindEntry entry{data.dwFileAttributes, data.dwReserved0,
                              (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
        std::optional<std::uint64_t> measured;
        if (wants_on_disk_size(entry.attributes)) measured = on_disk_size(walk_path, name);
        out.push_back(classify_find_entry(std::move(name), entry, measured));
        out.back().unshowable = !is_valid_utf8(out.back().name);  // an unpaired surrogate
        out.back().mtime = mtime_from_filetime(filetime_value(data.ftLastWriteTime));
        if (take && out.size() == LISTING_BATCH) {
            take(out, id);
            out.clear();
        }
    } while (next(find.get(), &data));
    // Only ERROR_NO_MORE_FILES is the end; anything else (a share whose server went away) broke the
    // listing off, and the entries not yet fetched are missing.
    return GetLastError() == ERROR_NO_MORE_FILES ? Listing::COMPLETE : Listing::INCOMPLETE;
}

}  // namespace spadrim
