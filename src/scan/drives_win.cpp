// The drives of a Windows machine (GetLogicalDrives and friends) and the Recycle Bin size.
#include <windows.h>

#include <shellapi.h>

#include "scan/drives.h"
#include "scan/scan.h"
#include "strings/wide_win.h"

namespace spadrim {

std::vector<DriveInfo> query_drives(DriveKinds kinds) {
    std::vector<DriveInfo> drives;
    const DWORD mask = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (1u << letter))) continue;
        const std::string root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
        const std::wstring wide_root = to_wide(root);
        const UINT type = GetDriveTypeW(wide_root.c_str());
        // Ask for space only for the kinds of drive that are listed: a CD drive can take seconds to answer.
        if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED && type != DRIVE_REMOTE) continue;
        if (kinds != DriveKinds::All && (type == DRIVE_REMOTE) != (kinds == DriveKinds::Network)) continue;
        const std::optional<VolumeSpace> space = volume_space(root);
        std::string label;
        wchar_t name[MAX_PATH + 1] = {};
        if (GetVolumeInformationW(wide_root.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                  0)) {
            label = from_wide(name);
        }
        if (auto drive = make_drive(root, type, space, std::move(label))) drives.push_back(std::move(*drive));
    }
    return drives;
}

std::uint64_t recycle_bin_bytes() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(SHQueryRecycleBinW(nullptr, &info)) || info.i64Size < 0) return 0;
    return static_cast<std::uint64_t>(info.i64Size);
}

}  // namespace spadrim
