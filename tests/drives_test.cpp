#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>

#include "app/app.h"
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

// "C: E: Z:n": the roots in order, network ones marked.
std::string roots(const std::vector<DriveInfo>& drives) {
    std::string text;
    for (const DriveInfo& d : drives) {
        const std::string root = d.root.ends_with('\\') ? d.root.substr(0, d.root.size() - 1) : d.root;
        text += (text.empty() ? "" : " ") + root + (d.network ? "n" : "");
    }
    return text;
}

// The local drives show at once, the network ones when they answer; an answer older than the one shown
// for its kinds is dropped, and the other kind stays as it was until its own answer.
TEST(Drives, AnswersAreMergedByKindAndOnlyLaterListingsReplaceShownOnes) {
    App app;
    app.drives = {drive("C:\\", ""), drive("Z:\\", "", false, true)};
    const struct {
        std::uint64_t generation;
        DriveKinds kinds;
        std::vector<DriveInfo> drives;
        const char* shown;
    } steps[] = {
        {2, DriveKinds::Local, {drive("E:\\", "", true), drive("C:\\", "")}, "C: E: Z:n"},
        {1, DriveKinds::Local, {drive("C:\\", "")}, "C: E: Z:n"},  // superseded by listing 2
        {1, DriveKinds::Network, {drive("Y:\\", "", false, true)}, "C: E: Y:n"},
        {3, DriveKinds::Local, {}, "Y:n"},
        {3, DriveKinds::Local, {drive("D:\\", "")}, "Y:n"},  // the same listing's answer again
        // A letter that changed kind is the answer's.
        {4, DriveKinds::Local, {drive("Y:\\", "", true)}, "Y:"},
        {5, DriveKinds::Network, {drive("X:\\", "", false, true)}, "X:n Y:"},
    };
    for (const auto& step : steps) {
        apply_drive_answer(app, DriveAnswer{step.generation, step.kinds, step.drives, {}});
        EXPECT_EQ(roots(app.drives), step.shown) << step.generation;
    }
    EXPECT_EQ(roots(merge_drives(app.drives, {drive("/", "")}, DriveKinds::All)), "/");
}

// Listed on workers: the request returns before any drive is known, only one network query runs at a
// time, and one asked for meanwhile runs once the first has answered.
TEST(Drives, ListingsRunOnWorkersAndEndAsADirectQuery) {
    struct Waker {
        std::mutex lock;
        std::condition_variable woken;
        int wakes = 0;
    };
    const auto waker = std::make_shared<Waker>();
    const auto wait_for = [&](int wakes) {
        std::unique_lock hold(waker->lock);
        return waker->woken.wait_for(hold, std::chrono::seconds(20), [&] { return waker->wakes >= wakes; });
    };
    App app;
    app.wake_drives_owner = [waker] {
        std::lock_guard hold(waker->lock);
        ++waker->wakes;
        waker->woken.notify_all();
    };
    request_drives(app);
    request_drives(app);  // the first one's network query
                          // still runs: only the local drives
    EXPECT_TRUE(app.drives.empty());
    EXPECT_TRUE(app.network_query_running);
    ASSERT_TRUE(wait_for(3));
    take_drives(app);  // the wanted network query starts now
    EXPECT_TRUE(app.network_query_running);
    ASSERT_TRUE(wait_for(5));
    take_drives(app);
    EXPECT_FALSE(app.network_query_running);
    EXPECT_FALSE(app.network_query_wanted);
    EXPECT_EQ(app.local_drives_shown, 3u);
    EXPECT_EQ(app.network_drives_shown, 3u);
    EXPECT_EQ(roots(app.drives), roots(query_drives()));
    EXPECT_FALSE(app.drives.empty());
}

TEST(Drives, ThisMachineListsSomething) {
    // Windows under Wine shows C: and Z:; a Linux machine at
    // least its root file system.
    const std::vector<DriveInfo> drives = query_drives();
    ASSERT_FALSE(drives.empty());
    for (const DriveInfo& d : drives) {
        EXPECT_GT(d.total, 0u) << d.root;
        EXPECT_FALSE(drive_title(d).empty());
    }
}

}  // namespace
}  // namespace spadrim
