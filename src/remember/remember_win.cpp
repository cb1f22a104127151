// Remembered scans on Windows: the folder under the user's local application data, and its files.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

#include "remember/files.h"
#include "remember/remember.h"
#include "strings/wide_win.h"

namespace spadrim {

const char SCANS_SEPARATOR = '\\';

namespace {

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string remembered_folder() {
    if (std::optional<std::string> chosen = environment_variable("SPADRIM_SCANS"); chosen && !chosen->empty())
        return *chosen;
    PWSTR local = nullptr;
    std::string folder;
    // Not roaming: scans describe this PC's disks and can be large.
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &local)) &&
        local && *local)
        folder = from_wide_exact(local) + "\\Spadrim\\Scans";
    CoTaskMemFree(local);
    return folder;
}

std::optional<std::vector<FolderFile>> list_files(const std::string& folder) {
    std::wstring pattern = to_wide(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE first = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (first == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::unique_ptr<void, FindCloser> find(first);
    std::vector<FolderFile> files;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const std::uint64_t bytes =
            (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        files.push_back(FolderFile{from_wide_exact(found.cFileName), bytes});
    } while (FindNextFileW(first, &found));
    return files;
}

bool make_folders(const std::string& folder) {
    const std::wstring path = to_wide(folder);
    // Each folder on the way; those that are there already, and a drive's or a share's root, refuse.
    for (std::size_t at = path.find_first_of(L"\\/", 1); at != std::wstring::npos;
         at = path.find_first_of(L"\\/", at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
    return is_folder(path);
}

std::optional<std::uint64_t> file_bytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool delete_file(const std::string& path) {
    return DeleteFileW(to_wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace spadrim
