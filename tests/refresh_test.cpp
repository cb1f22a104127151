// Folders brought up to date on an App as the window does it: a folder analysed again, and changes on disk
// fed from another thread as the watch feeds them, each time checked against a fresh walk of the disk,
// with the user's place, the change marks and the duplicate sets following.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "app/app.h"
#include "scan/splice.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

// The wake-ups of the App's workers, which the test thread waits for as the window waits for messages.
struct Wakes {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
    void wake() {
        const std::lock_guard hold(lock);
        ++count;
        changed.notify_all();
    }
    // True once the condition holds; false after a generous bound (the machine may be busy).
    template <typename Condition>
    bool wait_until(Condition condition) {
        std::unique_lock hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(60), condition);
    }
    template <typename Condition>
    void wait_until_for(std::chrono::milliseconds most, Condition condition) {
        std::unique_lock hold(lock);
        changed.wait_for(hold, most, condition);
    }
    int current() {
        const std::lock_guard hold(lock);
        return count;
    }
    bool wait_for(int n) {
        return wait_until([&] { return count >= n; });
    }
};

// Every live entry with its size and files, by path: what must equal a fresh walk.
std::vector<std::string> summary(const FileTree& tree) {
    std::vector<std::string> lines{path_of(tree, 0) + " " + std::to_string(tree.nodes[0].size) + " " +
                                   std::to_string(tree.nodes[0].file_count)};
    walk_subtree(tree, 0, [&](NodeIndex i) {
        lines.push_back(path_of(tree, i) + " " + std::to_string(tree.nodes[i].size) + " " +
                        std::to_string(tree.nodes[i].file_count));
    });
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> walked(const test::TempTree& disk) {
    ScanProgress progress;
    return summary(*walk_folder(disk.root_text(), 2, progress));
}

std::string at(const test::TempTree& disk, std::string_view relative) {
    std::string path = disk.root_text() + PATH_SEPARATOR;
    for (const char c : relative)
        path += c == '/' ? PATH_SEPARATOR : c;
    return path;
}

NodeIndex node(const App& app, const test::TempTree& disk, std::string_view relative) {
    const NodeIndex found = find_path(*app.tree, at(disk, relative));
    return found == 0 ? NO_NODE : found;
}

// Scans the disk into the App as the window does, with two walker threads.
void scan(App& app, Wakes& wakes, const test::TempTree& disk) {
    app.scan_threads = 2;
    app.wake_scan_owner = [&] { wakes.wake(); };
    app.wake_refresh_owner = [&] { wakes.wake(); };
    app.wake_duplicates_owner = [&] { wakes.wake(); };
    const int before = wakes.current();
    ASSERT_TRUE(start_scan(app, disk.root_text(), std::nullopt));
    ASSERT_TRUE(wakes.wait_for(before + 1));
    finish_scan(app);
    ASSERT_TRUE(app.tree);
}

// Runs the refresh worker's jobs until none is left, taking each outcome as the window would.
void settle(App& app, Wakes& wakes) {
    while (app.refreshing) {
        ASSERT_TRUE(wakes.wait_until([&] {
            const std::lock_guard hold(app.refresh_slot->lock);
            return !app.refresh_slot->outcomes.empty();
        }));
        finish_refresh(app);
    }
}

constexpr std::uint64_t MB = 1 << 20;

TEST(Refresh, AFolderAnalysedAgainIsSplicedInPlaceKeepingTheUsersPlace) {
    const test::TempTree disk;
    disk.file("a/deep/y.bin", 2000);
    disk.file("a/deep/w.bin", 2500);
    disk.file("a/x.bin", 1000);
    disk.file("a/gone/old.bin", 500);
    disk.file("b/z.bin", 3000);
    disk.file("copy1.bin", 2 * MB);
    disk.file("a/copy2.bin", 2 * MB);
    App app;  // no watcher: this test asks, and changes are not followed
    Wakes wakes;
    scan(app, wakes, disk);

    // Duplicates of the whole tree found before the changes.
    app.tab = Tab::Duplicates;
    refresh_view(app);
    ASSERT_TRUE(app.duplicate_job);
    ASSERT_TRUE(wakes.wait_for(2));
    finish_duplicates(app);
    ASSERT_EQ(app.duplicates.at(0).sets.size(), 1u);
    EXPECT_EQ(app.duplicates.at(0).sets[0].members.size(), 2u);

    // The user is inside a/deep with y selected; outside, a/ changes and so does b/, which is not asked.
    app.tab = Tab::Folders;
    app.current_folder = node(app, disk, "a/deep");
    app.selection = node(app, disk, "a/deep/y.bin");
    app.selected = {app.selection, node(app, disk, "a/deep/w.bin")};
    app.scroll = 12;
    refresh_view(app);
    disk.file("a/deep/y.bin", 9000);
    disk.file("a/deep/new.bin", 700);
    std::filesystem::remove_all(disk.root() / "a" / "gone");
    disk.file("a/copy3.bin", 2 * MB);
    std::filesystem::remove(disk.root() / "b" / "z.bin");
    const std::vector<std::string> b_before = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : summary(*app.tree))
            if (line.find(PATH_SEPARATOR + std::string("b")) != std::string::npos) lines.push_back(line);
        return lines;
    }();
    const std::uint64_t generation = app.tree_generation;
    ASSERT_TRUE(start_refresh(app, node(app, disk, "a")));
    EXPECT_TRUE(refresh_asked(app));
    EXPECT_NE(status_line(app)->find("a"), std::string::npos);
    settle(app, wakes);
    EXPECT_FALSE(refresh_asked(app));

    // a/ is what a walk finds now, b/ what the first scan found, and the totals above follow.
    std::vector<std::string> expected = walked(disk);
    std::erase_if(expected, [&](const std::string& line) {
        return line.find(PATH_SEPARATOR + std::string("b")) != std::string::npos;
    });
    expected.insert(expected.end(), b_before.begin(), b_before.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> now = summary(*app.tree);
    // The root and the lines of b differ by z, which the refresh of a/ does not see.
    const auto without_root = [&](std::vector<std::string> lines) {
        std::erase_if(lines,
                      [&](const std::string& line) { return line.starts_with(path_of(*app.tree, 0) + " "); });
        return lines;
    };
    EXPECT_EQ(without_root(now), without_root(expected));
    EXPECT_GT(app.tree_generation, generation);
    // The place: the same folder and item by path, the scroll as it was.
    EXPECT_EQ(path_of(*app.tree, app.current_folder), path_of(*app.tree, node(app, disk, "a/deep")));
    EXPECT_EQ(app.selection, node(app, disk, "a/deep/y.bin"));
    EXPECT_EQ(app.selected, (std::vector<NodeIndex>{app.selection, node(app, disk, "a/deep/w.bin")}));
    EXPECT_EQ(app.scroll, 12);
    EXPECT_TRUE(app.changed_folders.empty());  // asked for: nothing to draw attention to

    // A query's filter stays on through a splice, renumbering included, and then finds what it brought.
    set_query(app, "late");
    while (advance_query(app, std::chrono::seconds(1))) {
    }
    ASSERT_TRUE(shown_search(app));
    disk.file("a/late.bin", 100);
    ASSERT_TRUE(start_refresh(app, node(app, disk, "a")));
    settle(app, wakes);
    EXPECT_TRUE(shown_search(app));  // no flicker while it runs again
    while (advance_query(app, std::chrono::seconds(1))) {
    }
    ASSERT_TRUE(shown_search(app));
    EXPECT_EQ(shown_search(app)->found.items, std::vector<NodeIndex>{node(app, disk, "a/late.bin")});
    set_query(app, "");

    // The third copy joined the set: only its length is compared again, when the tab shows.
    ASSERT_TRUE(app.duplicates_stale.contains(0));
    app.current_folder = 0;
    app.tab = Tab::Duplicates;
    const int wakes_before = wakes.current();
    refresh_view(app);
    ASSERT_TRUE(app.duplicate_job && app.duplicate_job->lengths.size() == 1);
    ASSERT_TRUE(wakes.wait_for(wakes_before + 1));
    finish_duplicates(app);
    ASSERT_EQ(app.duplicates.at(0).sets.size(), 1u);
    EXPECT_EQ(app.duplicates.at(0).sets[0].members.size(), 3u);

    // A folder gone: its parent is listed instead, it leaves the tree and the parent is shown.
    app.tab = Tab::Folders;
    app.current_folder = node(app, disk, "a/deep");
    refresh_view(app);
    std::filesystem::remove_all(disk.root() / "a" / "deep");
    ASSERT_TRUE(start_refresh(app, app.current_folder));
    settle(app, wakes);
    EXPECT_EQ(node(app, disk, "a/deep"), NO_NODE);
    EXPECT_EQ(app.current_folder, node(app, disk, "a"));
    EXPECT_EQ(app.selection, NO_NODE);

    // Cancelled with Esc: the tree stays as it was.
    disk.file("a/later.bin", 4000);
    const std::vector<std::string> kept = summary(*app.tree);
    ASSERT_TRUE(start_refresh(app, node(app, disk, "a")));
    cancel_refresh(app);
    EXPECT_FALSE(refresh_asked(app));
    settle(app, wakes);
    EXPECT_EQ(summary(*app.tree), kept);
    EXPECT_FALSE(start_refresh(app, node(app, disk, "a/x.bin")));  // a file is not walked
}

TEST(Refresh, ChangesOnDiskFollowedWhileTheUiThreadReads) {
    const test::TempTree disk;
    for (int i = 0; i < 40; ++i)
        disk.file("keep/k" + std::to_string(i) + ".bin", 100);
    disk.file("old/o.bin", 100);
    App app;
    Wakes wakes;
    app.watcher = start_watch;  // the platform's, on a thread of its own
    app.wake_follow_owner = [&] { wakes.wake(); };
    scan(app, wakes, disk);
    ASSERT_TRUE(app.watch && app.following);
    app.current_folder = node(app, disk, "keep");
    app.selection = node(app, disk, "keep/k7.bin");
    refresh_view(app);

    std::atomic<bool> fed = false;
    // Another program meanwhile: creates a folder and files in it, removes some, makes a folder with
    // content and removes a whole folder. (In folders made after the watch began: Wine's watch reports
    // nothing from deep inside folders that were there before it.)
    std::thread changer([&] {
        disk.file("busy/seed.bin", 100);
        for (int i = 0; i < 300; ++i) {
            disk.file("busy/f" + std::to_string(i) + ".bin", 100 + static_cast<std::uint64_t>(i));
            if (i % 3 == 0)
                std::filesystem::remove(disk.root() / "busy" / ("f" + std::to_string(i) + ".bin"));
        }
        disk.file("fresh/inner/deep.bin", 5000);
        std::filesystem::remove_all(disk.root() / "old");
        fed = true;
    });

    // The UI thread meanwhile: takes what comes, splices, and reads the tree as painting would.
    auto clock = FollowClock::now();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && !(fed && walked(disk) == summary(*app.tree))) {
        clock += std::chrono::milliseconds(600);  // folders come due again without sleeping
        advance_following(app, clock);
        if (app.refreshing) settle(app, wakes);
        refresh_view(app);
        std::uint64_t rows = 0;
        for (std::size_t row = 0; row < row_count(app); ++row)
            rows += node_at(*app.tree, row_node(app, row)).size;
        ASSERT_EQ(rows, node_at(*app.tree, app.current_folder).size);  // the totals add up at every step
        const int seen = wakes.current();
        if (!fed) wakes.wait_until_for(std::chrono::milliseconds(20), [&] { return wakes.count > seen; });
    }
    changer.join();
    EXPECT_EQ(summary(*app.tree), walked(disk));
    // The place by path, whatever compaction did to the numbers; the marks lead to what changed.
    EXPECT_EQ(app.current_folder, node(app, disk, "keep"));
    EXPECT_EQ(app.selection, node(app, disk, "keep/k7.bin"));
    EXPECT_FALSE(updated_text(app, Clock::now()).empty());
    EXPECT_TRUE(carries_change_mark(app, node(app, disk, "busy")));
    EXPECT_FALSE(carries_change_mark(app, node(app, disk, "keep")));
    app.current_folder = node(app, disk, "busy");
    refresh_view(app);
    EXPECT_FALSE(carries_change_mark(app, node(app, disk, "busy")));  // seen

    // Changes lost (the system's queue overflowed): the whole root is walked again in the background, the
    // place kept.
    disk.file("keep/quiet.bin", 777);
    {
        const std::lock_guard hold(app.change_inbox->lock);
        app.change_inbox->changes.clear();
        app.change_inbox->lost = true;
    }
    app.current_folder = node(app, disk, "keep");
    clock += std::chrono::seconds(2);
    advance_following(app, clock);
    ASSERT_TRUE(app.refreshing && !app.refreshing->asked);
    settle(app, wakes);
    EXPECT_EQ(summary(*app.tree), walked(disk));
    EXPECT_EQ(app.current_folder, node(app, disk, "keep"));
    EXPECT_EQ(app.selection, node(app, disk, "keep/k7.bin"));
}

}  // namespace
}  // namespace spadrim
