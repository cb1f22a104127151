// Classification of listed entries. The Windows cases run everywhere: several of them (junctions, folder
// symbolic links with their reparse tag, cloud placeholders, NTFS compression) cannot be produced under
// Wine 8, whose FindFirstFileExW reports a symlinked folder as REPARSE_POINT|DIRECTORY with tag 0 and
// a symlinked file as a plain file. This pure function is the only place those cases can be tested.
#include <gtest/gtest.h>

#include "kinds/kinds.h"
#include "scan/classify.h"

namespace spadrim {
namespace {

constexpr std::uint64_t GB = 1ull << 30;
constexpr std::uint64_t MB = 1ull << 20;
constexpr auto PICTURES = static_cast<std::uint8_t>(FileKind::Pictures);
constexpr auto OTHER = static_cast<std::uint8_t>(FileKind::Other);

TEST(ClassifyFindEntry, FolderLinksAndJunctionsAreNotEntered) {
    for (std::uint32_t tag : {TAG_SYMLINK, TAG_MOUNT_POINT}) {
        const ListedEntry e =
            classify_find_entry("big", {ATTR_DIRECTORY | ATTR_REPARSE_POINT, tag, 0}, std::nullopt);
        EXPECT_EQ(e.flags, FLAG_DIR | FLAG_LINK);
        EXPECT_EQ(e.size, 0u);
        EXPECT_EQ(e.kind, 0u);
        EXPECT_EQ(e.name, "big");
    }
    // What Wine reports for a folder symlink: no tag, so it is an ordinary folder there.
    EXPECT_EQ(classify_find_entry("w", {ATTR_DIRECTORY | ATTR_REPARSE_POINT, 0, 0}, std::nullopt).flags,
              FLAG_DIR);
}

TEST(ClassifyFindEntry, FileLinkCountsNothingButKeepsItsKind) {
    const ListedEntry e =
        classify_find_entry("photo.JPG", {ATTR_REPARSE_POINT, TAG_SYMLINK, 5000}, std::nullopt);
    EXPECT_EQ(e.flags, FLAG_LINK);
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(e.kind, PICTURES);
    // Even when the link is also marked compressed and the on-disk size was asked for.
    EXPECT_EQ(classify_find_entry("a", {ATTR_REPARSE_POINT | ATTR_COMPRESSED, TAG_SYMLINK, 10}, 4).size, 0u);
}

TEST(ClassifyFindEntry, CloudPlaceholdersCountZero) {
    for (std::uint32_t attribute : {ATTR_OFFLINE, ATTR_RECALL_ON_OPEN, ATTR_RECALL_ON_DATA_ACCESS}) {
        const ListedEntry e = classify_find_entry(
            "movie.mkv", {attribute | ATTR_REPARSE_POINT, 0x9000601A, 2 * GB}, std::nullopt);
        EXPECT_EQ(e.flags, FLAG_CLOUD_ONLY);
        EXPECT_EQ(e.size, 0u);
        EXPECT_FALSE(wants_on_disk_size(attribute | ATTR_SPARSE_FILE));
    }
    // A synced file that is present locally is another kind of reparse point: it counts its size.
    const ListedEntry local =
        classify_find_entry("doc.pdf", {ATTR_REPARSE_POINT, 0x9000601A, 3 * MB}, std::nullopt);
    EXPECT_EQ(local.flags, 0u);
    EXPECT_EQ(local.size, 3 * MB);
    // The cloud bits never make a folder cloud-only.
    EXPECT_EQ(
        classify_find_entry("d", {ATTR_DIRECTORY | ATTR_RECALL_ON_DATA_ACCESS, 0, 0}, std::nullopt).flags,
        FLAG_DIR);
}

TEST(ClassifyFindEntry, CompressedAndSparseFilesCountTheirSpaceOnDisk) {
    EXPECT_TRUE(wants_on_disk_size(ATTR_COMPRESSED));
    EXPECT_TRUE(wants_on_disk_size(ATTR_SPARSE_FILE));
    EXPECT_FALSE(wants_on_disk_size(0x20));  // archive bit alone
    EXPECT_FALSE(wants_on_disk_size(ATTR_DIRECTORY | ATTR_COMPRESSED));
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_COMPRESSED, 0, 100 * MB}, 40 * MB).size, 40 * MB);
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_SPARSE_FILE, 0, 100 * MB}, 0).size, 0u);
    // When the on-disk query failed, the listed size stays.
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_COMPRESSED, 0, 100 * MB}, std::nullopt).size, 100 * MB);
    // Files without those attributes never use an on-disk figure.
    EXPECT_EQ(classify_find_entry("x", {0x20, 0, 1234}, 1).size, 1234u);
    // The length stays known where the counted size is not it, for comparing contents.
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_COMPRESSED, 0, 100 * MB}, 40 * MB).length, 100 * MB);
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_COMPRESSED, 0, 100 * MB}, 100 * MB).length, 0u);
    EXPECT_EQ(classify_find_entry("x.vhdx", {ATTR_COMPRESSED, 0, 100 * MB}, std::nullopt).length, 0u);
    EXPECT_EQ(classify_find_entry("l", {ATTR_SPARSE_FILE | ATTR_REPARSE_POINT, TAG_SYMLINK, 9}, 1).length,
              0u);
}

TEST(ClassifyFindEntry, FilesAndFolders) {
    const ListedEntry plain =
        classify_find_entry("notes", {0x20 | 0x2 | 0x4, 0, (5ull << 32) | 7}, std::nullopt);
    EXPECT_EQ(plain.flags, 0u);  // hidden and system entries are listed like any other
    EXPECT_EQ(plain.size, (5ull << 32) | 7);
    EXPECT_EQ(plain.kind, OTHER);
    const ListedEntry dir = classify_find_entry("Photos.jpg", {ATTR_DIRECTORY, 0, 4096}, std::nullopt);
    EXPECT_EQ(dir.flags, FLAG_DIR);
    EXPECT_EQ(dir.size, 0u);
    EXPECT_EQ(dir.kind, 0u);  // a folder never gets a kind, whatever its name
}

TEST(ClassifyStatEntry, LinksMountPointsAndSparseFiles) {
    const ListedEntry dir_link = classify_stat_entry("l", {false, true, true, false, 0, 0});
    EXPECT_EQ(dir_link.flags, FLAG_DIR | FLAG_LINK);
    const ListedEntry file_link = classify_stat_entry("song.mp3", {false, true, false, false, 40, 0});
    EXPECT_EQ(file_link.flags, FLAG_LINK);
    EXPECT_EQ(file_link.size, 0u);
    EXPECT_EQ(file_link.kind, static_cast<std::uint8_t>(FileKind::Music));
    EXPECT_EQ(classify_stat_entry("mnt", {true, false, false, true, 0, 0}).flags, FLAG_DIR | FLAG_LINK);
    EXPECT_EQ(classify_stat_entry("sub", {true, false, false, false, 4096, 8}).flags, FLAG_DIR);
    EXPECT_EQ(classify_stat_entry("sub", {true, false, false, false, 4096, 8}).size, 0u);

    EXPECT_EQ(classify_stat_entry("disk.img", {false, false, false, false, 100 * MB, 8}).size,
              4096u);  // sparse
    EXPECT_EQ(classify_stat_entry("a.txt", {false, false, false, false, 10, 8}).size,
              10u);  // block slack ignored
    EXPECT_EQ(classify_stat_entry("disk.img", {false, false, false, false, 100 * MB, 8}).length, 100 * MB);
    EXPECT_EQ(classify_stat_entry("a.txt", {false, false, false, false, 10, 8}).length, 0u);
}

TEST(ClassifyStatEntry, TheKernelsWordOnAMountRootOverridesTheDevice) {
    struct Case {
        std::optional<bool> kernel_says;
        bool other_device;
        bool in_table;
        bool mount_root;
        bool table_asked;
    };
    const Case cases[] = {
        {false, true, false, false, false},        // a btrfs subvolume: a device of its own, no mount
        {true, false, false, true, false},         // a bind mount of the same file system
        {false, false, true, false, false},        // a stale mount table does not count either
        {std::nullopt, true, false, true, false},  // an old kernel: another device is a mount
        {std::nullopt, false, true, true, true},   // or a place in the mount table
        {std::nullopt, false, false, false, true},
    };
    for (const Case& c : cases) {
        bool asked = false;
        EXPECT_EQ(mount_root_from(c.kernel_says, c.other_device,
                                  [&] {
                                      asked = true;
                                      return c.in_table;
                                  }),
                  c.mount_root)
            << c.kernel_says.value_or(false) << c.other_device << c.in_table;
        EXPECT_EQ(asked, c.table_asked);
    }
}

TEST(ClassifyStatEntry, MountPointsFromTheMountTable) {
    const std::string table =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "36 22 8:1 /srv/data /home/me/mirror rw shared:1 - ext4 /dev/sda1 rw\n"
        "37 22 0:5 / /media/my\\040disk\\011x rw - vfat /dev/sdb1 rw\n"
        "\n"
        "38 22 0:6 / /back\\134slash rw - tmpfs tmpfs rw";  // no newline at the end
    EXPECT_EQ(mount_points_from(table),
              (std::vector<std::string>{"/", "/home/me/mirror", "/media/my disk\tx", "/back\\slash"}));
    EXPECT_TRUE(mount_points_from("").empty());
    EXPECT_TRUE(mount_points_from("36 22 8:1").empty());  // cut short: no fifth field
}

}  // namespace
}  // namespace spadrim
