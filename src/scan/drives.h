// The drives offered on the home screen, with their space figures, and the size of the Recycle Bin.
//
// The filtering, the texts and the merging of answers are pure functions over raw query results;
// query_drives and recycle_bin_bytes (drives_win.cpp, drives_posix.cpp) make the queries, on any thread.
// A network drive whose server is away can keep its query waiting for tens of seconds: the window asks
// on a worker, the local drives apart from the network ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spadrim {

// Volumes reporting this many bytes or more are taken as not reporting their size.
inline constexpr std::uint64_t SIZE_NOT_REPORTED = 1ull << 50;

struct DriveInfo {
    std::string root;   // "C:\" on Windows; the mount point elsewhere
    std::string label;  // empty when the volume has none
    std::uint64_t total = 0;
    std::uint64_t free = 0;  // free bytes of the volume, not the caller's quota
    bool removable = false;
    bool network = false;
};

struct VolumeSpace {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

// Windows drive types, as GetDriveTypeW reports them.
inline constexpr unsigned DRIVE_TYPE_REMOVABLE = 2;
inline constexpr unsigned DRIVE_TYPE_FIXED = 3;
inline constexpr unsigned DRIVE_TYPE_REMOTE = 4;

// A drive worth listing, or nothing: only removable, fixed and network drives whose space query
// succeeded with a non-zero total (an empty card reader or a disconnected share is left out).
std::optional<DriveInfo> make_drive(std::string root, unsigned drive_type, std::optional<VolumeSpace> space,
                                    std::string label);

// "Windows (C:)", "Local disk (C:)", "Network drive (Z:)".
std::string drive_title(const DriveInfo& drive);

// "{0} free of {1}", or "Size not reported" for a volume of SIZE_NOT_REPORTED bytes or more.
std::string drive_space_text(const DriveInfo& drive);

// Used share of the volume, 0 to 1; nothing when the size is not reported (no bar is drawn).
std::optional<double> drive_usage(const DriveInfo& drive);

// Which drives a query asks about: the local ones (fixed and removable), which answer at once, the
// network ones, which may not, or all.
enum class DriveKinds : std::uint8_t {
    Local,
    Network,
    All
};

// The drives of this machine of the given kinds, in drive-letter (or mount) order. The kind is known
// before a drive is asked anything, so a local query never waits for a network drive.
std::vector<DriveInfo> query_drives(DriveKinds kinds = DriveKinds::All);

// The drives to show once a query of `answered` kinds answers: its drives in place of those of that kind
// in `shown`, the others kept as they were until their own query answers; in root order.
std::vector<DriveInfo> merge_drives(const std::vector<DriveInfo>& shown, std::vector<DriveInfo> answer,
                                    DriveKinds answered);

// Total size of the Recycle Bin of all drives; 0 when the query fails or there is none.
std::uint64_t recycle_bin_bytes();

}  // namespace spadrim
