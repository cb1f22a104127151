// File reading on Windows. See file_io.h.
#include <windows.h>

#include <winioctl.h>

#include <cstring>

#include "dupes/file_io.h"
#include "scan/paths.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

HANDLE as_handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (is_open()) CloseHandle(as_handle(handle_));
        handle_ = other.release();
    }
    return *this;
}

InputFile::~InputFile() {
    if (is_open()) CloseHandle(as_handle(handle_));
}

InputFile open_input(const std::string& path, bool sequential) {
    // Long-path form: candidates can sit deeper than the classic limit.
    const HANDLE handle = CreateFileW(to_wide(to_long_path(path)).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, sequential ? FILE_FLAG_SEQUENTIAL_SCAN : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return InputFile();
    return InputFile(reinterpret_cast<std::intptr_t>(handle));
}

std::optional<FileId> file_identity(const InputFile& file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(as_handle(file.handle()), &info)) return std::nullopt;
    FileId id{info.dwVolumeSerialNumber, 0,
              (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
              info.nNumberOfLinks};
    // The 128-bit id where the file system has one (ReFS does not promise the 64-bit index to be
    // unique); the 64-bit index stays where it cannot tell (older systems, some redirectors).
    FILE_ID_INFO full{};
    if (GetFileInformationByHandleEx(as_handle(file.handle()), FileIdInfo, &full, sizeof full)) {
        static_assert(sizeof full.FileId.Identifier == 16);
        std::memcpy(&id.low, full.FileId.Identifier, 8);
        std::memcpy(&id.high, full.FileId.Identifier + 8, 8);
        id.volume = full.VolumeSerialNumber;
    }
    return id;
}

std::optional<std::size_t> read_some(const InputFile& file, void* buffer, std::size_t size) {
    DWORD got = 0;
    const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(as_handle(file.handle()), buffer, ask, &got, nullptr)) return std::nullopt;
    return got;
}

bool seek_to(const InputFile& file, std::uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(as_handle(file.handle()), distance, nullptr, FILE_BEGIN) != 0;
}

std::optional<bool> seek_penalty(const std::string& root_path) {
    const bool has_letter =
        root_path.size() >= 2 && root_path[1] == ':' &&
        ((root_path[0] >= 'A' && root_path[0] <= 'Z') || (root_path[0] >= 'a' && root_path[0] <= 'z'));
    if (!has_letter) return std::nullopt;
    const std::wstring volume = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(root_path[0]) + L":";
    const HANDLE device = CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return std::nullopt;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                                    sizeof descriptor, &returned, nullptr);
    CloseHandle(device);
    if (!ok || returned < 9) return std::nullopt;
    return descriptor.IncursSeekPenalty != 0;
}

// Windows tells no one which parts of a file sit in its system cache: QueryWorkingSetEx over a mapped
// view sees only this process's own working set, not the cache's standby pages, and finding out by
// reading would cost the very read this is meant to spare. So a rotating disk always keeps its single
// reader here.
bool cached_in_memory(const std::string&, std::uint64_t) {
    return false;
}

}  // namespace spadrim
