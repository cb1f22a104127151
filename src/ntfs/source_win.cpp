// MFT bytes from an image file or a volume on Windows. See source.h.
#include <windows.h>

#include <memory>

#include "ntfs/source.h"
#include "strings/wide_win.h"

namespace spadrim {

std::optional<ReadAt> open_volume_source(const std::string& path, std::string& error) {
    // A volume is read while it is in use: others keep reading and writing it.
    const HANDLE handle = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open " + path + " (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    const auto file = std::shared_ptr<void>(handle, [](HANDLE held) { CloseHandle(held); });
    return ReadAt([file](std::uint64_t offset, std::span<std::uint8_t> into) {
        std::size_t done = 0;
        while (done < into.size()) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + done);
            at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 24));
            if (!ReadFile(file.get(), into.data() + done, want, &got, &at) || got == 0) return false;
            done += got;
        }
        return true;
    });
}

std::optional<std::string> mft_volume_for(std::string_view root) {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return std::nullopt;
    const std::wstring wide_root = to_wide(root);
    if (GetDriveTypeW(wide_root.c_str()) != DRIVE_FIXED) return std::nullopt;
    wchar_t file_system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(wide_root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, file_system,
                               MAX_PATH + 1) ||
        std::wstring_view(file_system) != L"NTFS")
        return std::nullopt;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    if (!elevated) return std::nullopt;
    return std::string("\\\\.\\") + root[0] + ":";
}

}  // namespace spadrim
