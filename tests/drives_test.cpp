#include <gtest/gtest.h>

#include "scan/drives.h"

namespace spadrim {
namespace {

constexpr std::uint64_t GB = 1ull << 30;

DriveInfo drive(std::string root, std::string label, bool removable = false, bool network = false) {
    return DriveInfo{std::move(root), std::move(label), 100 * GB, 40 * GB, removable, network};
}

TEST(Drives, OnlyRemovableFixedAndNetworkDrivesThatReportSpace) {
    const VolumeSpace space{500 * GB, 200 * GB};
    EXPECT_TRUE(make_drive("C:\\", DRIVE_TYPE_FIXED, space, "Windows"));
    EXPECT_FALSE(make_drive("D:\\", 5, space, ""));                              // CD/DVD
    EXPECT_FALSE(make_drive("R:\\", 6, space, ""));                              // RAM disk
    EXPECT_FALSE(make_drive("X:\\", 0, space, ""));                              // unknown
    EXPECT_FALSE(make_drive("Y:\\", 1, space, ""));                              // no root folder
    EXPECT_FALSE(make_drive("E:\\", DRIVE_TYPE_REMOVABLE, std::nullopt, ""));    // empty card reader
    EXPECT_FALSE(make_drive("Z:\\", DRIVE_TYPE_REMOTE, VolumeSpace{0, 0}, ""));  // disconnected share
    const auto stick = make_drive("F:\\", DRIVE_TYPE_REMOVABLE, space, "BACKUP");
    ASSERT_TRUE(stick);
    EXPECT_TRUE(stick->removable);
    EXPECT_FALSE(stick->network);
    EXPECT_EQ(stick->total, 500 * GB);
    EXPECT_EQ(stick->free, 200 * GB);
}

TEST(Drives, TitleIsTheLabelOrTheKindThenTheRoot) {
    EXPECT_EQ(drive_title(drive("C:\\", "Windows")), "Windows (C:)");
    EXPECT_EQ(drive_title(drive("C:\\", "")), "Local disk (C:)");
    EXPECT_EQ(drive_title(drive("F:\\", "BACKUP", true)), "BACKUP (F:)");
    EXPECT_EQ(drive_title(drive("E:\\", "", true)), "Removable disk (E:)");
    EXPECT_EQ(drive_title(drive("Z:\\", "", true, true)), "Network drive (Z:)");  // network first
    EXPECT_EQ(drive_title(drive("/", "")), "Local disk (/)");
    EXPECT_EQ(drive_title(drive("/mnt/data/", "")), "Local disk (/mnt/data)");
}

TEST(Drives, SpaceLineAndUsage) {
    DriveInfo d = drive("D:\\", "");
    d.total = 500 * GB;
    d.free = 200 * GB;
    EXPECT_EQ(drive_space_text(d), "200 GB free of 500 GB");
    EXPECT_DOUBLE_EQ(*drive_usage(d), 0.6);
    d.free = 50 * GB;
    EXPECT_DOUBLE_EQ(*drive_usage(d), 0.9);  // exactly 90%: not above the warning line
    d.free = 25 * GB;
    EXPECT_GT(*drive_usage(d), 0.9);
    d.free = 600 * GB;
    EXPECT_EQ(*drive_usage(d), 0.0);  // free above total counts as nothing used

    d.total = SIZE_NOT_REPORTED;
    EXPECT_EQ(drive_space_text(d), "Size not reported");
    EXPECT_FALSE(drive_usage(d));
    d.total = SIZE_NOT_REPORTED - 1;
    EXPECT_TRUE(drive_usage(d));
}

TEST(Drives, ThisMachineListsSomething) {
    // Windows under Wine shows C: and Z:; a Linux machine at least its root file system.
    const std::vector<DriveInfo> drives = query_drives();
    ASSERT_FALSE(drives.empty());
    for (const DriveInfo& d : drives) {
        EXPECT_GT(d.total, 0u) << d.root;
        EXPECT_FALSE(drive_title(d).empty());
    }
}

}  // namespace
}  // namespace spadrim
