// Scans as the window runs them: start_scan, the scan thread, the result slot and finish_scan. Races
// are made deterministic with a gate in the folder lister that holds a chosen Scan inside its walk.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "app/app.h"
#include "app/input/actions.h"
#include "scan/folder.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

// Counts wake-ups from scan threads and holds walks of folders whose path contains a marker until
// released.
class Harness {
  public:
    explicit Harness(App& app) {
        app.scan_threads = 2;
        app.wake_scan_owner = [this] {
            std::lock_guard hold(lock_);
            ++wakes_;
            changed_.notify_all();
        };
        app.scan_lister = [this](const std::string& path, std::vector<ListedEntry>& out, FolderId& id,
                                 const TakeEntries& take) {
            std::unique_lock hold(lock_);
            changed_.wait(hold, [&] { return held_.empty() || path.find(held_) == std::string::npos; });
            hold.unlock();
            return list_folder(path, out, id, take);
        };
    }
    void hold(std::string marker) {
        std::lock_guard hold(lock_);
        held_ = std::move(marker);
    }
    void release() {
        std::lock_guard hold(lock_);
        held_.clear();
        changed_.notify_all();
    }
    void wait_for_wakes(int count) {
        std::unique_lock hold(lock_);
        changed_.wait(hold, [&] { return wakes_ >= count; });
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::string held_;
    int wakes_ = 0;
};

std::string sub(const test::TempTree& disk, std::string_view name) {
    return disk.root_text() + PATH_SEPARATOR + std::string(name);
}

TEST(ScanRun, WorkerCountAndDriveRoots) {
    EXPECT_EQ(worker_count(0), 4u);
    EXPECT_EQ(worker_count(1), 2u);
    EXPECT_EQ(worker_count(4), 4u);
    EXPECT_EQ(worker_count(7), 7u);
    EXPECT_EQ(worker_count(16), 8u);
    EXPECT_TRUE(is_drive_root("D:\\"));
    EXPECT_FALSE(is_drive_root("D:\\Photos"));
    EXPECT_FALSE(is_drive_root("D:"));
    EXPECT_FALSE(is_drive_root("/"));
    constexpr std::uint64_t GB = 1ull << 30;
    EXPECT_EQ(expected_bytes("D:\\", VolumeSpace{500 * GB, 200 * GB}), 300 * GB);
    EXPECT_EQ(expected_bytes("D:\\Photos", VolumeSpace{500 * GB, 200 * GB}), 0u);
    EXPECT_EQ(expected_bytes("Z:\\", VolumeSpace{SIZE_NOT_REPORTED, 0}), 0u);
    EXPECT_EQ(expected_bytes("Z:\\", VolumeSpace{10, 20}), 0u);
    EXPECT_EQ(expected_bytes("D:\\", std::nullopt), 0u);
}

TEST(ScanRun, SlotNeverTradesANewerOutcomeForAnOlderOne) {
    ResultSlot slot;
    put_outcome(slot, ScanOutcome{2, FileTree{}});
    put_outcome(slot, ScanOutcome{1, std::nullopt});  // a cancelled older Scan, finishing late
    std::optional<ScanOutcome> taken = take_outcome(slot);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->generation, 2u);
    EXPECT_TRUE(taken->tree);
    EXPECT_FALSE(take_outcome(slot));
    put_outcome(slot, ScanOutcome{3, std::nullopt});
    put_outcome(slot, ScanOutcome{4, FileTree{}});
    EXPECT_EQ(take_outcome(slot)->generation, 4u);
}

TEST(ScanRun, FinishedScanInstallsTheTreeAndReports) {
    test::TempTree disk;
    disk.file("a/b.txt", 2048);
    App app;
    Harness harness(app);
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    EXPECT_EQ(app.screen, Screen::Scanning);
    EXPECT_EQ(app.scan_job->generation, 1u);
    EXPECT_EQ(app.scan_job->expected_bytes, 0u);  // not a drive root
    harness.wait_for_wakes(1);
    finish_scan(app);
    EXPECT_EQ(app.screen, Screen::Results);
    EXPECT_FALSE(app.scan_job);
    ASSERT_TRUE(app.tree);
    EXPECT_EQ(app.tree->root_path, disk.root_text());
    EXPECT_EQ(node_at(*app.tree, 0).size, 2048u);
    EXPECT_EQ(app.tree_generation, 1u);
    EXPECT_EQ(app.current_folder, 0u);
    EXPECT_TRUE(app.notice.starts_with("2.00 KB · 1 file · took ")) << app.notice;
    EXPECT_TRUE(app.notice.ends_with(" s")) << app.notice;
    finish_scan(app);  // a stray wake-up changes nothing
    EXPECT_EQ(app.tree_generation, 1u);
}

TEST(ScanRun, MissingFolderLeavesEverythingAsItWas) {
    test::TempTree disk;
    App app;
    const std::string missing = sub(disk, "missing");
    EXPECT_FALSE(start_scan(app, missing, std::nullopt));
    EXPECT_EQ(app.notice, "Folder not found: " + missing);
    EXPECT_EQ(app.screen, Screen::Home);
    EXPECT_EQ(app.scan_generation, 0u);
    disk.file("plain.txt", 1);
    EXPECT_FALSE(start_scan(app, sub(disk, "plain.txt"), std::nullopt));  // a file is not a folder
}

TEST(ScanRun, OlderScanPublishingLateCannotHideTheNewerOne) {
    test::TempTree disk;
    disk.file("old-root/x.bin", 10);
    disk.file("new-root/y.bin", 20);
    App app;
    Harness harness(app);
    harness.hold("old-root");
    ASSERT_TRUE(start_scan(app, sub(disk, "old-root"), std::nullopt));
    ASSERT_TRUE(start_scan(app, sub(disk, "new-root"), std::nullopt));  // cancels the first
    harness.wait_for_wakes(1);  // only the newer one can have published
    harness.release();
    harness.wait_for_wakes(2);  // now the older one, cancelled, publishes after it
    finish_scan(app);
    ASSERT_TRUE(app.tree);
    EXPECT_EQ(app.tree->root_path, sub(disk, "new-root"));
    EXPECT_EQ(node_at(*app.tree, 0).size, 20u);
    EXPECT_EQ(app.screen, Screen::Results);
}

TEST(ScanRun, BackToBackScansInstallOnlyTheLast) {
    test::TempTree disk;
    disk.file("one/x.bin", 10);
    disk.file("two/y.bin", 20);
    App app;
    Harness harness(app);
    ASSERT_TRUE(start_scan(app, sub(disk, "one"), std::nullopt));
    ASSERT_TRUE(start_scan(app, sub(disk, "two"), std::nullopt));
    EXPECT_EQ(app.scan_generation, 2u);
    harness.wait_for_wakes(2);
    finish_scan(app);
    finish_scan(app);
    ASSERT_TRUE(app.tree);
    EXPECT_EQ(app.tree->root_path, sub(disk, "two"));
    EXPECT_EQ(app.tree_generation, 1u);
}

TEST(ScanRun, CancelBeforeTheFirstFolderReturnsToTheDrives) {
    test::TempTree disk;
    disk.file("x.bin", 10);
    App app;
    Harness harness(app);
    harness.hold(disk.root_text());
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    cancel_scan(app);
    harness.release();
    harness.wait_for_wakes(1);
    finish_scan(app);
    EXPECT_EQ(app.screen, Screen::Home);
    EXPECT_FALSE(app.tree);
    EXPECT_FALSE(app.drives.empty());  // rebuilt on the way home
    EXPECT_TRUE(app.notice.empty());
}

TEST(ScanRun, GoingHomeDuringAScanStaysHomeWhenItsOutcomeArrives) {
    test::TempTree disk;
    disk.file("docs/x.bin", 10);
    App app;
    Harness harness(app);
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    harness.wait_for_wakes(1);
    finish_scan(app);
    ASSERT_EQ(app.screen, Screen::Results);

    harness.hold(disk.root_text());
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));  // analyse again, then Home
    go_home(app);
    EXPECT_EQ(app.screen, Screen::Home);
    harness.release();
    harness.wait_for_wakes(2);
    finish_scan(app);  // the cancelled scan's outcome
    EXPECT_EQ(app.screen, Screen::Home);
    EXPECT_EQ(app.tree_generation, 1u);  // the earlier results are kept for later, not shown
}

TEST(ScanRun, CancelledAnalyzeAgainKeepsThePreviousResults) {
    test::TempTree disk;
    disk.file("docs/inner/x.bin", 10);
    App app;
    Harness harness(app);
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    harness.wait_for_wakes(1);
    finish_scan(app);
    const NodeIndex docs = find_path(*app.tree, sub(disk, "docs"));
    ASSERT_NE(docs, 0u);
    app.current_folder = docs;

    harness.hold(disk.root_text());
    ASSERT_TRUE(start_scan(app, disk.root_text(), path_of(*app.tree, docs)));
    cancel_scan(app);
    harness.release();
    harness.wait_for_wakes(2);
    app.notice.clear();
    finish_scan(app);
    EXPECT_EQ(app.screen, Screen::Results);
    EXPECT_EQ(app.current_folder, docs);
    EXPECT_EQ(app.tree_generation, 1u);
    EXPECT_TRUE(app.notice.empty());
}

TEST(ScanRun, AnalyzeAgainReturnsToTheFolderOnScreen) {
    test::TempTree disk;
    disk.file("Downloads/inner/x.bin", 10);
    disk.file("other.bin", 5);
    App app;
    Harness harness(app);
    // The folder is found again with ASCII letters in another case; a folder that is gone gives the root.
    ASSERT_TRUE(start_scan(app, disk.root_text(), sub(disk, "DOWNLOADS")));
    harness.wait_for_wakes(1);
    finish_scan(app);
    EXPECT_EQ(path_of(*app.tree, app.current_folder), sub(disk, "Downloads"));

    ASSERT_TRUE(start_scan(app, disk.root_text(), sub(disk, "gone")));
    harness.wait_for_wakes(2);
    finish_scan(app);
    EXPECT_EQ(app.current_folder, 0u);

    // A path that now names a file shows the root rather than a stale folder index.
    ASSERT_TRUE(start_scan(app, disk.root_text(), sub(disk, "other.bin")));
    harness.wait_for_wakes(3);
    finish_scan(app);
    EXPECT_EQ(app.current_folder, 0u);
}

TEST(ScanRun, EmptyFolderReportsZeroes) {
    test::TempTree disk;
    App app;
    Harness harness(app);
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    harness.wait_for_wakes(1);
    finish_scan(app);
    EXPECT_TRUE(app.notice.starts_with("0 B · 0 files · took ")) << app.notice;
}

}  // namespace
}  // namespace spadrim
