// The MFT read into a tree, on small volumes laid out by hand: what a listing shows and leaves out, and
// damage that must neither crash nor hang it.
#include <gtest/gtest.h>

#include "ntfs/mft.h"
#include "support/ntfs_builder.h"

namespace spadrim {
namespace {

using namespace test;

std::optional<FileTree> read_volume(const Volume& volume, std::string* error = nullptr) {
    ScanProgress progress;
    MftOutcome outcome = read_mft("V:\\", volume.reader(), progress);
    if (error) *error = outcome.error;
    return std::move(outcome.tree);
}

// Names of a folder's live children, sorted as the list shows them.
std::vector<std::string> names_in(const FileTree& tree, NodeIndex folder) {
    std::vector<std::string> names;
    for (const NodeIndex i : sorted_children(tree, folder))
        names.emplace_back(name_of(tree, i));
    return names;
}

TEST(NtfsMft, ListsWhatAFolderListingShows) {
    Volume volume;
    volume.write(11, Volume::folder(5, u"$Extend"));  // a metafile: never listed
    volume.write(30, Volume::folder(5, u"docs"));
    volume.write(31, Volume::file(30, u"small.txt", 10));
    volume.write(32, Volume::file(30, u"big.bin", 9000));
    volume.write(33, Volume::file(5, u"$ours.txt", 7));  // a user's file may start with '$'
    Record both = Volume::file(5, u"Long name.txt", 20);
    both.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Dos, u"LONGNA~1.TXT"));  // the alias: not an entry
    volume.write(34, both);
    Record linked = Volume::file(5, u"one name", 30);
    linked.add(ATTRIBUTE_FILE_NAME, file_name(30, NameSpace::Posix, u"other name"));  // a hard link
    volume.write(35, linked);
    Record unused = Volume::file(5, u"deleted", 40);
    put(unused.bytes, 0x16, 0, 2);
    volume.write(36, unused);

    const std::optional<FileTree> tree = read_volume(volume);
    ASSERT_TRUE(tree);
    EXPECT_EQ(names_in(*tree, 0),
              (std::vector<std::string>{"docs", "one name", "Long name.txt", "$ours.txt"}));
    const NodeIndex docs = sorted_children(*tree, 0)[0];
    EXPECT_EQ(names_in(*tree, docs), (std::vector<std::string>{"big.bin", "other name", "small.txt"}));
    EXPECT_EQ(node_at(*tree, docs).size, 9000u + 30 + 10);
    EXPECT_EQ(node_at(*tree, 0).size, 9040u + 30 + 20 + 7);  // each name of the hard link counts it
    EXPECT_EQ(node_at(*tree, 0).file_count, 6u);
    EXPECT_EQ(tree->unreadable_folders, 0u);
}

TEST(NtfsMft, DamagedReferencesAreNeverFollowed) {
    Volume volume;
    volume.write(40, Volume::folder(41, u"loop a"));  // a and b hold each other, away from the root
    volume.write(41, Volume::folder(40, u"loop b"));
    volume.write(42, Volume::file(40, u"in the loop", 5));
    volume.write(43, Volume::file(9999, u"parent outside", 5));
    volume.write(44, Volume::folder(5, u"reused", 7));
    volume.write(45, Volume::file((3ull << 48) | 44, u"stale parent", 5));  // its parent's record was reused
    volume.write(46, Volume::file((7ull << 48) | 44, u"current", 5));
    volume.write(47, Volume::folder(47, u"own parent"));
    const std::optional<FileTree> tree = read_volume(volume);
    ASSERT_TRUE(tree);
    EXPECT_EQ(names_in(*tree, 0), (std::vector<std::string>{"reused"}));
    EXPECT_EQ(names_in(*tree, sorted_children(*tree, 0)[0]), (std::vector<std::string>{"current"}));
}

TEST(NtfsMft, DamageIsCountedOrRefused) {
    Volume torn;
    torn.write(30, Volume::file(5, u"fine", 5));
    torn.write(31, Volume::file(5, u"torn", 5));
    torn.bytes[Volume::MFT_CLUSTER * Volume::CLUSTER + 31 * 1024 + 510] ^= 0xFF;
    const std::optional<FileTree> tree = read_volume(torn);
    ASSERT_TRUE(tree);
    EXPECT_EQ(names_in(*tree, 0), (std::vector<std::string>{"fine"}));
    EXPECT_EQ(tree->unreadable_folders, 1u);

    std::string error;
    Volume no_root;
    no_root.bytes[Volume::MFT_CLUSTER * Volume::CLUSTER + 5 * 1024 + 510] ^= 0xFF;
    EXPECT_FALSE(read_volume(no_root, &error));
    EXPECT_EQ(error, "the root folder's record is damaged");

    Volume huge;  // the MFT claims far more records than its pieces hold: only those are read
    Record mft;
    mft.add_non_resident({0x11, 16, Volume::MFT_CLUSTER, 0x00}, 1ull << 40, 0);
    huge.write(0, mft);
    huge.write(30, Volume::file(5, u"still here", 5));
    ASSERT_TRUE(read_volume(huge));
    EXPECT_EQ(names_in(*read_volume(huge), 0), (std::vector<std::string>{"still here"}));

    // Its run list and length claim four billion records on a volume that says it is 16 TiB: nothing is
    // set aside for them before they are read, and the small source ends the read.
    Volume lying;
    put(lying.bytes, 0x28, 1ull << 45, 8);
    Record claims;
    claims.add_non_resident({0x14, 0xF0, 0xFF, 0xFF, 0xFF, Volume::MFT_CLUSTER, 0x00}, 0xFFFFFFFEull * 1024,
                            0);
    lying.write(0, claims);
    EXPECT_FALSE(read_volume(lying, &error));
    EXPECT_EQ(error, "cannot read the MFT");

    Volume cut;
    cut.bytes.resize(Volume::MFT_CLUSTER * Volume::CLUSTER + 8 * 1024);
    EXPECT_FALSE(read_volume(cut, &error));
    EXPECT_EQ(error, "cannot read the MFT");

    Volume cancelled;
    ScanProgress progress;
    progress.cancel = true;
    EXPECT_FALSE(read_mft("V:\\", cancelled.reader(), progress).tree);
}

}  // namespace
}  // namespace spadrim
