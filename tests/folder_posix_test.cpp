// The POSIX listing on real folders: links are never followed, sparse files count their allocated
// space, names that are not UTF-8 are repaired, a vanished folder is empty.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "kinds/kinds.h"
#include "scan/folder.h"
#include "scan/folder_posix.h"
#include "scan/walk.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

namespace fs = std::filesystem;

std::map<std::string, ListedEntry> listing(const fs::path& folder) {
    std::vector<ListedEntry> entries;
    FolderId id;
    EXPECT_EQ(list_folder(test::utf8_of(folder), entries, id), Listing::COMPLETE);
    std::map<std::string, ListedEntry> by_name;
    for (ListedEntry& entry : entries)
        by_name[entry.name] = entry;
    return by_name;
}

TEST(ListFolderPosix, SymbolicLinksAreListedButNeverFollowed) {
    test::TempTree disk;
    disk.file("big/data.bin", 100000);
    disk.file("song.mp3", 300);
    fs::create_directory_symlink(disk.root() / "big", disk.root() / "big link");
    fs::create_symlink(disk.root() / "song.mp3", disk.root() / "tune.mp3");
    fs::create_symlink(disk.root() / "nowhere", disk.root() / "dangling.txt");

    auto entries = listing(disk.root());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries["big link"].flags, FLAG_DIR | FLAG_LINK);
    EXPECT_EQ(entries["big link"].size, 0u);
    EXPECT_EQ(entries["tune.mp3"].flags, FLAG_LINK);
    EXPECT_EQ(entries["tune.mp3"].size, 0u);
    EXPECT_EQ(entries["tune.mp3"].kind, static_cast<std::uint8_t>(FileKind::Music));
    EXPECT_EQ(entries["dangling.txt"].flags, FLAG_LINK);

    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress);
    ASSERT_TRUE(tree);
    EXPECT_EQ(node_at(*tree, 0).size, 100300u);   // the linked folder's file counted once
    EXPECT_EQ(node_at(*tree, 0).file_count, 4u);  // data.bin, song.mp3 and the two file links
    EXPECT_EQ(progress.folders.load(), 2u);       // the root and big; the link is not listed
}

TEST(ListFolderPosix, SparseFileCountsItsAllocatedSpace) {
    test::TempTree disk;
    const fs::path path = disk.root() / "disk.img";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "end", 3, (64 << 20) - 3), 3);  // 64 MiB long, one block written
    close(fd);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    if (static_cast<std::uint64_t>(st.st_blocks) * 512 >= (64u << 20)) GTEST_SKIP() << "no sparse files here";

    auto entries = listing(disk.root());
    EXPECT_EQ(entries["disk.img"].size, static_cast<std::uint64_t>(st.st_blocks) * 512);
    EXPECT_LT(entries["disk.img"].size, 64u << 20);
}

TEST(ListFolderPosix, NamesThatAreNotUtf8AreRepaired) {
    test::TempTree disk;
    const std::string raw = "caf\xE9.txt";  // Latin-1, as an old archive might leave it
    const int fd = open((disk.root_text() + "/" + raw).c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    auto entries = listing(disk.root());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.begin()->first, raw);
    EXPECT_TRUE(entries.begin()->second.unshowable);
    EXPECT_EQ(entries.begin()->second.kind, static_cast<std::uint8_t>(FileKind::Documents));
}

TEST(WalkPosix, FoldersWithUnshowableNamesAreWalkedByTheirRealNames) {
    // Both names are shown as "caf\uFFFD"; a walk that went by the shown form would find neither.
    test::TempTree disk;
    for (const auto& [name, size] : {std::pair{"caf\xE9", 100}, std::pair{"caf\xE8", 200}}) {
        const std::string folder = disk.root_text() + "/" + name;
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        const int fd = open((folder + "/inside").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::string content(static_cast<std::size_t>(size), 'x');
        ASSERT_EQ(write(fd, content.data(), content.size()), size);
        close(fd);
    }
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->unreadable_folders, 0u);
    EXPECT_EQ(node_at(*tree, 0).size, 300u);
    EXPECT_EQ(node_at(*tree, 0).file_count, 2u);
    for (const NodeIndex i : sorted_children(*tree, 0)) {
        EXPECT_EQ(name_of(*tree, i), "caf\xEF\xBF\xBD");
        EXPECT_EQ(node_at(*tree, i).file_count, 1u);
        const std::string real = real_path_of(*tree, i);
        EXPECT_EQ(node_at(*tree, i).size, real.ends_with("\xE9") ? 100u : 200u) << real;
        EXPECT_EQ(find_path(*tree, real), i);
        struct stat st {};
        EXPECT_EQ(stat((real + "/inside").c_str(), &st), 0) << "the real path names the real file";
    }
}

TEST(ListFolderPosix, VanishedFolderIsEmptyAndAFileIsNotAFolder) {
    test::TempTree disk;
    disk.file("plain.txt", 1);
    std::vector<ListedEntry> entries{ListedEntry{"stale", 1, 0, 0}};
    FolderId id;
    EXPECT_EQ(list_folder(disk.root_text() + "/gone", entries, id), Listing::COMPLETE);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(list_folder(disk.root_text() + "/plain.txt", entries, id), Listing::FAILED);
}

// Reads one small batch, then fails with broken_errno: a disk error or a stale NFS handle midway.
int broken_errno = 0;
int batches = 0;
long read_then_break(int folder, char* buffer, std::size_t) {
    if (batches++ == 0) return read_entries(folder, buffer, 200);  // room for a few records only
    errno = broken_errno;
    return -1;
}

TEST(ListFolderPosix, AListingThatBreaksOffMidwayIsIncomplete) {
    test::TempTree disk;
    for (int i = 0; i < 40; ++i)
        disk.file("file " + std::to_string(i), 1);
    struct stat folder {};
    ASSERT_EQ(stat(disk.root_text().c_str(), &folder), 0);
    for (const auto& [error, expected] :
         {std::pair{EIO, Listing::INCOMPLETE}, std::pair{ESTALE, Listing::INCOMPLETE},
          std::pair{ENOENT, Listing::COMPLETE}}) {  // removed: nothing in it is left
        broken_errno = error;
        batches = 0;
        std::vector<ListedEntry> entries;
        FolderId id;
        EXPECT_EQ(list_folder_reading(disk.root_text(), entries, id, read_then_break), expected) << error;
        EXPECT_EQ(batches, 2);
        EXPECT_GT(entries.size(), 0u);  // what came before the error stands
        EXPECT_LT(entries.size(), 40u);
        EXPECT_EQ(id, (FolderId{folder.st_dev, folder.st_ino}));
    }
}

TEST(ListFolderPosix, SpecialFilesAreFilesOfTheirSize) {
    test::TempTree disk;
    ASSERT_EQ(mkfifo((disk.root_text() + "/pipe").c_str(), 0644), 0);
    auto entries = listing(disk.root());
    EXPECT_EQ(entries["pipe"].flags, 0u);
    EXPECT_EQ(entries["pipe"].size, 0u);
}

TEST(WalkRootPosix, TrailingSlashesGoButTheRootStays) {
    EXPECT_EQ(walk_root_path("/home/a//"), "/home/a");
    EXPECT_EQ(walk_root_path("/"), "/");
    EXPECT_EQ(walk_root_path("//"), "/");
}

}  // namespace
}  // namespace spadrim
