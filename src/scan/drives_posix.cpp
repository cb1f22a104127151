// The mounted file systems of a POSIX machine, as drives: pseudo and memory file systems left out, each
// mount point once. There is no Recycle Bin to measure.
#include <mntent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "scan/drives.h"
#include "scan/scan.h"

namespace spadrim {
namespace {

bool is_pseudo(std::string_view type) {
    static constexpr std::string_view PSEUDO[] = {
        "autofs",   "binfmt_misc", "bpf",        "cgroup",    "cgroup2", "configfs", "debugfs",  "devpts",
        "devtmpfs", "efivarfs",    "fusectl",    "hugetlbfs", "mqueue",  "nsfs",     "proc",     "pstore",
        "ramfs",    "rpc_pipefs",  "securityfs", "sysfs",     "tmpfs",   "tracefs",  "squashfs", "overlay"};
    return std::find(std::begin(PSEUDO), std::end(PSEUDO), type) != std::end(PSEUDO);
}

bool is_network(std::string_view type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "fuse.sshfs" ||
           type == "9p";
}

// /sys/block/<disk>/removable for a /dev/<disk> or /dev/<disk><partition> device.
bool is_removable(std::string_view device) {
    if (!device.starts_with("/dev/")) return false;
    std::string disk(device.substr(5));
    while (!disk.empty() && disk.back() >= '0' && disk.back() <= '9')
        disk.pop_back();
    std::ifstream flag("/sys/block/" + disk + "/removable");
    char value = '0';
    return flag >> value && value == '1';
}

}  // namespace

std::vector<DriveInfo> query_drives(DriveKinds kinds) {
    std::vector<DriveInfo> drives;
    FILE* mounts = setmntent("/proc/self/mounts", "r");
    if (!mounts) return drives;
    std::set<dev_t> devices;
    mntent entry{};
    char buffer[4096];
    while (getmntent_r(mounts, &entry, buffer, sizeof buffer)) {
        const std::string_view type = entry.mnt_type;
        if (is_pseudo(type) && std::string_view(entry.mnt_dir) != "/") continue;
        // Decided from the mount table alone: a stat of a share whose server is away waits for it.
        const bool network = is_network(type);
        if (kinds != DriveKinds::All && network != (kinds == DriveKinds::Network)) continue;
        // Bind mounts (of folders, or of single files such as /etc/hosts in a container) show a device
        // again: keep the first mount of each device, which is the one nearest the root.
        struct stat info {};
        if (stat(entry.mnt_dir, &info) != 0 || !S_ISDIR(info.st_mode) ||
            !devices.insert(info.st_dev).second) {
            continue;
        }
        const unsigned kind = network                          ? DRIVE_TYPE_REMOTE
                              : is_removable(entry.mnt_fsname) ? DRIVE_TYPE_REMOVABLE
                                                               : DRIVE_TYPE_FIXED;
        if (auto drive = make_drive(entry.mnt_dir, kind, volume_space(entry.mnt_dir), "")) {
            drives.push_back(std::move(*drive));
        }
    }
    endmntent(mounts);
    std::sort(drives.begin(), drives.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.root < b.root; });
    return drives;
}

std::uint64_t recycle_bin_bytes() {
    return 0;
}

}  // namespace spadrim
