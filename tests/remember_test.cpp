// Remembered scans: the names and bounds as pure rules, a save on a real folder read back by the scan-file
// reader, and the App saving a finished walk on a worker.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>

#include "app/app.h"
#include "ncdu/ncdu.h"
#include "remember/files.h"
#include "remember/remember.h"
#include "scan/folder.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

constexpr std::uint64_t MIB = 1ull << 20;
constexpr std::int64_t DEC_3_2026 = 1796292900;  // 2026-12-03T10:15:00Z

RememberedScan kept(std::string file, std::uint64_t hash, std::int64_t when, std::uint64_t bytes = 1) {
    RememberedScan scan;
    scan.file = std::move(file);
    scan.root_hash = hash;
    scan.when = when;
    scan.bytes = bytes;
    return scan;
}

TEST(RememberRules, NamesRoundTripAndForeignNamesAreLeftAlone) {
    EXPECT_EQ(remembered_name(0x0123456789abcdefull, DEC_3_2026, 5000, 12),
              "20261203T101500Z-0123456789abcdef-5000-12.json.gz");
    for (const auto& [hash, when, size, files] :
         std::vector<std::tuple<std::uint64_t, std::int64_t, std::uint64_t, std::uint64_t>>{
             {0, 0, 0, 0},
             {~0ull, DEC_3_2026, ~0ull, ~0ull},
             {42, 253402300799, 1, 1},
             {7, 951782400, 3, 4}}) {
        const std::string name = remembered_name(hash, when, size, files);
        const std::optional<RememberedScan> back = parse_remembered_name(name);
        ASSERT_TRUE(back) << name;
        EXPECT_EQ(back->root_hash, hash) << name;
        EXPECT_EQ(back->when, when) << name;
        EXPECT_EQ(back->size, size) << name;
        EXPECT_EQ(back->files, files) << name;
    }
    // Names sort as their times do, so a listing read in name order is in time order.
    EXPECT_LT(remembered_name(9, 999999999, 1, 1), remembered_name(1, 1000000000, 1, 1));
    for (const char* foreign : {
             "notes.txt",
             "20261203T101500Z-0123456789abcdef-5000-12.json",
             "20261203T101500Z-0123456789abcdef-5000-12.json.gz.part",
             "20261303T101500Z-0123456789abcdef-5000-12.json.gz",  // month 13
             "20260230T101500Z-0123456789abcdef-5000-12.json.gz",  // 30 February
             "20261203T241500Z-0123456789abcdef-5000-12.json.gz",
             "19691231T235959Z-0123456789abcdef-5000-12.json.gz",
             "20261203 101500Z-0123456789abcdef-5000-12.json.gz",
             "20261203T101500Z-0123456789ABCDEF-5000-12.json.gz",
             "20261203T101500Z-0123456789abcde-5000-12.json.gz",
             "20261203T101500Z-0123456789abcdefa-5000-12.json.gz",
             "20261203T101500Z-0123456789abcdef-5000-.json.gz",
             "20261203T101500Z-0123456789abcdef-+5000-12.json.gz",
             "20261203T101500Z-0123456789abcdef-5000-12-3.json.gz",
             "20261203T101500Z-0123456789abcdef-99999999999999999999-1.json.gz",
             "x20261203T101500Z-0123456789abcdef-5000-12.json.gz",
         }) {
        EXPECT_FALSE(parse_remembered_name(foreign)) << foreign;
    }
}

TEST(RememberRules, RemovalsKeepTheNewestPerRootAndWithinTheTotal) {
    const std::uint64_t A = 1, B = 2;
    struct Case {
        const char* what;
        std::vector<RememberedScan> kept;
        std::uint64_t new_bytes;
        std::vector<std::string> removed;
    };
    std::vector<RememberedScan> ten_of_a = {kept("b-old", B, 0)};
    for (int i = 1; i <= 10; ++i)
        ten_of_a.push_back(kept("a" + std::to_string(i), A, 100 + (i * 7) % 11));  // not in time order
    std::vector<RememberedScan> twelve_of_a;
    for (int i = 1; i <= 12; ++i)
        twelve_of_a.push_back(kept("a" + std::to_string(i), A, i));
    const std::vector<Case> cases = {
        {"nine of the root: room for the new one", std::vector(ten_of_a.begin(), ten_of_a.end() - 1), 1, {}},
        // The oldest of the root goes, not the older scan of another root.
        {"ten of the root", ten_of_a, 1, {"a8"}},
        {"more than the bound from before", twelve_of_a, 1, {"a1", "a2", "a3"}},
        {"the total: oldest first, whatever the root",
         {kept("c", A, 3, 300 * MIB), kept("a", B, 1, 300 * MIB), kept("b", A, 2, 300 * MIB)},
         200 * MIB,
         {"a"}},
        {"exactly the total", {kept("a", B, 1, 512 * MIB)}, 512 * MIB, {}},
        {"ties in time by name", {kept("y", B, 1, 600 * MIB), kept("x", B, 1, 600 * MIB)}, 1, {"x"}},
        {"a new file above the total leaves it alone",
         {kept("a", A, 1), kept("b", B, 2)},
         2048 * MIB,
         {"a", "b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plan_removals(c.kept, A, c.new_bytes), c.removed) << c.what;

    EXPECT_TRUE(room_to_save(100, std::nullopt));
    EXPECT_TRUE(room_to_save(100, 200));
    EXPECT_FALSE(room_to_save(100, 199));
    EXPECT_TRUE(room_to_save(0, 0));
    EXPECT_FALSE(room_to_save(~0ull, ~0ull));
}

TEST(RememberRules, RootsFoldCaseUnderWindowsOnly) {
    EXPECT_EQ(root_hash("C:\\Users\\Ann"), root_hash("c:\\USERS\\ann"));
    EXPECT_EQ(root_hash("D:\\\xC3\x84pfel"), root_hash("d:\\\xC3\xA4PFEL"));  // Ä and ä
    EXPECT_EQ(root_hash("\\\\Server\\Share"), root_hash("\\\\server\\SHARE"));
    EXPECT_NE(root_hash("/home/Ann"), root_hash("/home/ann"));
    EXPECT_NE(root_hash("C:\\Users"), root_hash("C:\\Users2"));
    EXPECT_NE(root_hash("C:\\"), root_hash("D:\\"));
}

// path below the root -> (size, mtime, flags)
std::map<std::string, std::tuple<std::uint64_t, std::uint32_t, int>> entries_of(const FileTree& tree) {
    std::map<std::string, std::tuple<std::uint64_t, std::uint32_t, int>> out;
    for (NodeIndex i = 0; i < tree.nodes.size(); ++i) {
        std::string path;
        for (const NodeIndex step : chain_to(tree, i))
            if (step != 0) path += "/" + std::string(name_of(tree, step));
        out[path] = {node_at(tree, i).size, node_at(tree, i).mtime, node_at(tree, i).flags};
    }
    return out;
}

FileTree sample_tree(const std::string& root) {
    FileTree tree = make_tree(root);
    std::vector<ListedEntry> top(3);
    top[0].name = "a.txt", top[0].size = 10, top[0].mtime = 1700000000;
    top[1].name = "docs", top[1].flags = FLAG_DIR;
    top[2].name = "link", top[2].flags = FLAG_LINK;
    append_listing(tree, 0, top);
    std::vector<ListedEntry> docs(1);
    docs[0].name = "\xED\x95\x9C.doc", docs[0].size = 3000, docs[0].mtime = 1600000000;
    append_listing(tree, 2, docs);
    roll_up(tree);
    return tree;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const FolderFile& file : list_files(folder).value_or(std::vector<FolderFile>{}))
        names.push_back(file.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SaveScan, WritesAFileTheReaderTakesAndLeavesNothingWhenItCannot) {
    test::TempTree disk;
    const std::string folder = disk.root_text() + "/scans/nested";
    const FileTree tree = sample_tree("/data/Ann");
    const std::atomic<bool> go{false};

    const SaveOutcome saved = save_scan(tree, folder, DEC_3_2026, go);
    ASSERT_TRUE(saved.saved) << saved.error;
    EXPECT_TRUE(saved.error.empty());
    const std::optional<RememberedScan> named = parse_remembered_name(saved.file.substr(folder.size() + 1));
    ASSERT_TRUE(named) << saved.file;
    EXPECT_EQ(named->root_hash, root_hash("/data/Ann"));
    EXPECT_EQ(named->when, DEC_3_2026);
    EXPECT_EQ(named->size, 3010u);
    EXPECT_EQ(named->files, 3u);
    ScanProgress progress;
    const ImportOutcome back = read_ncdu_file(saved.file, progress);
    ASSERT_TRUE(back.tree) << back.error;
    EXPECT_EQ(back.timestamp, DEC_3_2026);
    EXPECT_EQ(back.tree->when, DEC_3_2026);
    EXPECT_EQ(back.tree->root_path, tree.root_path);
    EXPECT_EQ(entries_of(*back.tree), entries_of(tree));

    const std::vector<RememberedScan> listed = list_remembered(folder);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].file, saved.file);
    EXPECT_EQ(listed[0].bytes, file_bytes(saved.file));
    const std::optional<ScanFileHead> head = read_scan_head(saved.file);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->root, "/data/Ann");
    EXPECT_EQ(head->timestamp, DEC_3_2026);
    EXPECT_TRUE(earlier_scan(listed, tree, DEC_3_2026 + 1));
    EXPECT_FALSE(earlier_scan(listed, tree, DEC_3_2026));  // made at the same time: not earlier
    // A name whose hash says "/other" while the file inside is of /data/Ann is not taken for /other.
    const FileTree other = sample_tree("/other");
    const std::string posing = folder + "/" + remembered_name(root_hash("/other"), 1000, 1, 1);
    {
        std::ifstream in(saved.file, std::ios::binary);
        std::ofstream(posing, std::ios::binary) << in.rdbuf();
    }
    EXPECT_FALSE(earlier_scan(list_remembered(folder), other, DEC_3_2026));
    std::filesystem::remove(posing);

    // A cancelled save, and one into a folder that cannot be made (below a file), leave nothing behind.
    const std::atomic<bool> stop{true};
    const SaveOutcome cancelled = save_scan(tree, folder, DEC_3_2026 + 60, stop);
    EXPECT_FALSE(cancelled.saved);
    EXPECT_TRUE(cancelled.error.empty()) << cancelled.error;
    EXPECT_EQ(names_in(folder), std::vector<std::string>{saved.file.substr(folder.size() + 1)});
    disk.file("plain", 3);
    const SaveOutcome refused = save_scan(tree, disk.root_text() + "/plain/scans", DEC_3_2026, go);
    EXPECT_FALSE(refused.saved);
    EXPECT_FALSE(refused.no_room);
    EXPECT_NE(refused.error.find("could not create"), std::string::npos) << refused.error;
    EXPECT_EQ(names_in(disk.root_text()), std::vector<std::string>{"plain"});

    // The bounds are applied after a save: ten of the root at most, the oldest going.
    for (int i = 1; i <= 10; ++i)
        disk.file("scans/nested/" + remembered_name(named->root_hash, 1000 + i, 1, 1), 1);
    disk.file("scans/nested/notes.txt", 5);
    disk.file("scans/nested/" + remembered_name(5, 7, 1, 1) + ".part", 5);  // left aside by a save
    ASSERT_TRUE(save_scan(tree, folder, DEC_3_2026 + 120, go).saved);
    const std::vector<RememberedScan> bounded = list_remembered(folder);
    ASSERT_EQ(bounded.size(), 10u);
    EXPECT_EQ(bounded.front().when, DEC_3_2026 + 120);
    EXPECT_EQ(bounded.back().when, 1003);  // 1001 and 1002 made room
    EXPECT_EQ(forget_remembered(folder), 0u);
    EXPECT_EQ(names_in(folder), std::vector<std::string>{"notes.txt"});  // not ours: left alone
}

TEST(ScanHead, ReadsTheStartOfPlainCompressedAndCutFiles) {
    test::TempTree disk;
    const auto put = [&](const std::string& name, const std::string& text) {
        std::ofstream(disk.root() / name, std::ios::binary) << text;
        return disk.root_text() + "/" + name;
    };
    const std::string cut =
        put("cut.json", R"([1,1,{"progname":"ncdu","x":{"timestamp":9},"timestamp":77},)"
                        "\n"
                        R"([{"name":"/srv/d\u00e9p\u00f4t","asize":4096},{"name":"a","as)");
    const std::optional<ScanFileHead> head = read_scan_head(cut);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->root, "/srv/d\xC3\xA9p\xC3\xB4t");
    EXPECT_EQ(head->timestamp, 77);
    const std::string untimed = put("untimed.json", R"([1,2,{"progname":"gdu"},[{"name":"D:\\"}]])");
    EXPECT_EQ(read_scan_head(untimed)->timestamp, 0);
    EXPECT_EQ(read_scan_head(untimed)->root, "D:\\");
    EXPECT_FALSE(read_scan_head(put("text.json", "not a scan file")));
    EXPECT_FALSE(read_scan_head(put("version.json", R"([2,0,{},[{"name":"/x"}]])")));
    EXPECT_FALSE(read_scan_head(put("early.json", R"([1,2,[{"name":"/x"}]])")));  // no metadata
    EXPECT_FALSE(read_scan_head(disk.root_text() + "/missing.json.gz"));
    const std::string compressed = disk.root_text() + "/whole.json.gz";
    ASSERT_FALSE(write_ncdu_file(sample_tree("/data"), compressed));
    EXPECT_EQ(read_scan_head(compressed)->root, "/data");
    EXPECT_GT(read_scan_head(compressed)->timestamp, DEC_3_2026 - 366 * 86400);  // now
}

// Wake-ups of the scan and save threads, counted.
struct Wakes {
    std::mutex lock;
    std::condition_variable changed;
    int scans = 0;
    int saves = 0;

    void wait(const int& count, int at_least) {
        std::unique_lock hold(lock);
        changed.wait(hold, [&] { return count >= at_least; });
    }
    int now(const int& count) {
        const std::lock_guard hold(lock);
        return count;
    }
};

TEST(RememberScan, AFinishedWalkIsSavedOnAWorkerAndListed) {
    test::TempTree disk;
    disk.file("data/a.bin", 4096);
    const std::string data = disk.root_text() + PATH_SEPARATOR + "data";
    Wakes wakes;
    App app;
    app.scan_threads = 2;
    app.scans_folder = disk.root_text() + PATH_SEPARATOR + "scans";
    app.wake_scan_owner = [&] {
        const std::lock_guard hold(wakes.lock);
        ++wakes.scans;
        wakes.changed.notify_all();
    };
    app.wake_save_owner = [&] {
        const std::lock_guard hold(wakes.lock);
        ++wakes.saves;
        wakes.changed.notify_all();
    };
    const auto scan = [&](const std::string& what, bool import) {
        const int before = wakes.now(wakes.scans);
        ASSERT_TRUE(import ? start_import(app, what) : start_scan(app, what, std::nullopt));
        wakes.wait(wakes.scans, before + 1);
        finish_scan(app);
        ASSERT_TRUE(app.tree);
    };

    scan(data, false);
    ASSERT_TRUE(app.saving);
    wakes.wait(wakes.saves, 1);
    finish_save(app);
    EXPECT_FALSE(app.saving);
    ASSERT_EQ(app.recent_scans.size(), 1u);
    EXPECT_EQ(app.recent_scans[0].root_hash, root_hash(data));
    EXPECT_EQ(app.recent_scans[0].when, app.tree->when);
    EXPECT_EQ(app.recent_scans[0].size, 4096u);
    const std::string remembered = app.recent_scans[0].file;
    const std::int64_t when = app.tree->when;

    // Opening a remembered scan does not remember it again; its tree knows when it was made.
    scan(remembered, true);
    EXPECT_FALSE(app.saving);
    EXPECT_EQ(app.tree->when, when);
    app.remember_scans = false;
    scan(data, false);
    EXPECT_FALSE(app.saving);

    // A save that fails is told once per run, in a notice.
    app.remember_scans = true;
    disk.file("file", 1);
    app.scans_folder = disk.root_text() + PATH_SEPARATOR + "file" + PATH_SEPARATOR + "scans";
    for (int round = 1; round <= 2; ++round) {
        scan(data, false);
        const std::string summary = app.notice;
        wakes.wait(wakes.saves, 1 + round);
        finish_save(app);
        if (round == 1) {
            EXPECT_TRUE(app.notice.starts_with("This scan could not be remembered: could not create "))
                << app.notice;
        } else {
            EXPECT_EQ(app.notice, summary);
        }
        EXPECT_TRUE(app.recent_scans.empty());
    }

    app.scans_folder = disk.root_text() + PATH_SEPARATOR + "scans";
    show_recent_scans(app);
    EXPECT_EQ(app.recent_scans.size(), 1u);
    forget_scans(app);
    EXPECT_TRUE(app.recent_scans.empty());
    EXPECT_TRUE(names_in(app.scans_folder).empty());
    EXPECT_EQ(app.notice, "Remembered scans deleted");
}

}  // namespace
}  // namespace spadrim
