// Drive filtering and texts. See drives.h.
#include "scan/drives.h"

#include <algorithm>

#include "kinds/kinds.h"
#include "strings/strings.h"

namespace spadrim {

std::optional<DriveInfo> make_drive(std::string root, unsigned drive_type, std::optional<VolumeSpace> space,
                                    std::string label) {
    if (drive_type != DRIVE_TYPE_REMOVABLE && drive_type != DRIVE_TYPE_FIXED &&
        drive_type != DRIVE_TYPE_REMOTE) {
        return std::nullopt;
    }
    if (!space || space->total == 0) return std::nullopt;
    return DriveInfo{std::move(root),
                     std::move(label),
                     space->total,
                     space->free,
                     drive_type == DRIVE_TYPE_REMOVABLE,
                     drive_type == DRIVE_TYPE_REMOTE};
}

std::vector<DriveInfo> merge_drives(const std::vector<DriveInfo>& shown, std::vector<DriveInfo> answer,
                                    DriveKinds answered) {
    std::vector<DriveInfo> merged = std::move(answer);
    if (answered != DriveKinds::All) {
        const bool network = answered == DriveKinds::Network;
        const auto fresh = static_cast<std::ptrdiff_t>(merged.size());
        for (const DriveInfo& drive : shown) {
            // A letter the answer names is the answer's, even when it was a drive of the other kind.
            const auto named = [&](const DriveInfo& d) { return d.root == drive.root; };
            if (drive.network != network && std::none_of(merged.begin(), merged.begin() + fresh, named))
                merged.push_back(drive);
        }
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const DriveInfo& a, const DriveInfo& b) { return a.root < b.root; });
    return merged;
}

std::string drive_title(const DriveInfo& drive) {
    std::string title;
    if (!drive.label.empty()) {
        title = drive.label;
    } else if (drive.network) {
        title = tr("네트워크 드라이브", "Network drive");
    } else if (drive.removable) {
        title = tr("이동식 디스크", "Removable disk");
    } else {
        title = tr("로컬 디스크", "Local disk");
    }
    std::string_view root = drive.root;
    while (root.size() > 1 && (root.back() == '\\' || root.back() == '/'))
        root.remove_suffix(1);
    title += " (";
    title += root;
    title += ')';
    return title;
}

std::string drive_space_text(const DriveInfo& drive) {
    if (drive.total >= SIZE_NOT_REPORTED)
        return std::string(tr("크기를 알 수 없는 드라이브", "Size not reported"));
    return substitute(tr("남은 공간 {0} / 전체 {1}", "{0} free of {1}"),
                      {format_size(drive.free), format_size(drive.total)});
}

std::optional<double> drive_usage(const DriveInfo& drive) {
    if (drive.total >= SIZE_NOT_REPORTED) return std::nullopt;
    if (drive.total == 0 || drive.free >= drive.total) return 0.0;
    return static_cast<double>(drive.total - drive.free) / static_cast<double>(drive.total);
}

}  // namespace spadrim
