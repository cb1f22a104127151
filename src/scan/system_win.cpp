// Processor count, volume space and path checks on Windows.
#include <windows.h>

#include "scan/paths.h"
#include "scan/scan.h"
#include "strings/wide_win.h"

namespace spadrim {

unsigned processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

std::optional<VolumeSpace> volume_space(const std::string& path) {
    ULARGE_INTEGER total;
    ULARGE_INTEGER free;
    if (!GetDiskFreeSpaceExW(to_wide(path).c_str(), nullptr, &total, &free)) return std::nullopt;
    return VolumeSpace{total.QuadPart, free.QuadPart};
}

std::string absolute_path(std::string_view path) {
    if (path.starts_with("\\\\?\\")) return std::string(path);
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::string(path);
    const std::wstring wide = to_wide(path);
    std::wstring buffer(512, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {  // too small: length is the size it asks for, terminator included
        buffer.resize(length);
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    }
    if (length == 0 || length >= buffer.size()) return std::string(path);
    buffer.resize(length);
    return from_wide_exact(buffer);
}

bool folder_exists(const std::string& path) {
    // Opening the folder itself (backup semantics) follows links, as the walk of a linked root does.
    std::string long_path = to_long_path(path);
    long_path += '\\';
    HANDLE handle =
        CreateFileW(to_wide(long_path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool folder =
        GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(handle);
    return folder;
}

}  // namespace spadrim
