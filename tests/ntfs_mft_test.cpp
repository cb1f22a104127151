// The MFT read into a tree, on small volumes laid out by hand: what a listing shows and leaves out, and
// damage that must neither crash nor hang it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "ntfs/mft.h"
#include "scan/classify.h"
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

// A $STANDARD_INFORMATION value with these attribute bits, last written `modified` seconds after 1970
// (0: the time not set).
Bytes standard_information(std::uint32_t attributes, std::uint64_t modified = 0) {
    Bytes value(0x48, 0);
    put(value, 0x08, modified == 0 ? 0 : (modified + 11'644'473'600) * 10'000'000, 8);
    put(value, 0x20, attributes, 4);
    return value;
}

// The child of `folder` named `name`, or NO_NODE.
NodeIndex child_named(const FileTree& tree, NodeIndex folder, std::string_view name) {
    for (const NodeIndex i : sorted_children(tree, folder)) {
        if (name_of(tree, i) == name) return i;
    }
    return NO_NODE;
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
    Record root = Volume::folder(5, u".");
    root.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(0, 1'750'000'000));  // its own: newest
    volume.write(5, root);
    volume.write(11, Volume::folder(5, u"$Extend"));  // a metafile: never listed
    Record docs_record = Volume::folder(5, u"docs");
    docs_record.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(ATTR_DIRECTORY, 1'000'000'000));
    volume.write(30, docs_record);
    Record small = Volume::file(30, u"small.txt", 10);
    small.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(0, 1'600'000'000));
    volume.write(31, small);
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
    // Last written as $STANDARD_INFORMATION says; a folder shows the newest below it, the root its own.
    EXPECT_EQ(node_at(*tree, child_named(*tree, docs, "small.txt")).mtime, 1'600'000'000u);
    EXPECT_EQ(node_at(*tree, child_named(*tree, docs, "big.bin")).mtime, 0u);  // no time: unknown
    EXPECT_EQ(node_at(*tree, docs).mtime, 1'600'000'000u);
    EXPECT_EQ(node_at(*tree, 0).mtime, 1'750'000'000u);
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

    // Files whose sizes add up past 2^64: no folder's total could hold them.
    Volume vast;
    vast.write(30, Volume::file(5, u"half", 1ull << 63));
    vast.write(31, Volume::file(5, u"other half", 1ull << 63));
    EXPECT_FALSE(read_volume(vast, &error));
    EXPECT_EQ(error, "sizes that add up to more than 2^64 bytes");

    // The MFT in three pieces from three records on a volume of nearly 2^64 bytes, the second almost
    // as long: their byte offsets wrap, and the third piece would start before the second. Read through
    // a source that, like a volume's, takes at most 1 MiB at a time.
    Volume wrapping;
    put(wrapping.bytes, 0x28, ((1ull << 52) - 1) * 8, 8);
    Bytes list(0x40, 0);
    for (std::size_t i = 0; i < 2; ++i) {
        put(list, 0x20 * i, ATTRIBUTE_DATA, 4);
        put(list, 0x20 * i + 4, 0x20, 2);
        put(list, 0x20 * i + 0x10, 1 + i, 8);
    }
    Record first;
    first.add(ATTRIBUTE_LIST, list);
    first.add_non_resident({0x11, 16, Volume::MFT_CLUSTER, 0x00}, 96 * 1024, 0);
    wrapping.write(0, first);
    Record second;
    second.add_non_resident({0x17, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x01, 0x00}, 0, 0, std::nullopt,
                            {}, 16);
    wrapping.write(1, second);
    Record third;
    third.add_non_resident({0x11, 16, 20, 0x00}, 0, 0, std::nullopt, {}, 16 + (1ull << 52) - 8);
    wrapping.write(2, third);
    std::atomic<bool> oversized = false;
    const ReadAt bounded = [&](std::uint64_t offset, std::span<std::uint8_t> into) {
        if (into.size() > (1u << 20)) return !(oversized = true);
        return wrapping.reader()(offset, into);
    };
    ScanProgress progress;
    EXPECT_EQ(read_mft("V:\\", bounded, progress).error, "the MFT's run list is damaged");
    EXPECT_FALSE(oversized);

    Volume cut;
    cut.bytes.resize(Volume::MFT_CLUSTER * Volume::CLUSTER + 8 * 1024);
    EXPECT_FALSE(read_volume(cut, &error));
    EXPECT_EQ(error, "cannot read the MFT");

    Volume cancelled;
    ScanProgress cancelling;
    cancelling.cancel = true;
    EXPECT_FALSE(read_mft("V:\\", cancelled.reader(), cancelling).tree);
}

TEST(NtfsMft, FilesWhoseFactsSpreadOverRecordsAndOddEntries) {
    Volume volume;
    // A sparse file whose name and data sit in an extension record read before its base record.
    Record extension = Volume::file(5, u"spread.bin", 0);
    extension = Record();
    put(extension.bytes, 0x20, (1ull << 48) | 50, 8);
    extension.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Win32, u"spread.bin"));
    extension.add_non_resident({0x11, 2, 40, 0x00}, 8 << 20, ATTRIBUTE_SPARSE, 4096);
    volume.write(20, extension);
    Record base;
    put(base.bytes, 0x10, 1, 2);
    base.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(ATTR_SPARSE_FILE, 1'234'567'890));
    base.add(ATTRIBUTE_LIST, Bytes(0x20, 0));
    volume.write(50, base);
    // An extension record whose base record is not in use: its file is gone.
    Record orphan;
    put(orphan.bytes, 0x20, 51, 8);
    orphan.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Win32, u"orphan"));
    volume.write(21, orphan);
    // A name that is not valid UTF-16: shown repaired, kept exactly.
    volume.write(30, Volume::file(5, std::u16string(u"bad") + char16_t(0xD800) + u".txt", 3));
    // A symbolic link, a junction with something below it, a cloud placeholder and a compressed file.
    Record link = Volume::file(5, u"link", 100);
    link.add(ATTRIBUTE_REPARSE_POINT, Bytes{0x0C, 0x00, 0x00, 0xA0, 0, 0, 0, 0});
    volume.write(31, link);
    Record junction = Volume::folder(5, u"junction");
    junction.add(ATTRIBUTE_REPARSE_POINT, Bytes{0x03, 0x00, 0x00, 0xA0, 0, 0, 0, 0});
    volume.write(32, junction);
    volume.write(33, Volume::file(32, u"behind the junction", 5));
    Record cloud = Volume::file(5, u"cloud.docx", 0);
    cloud = Record();
    cloud.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(ATTR_RECALL_ON_DATA_ACCESS));
    cloud.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Win32, u"cloud.docx"));
    cloud.add_non_resident({0x11, 4, 40, 0x00}, 16000, 0);
    volume.write(34, cloud);
    Record packed;
    packed.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(ATTR_COMPRESSED));
    packed.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Win32, u"packed.log"));
    packed.add_non_resident({0x11, 4, 40, 0x00}, 16000, ATTRIBUTE_COMPRESSED, 4096);
    volume.write(35, packed);
    // Compressed by the Overlay Filter: an empty sparse stream of the file's length, the bytes in a
    // stream of their own.
    Record wof;
    wof.add(ATTRIBUTE_STANDARD_INFORMATION, standard_information(ATTR_SPARSE_FILE | ATTR_REPARSE_POINT));
    wof.add(ATTRIBUTE_FILE_NAME, file_name(5, NameSpace::Win32, u"compact.exe"));
    wof.add_non_resident({0x01, 25, 0x00}, 100000, ATTRIBUTE_SPARSE, 0);
    wof.add_non_resident({0x11, 3, 40, 0x00}, 3 * 4096, 0, std::nullopt, WOF_STREAM);
    wof.add(ATTRIBUTE_REPARSE_POINT, Bytes{0x17, 0x00, 0x00, 0x80, 0, 0, 0, 0});
    volume.write(36, wof);

    const std::optional<FileTree> tree = read_volume(volume);
    ASSERT_TRUE(tree);
    EXPECT_EQ(names_in(*tree, 0),
              (std::vector<std::string>{"compact.exe", "packed.log", "spread.bin", "bad\xEF\xBF\xBD.txt",
                                        "cloud.docx", "junction", "link"}));
    const NodeIndex compact = child_named(*tree, 0, "compact.exe");
    EXPECT_EQ(node_at(*tree, compact).size, 3u * 4096);
    EXPECT_EQ(content_length(*tree, compact), 100000u);
    const NodeIndex spread = child_named(*tree, 0, "spread.bin");
    EXPECT_EQ(node_at(*tree, spread).size, 4096u);
    EXPECT_EQ(content_length(*tree, spread), 8u << 20);
    EXPECT_EQ(node_at(*tree, spread).mtime, 1'234'567'890u);  // from the base record, read after
    const NodeIndex packed_node = child_named(*tree, 0, "packed.log");
    EXPECT_EQ(node_at(*tree, packed_node).size, 4096u);
    EXPECT_EQ(content_length(*tree, packed_node), 16000u);
    const NodeIndex bad = child_named(*tree, 0, "bad\xEF\xBF\xBD.txt");
    EXPECT_EQ(real_name_of(*tree, bad), "bad\xED\xA0\x80.txt");
    EXPECT_EQ(node_at(*tree, bad).size, 3u);
    const Node& link_node = node_at(*tree, child_named(*tree, 0, "link"));
    EXPECT_EQ(link_node.flags, FLAG_LINK);
    EXPECT_EQ(link_node.size, 0u);
    const NodeIndex junction_node = child_named(*tree, 0, "junction");
    EXPECT_EQ(node_at(*tree, junction_node).flags, FLAG_DIR | FLAG_LINK);
    EXPECT_TRUE(names_in(*tree, junction_node).empty());
    const Node& cloud_node = node_at(*tree, child_named(*tree, 0, "cloud.docx"));
    EXPECT_EQ(cloud_node.flags, FLAG_CLOUD_ONLY);
    EXPECT_EQ(cloud_node.size, 0u);
    EXPECT_EQ(node_at(*tree, 0).size, 3u * 4096 + 4096 + 4096 + 3);
}

// Thousands of files in nested folders, over an MFT of 512-byte clusters in three pieces, so that the
// read takes several chunks and records straddle the pieces. Folders often have higher record numbers
// than what they hold, as on a volume that has lived a while.
TEST(NtfsMft, ManyRecordsGiveTheWalksLayout) {
    constexpr std::size_t RECORDS = 10'000;
    // 2 records per cluster: the first piece ends in the middle of record 4096, the second of 8190.
    Volume volume(RECORDS, 512, {{100, 8193}, {20'000, 8187}, {9000, 3700}});
    std::map<std::size_t, std::uint64_t> expected;  // folder record: total size below it
    constexpr std::size_t FOLDERS = 200;
    const auto folder_record = [](std::size_t k) { return RECORDS - 1 - k; };  // at the MFT's end
    for (std::size_t k = 0; k < FOLDERS; ++k) {
        const std::size_t parent = k == 0 ? 5 : folder_record((k - 1) / 3);
        volume.write(folder_record(k),
                     Volume::folder(parent, u"folder " + std::u16string(1, char16_t(u'A' + k % 26)) +
                                                char16_t(u'0' + k / 26)));
    }
    std::uint64_t total = 0;
    for (std::size_t r = 24; r < folder_record(FOLDERS - 1); ++r) {
        const std::size_t size = (r * 37) % 450;
        const std::size_t k = r % FOLDERS;
        volume.write(
            r, Volume::file(folder_record(k),
                            u"f" + std::u16string(1, char16_t(u'a' + r % 26)) + char16_t(0x4E00 + r), size));
        total += size;
        for (std::size_t up = k;; up = (up - 1) / 3) {
            expected[folder_record(up)] += size;
            if (up == 0) break;
        }
    }
    std::atomic<int> reads = 0;
    const ReadAt counted = [&](std::uint64_t offset, std::span<std::uint8_t> into) {
        ++reads;
        return volume.reader()(offset, into);
    };
    ScanProgress progress;
    const std::optional<FileTree> tree = read_mft("V:\\", counted, progress).tree;
    ASSERT_TRUE(tree);
    EXPECT_GE(reads.load(), 4);  // boot sector, record 0, then the MFT in more than one chunk
    EXPECT_EQ(node_at(*tree, 0).size, total);
    EXPECT_EQ(node_at(*tree, 0).file_count, folder_record(FOLDERS - 1) - 24);
    EXPECT_EQ(tree->nodes.size(), 1 + FOLDERS + (folder_record(FOLDERS - 1) - 24));
    EXPECT_EQ(progress.folders, 1 + FOLDERS);
    EXPECT_EQ(progress.bytes, total);
    // Parents before children, each folder's entries side by side, and the sizes that were written.
    std::vector<std::size_t> block_end(tree->nodes.size(), 0);
    std::size_t checked = 0;
    for (NodeIndex i = 1; i < tree->nodes.size(); ++i) {
        const Node& node = node_at(*tree, i);
        ASSERT_LT(node.parent, i);
        if (block_end[node.parent] != 0) {
            EXPECT_EQ(block_end[node.parent], i) << "entry " << i;
        }
        block_end[node.parent] = i + 1;
        if (node.flags & FLAG_DIR) {
            const std::string name(name_of(*tree, i));
            const std::size_t k =
                static_cast<std::size_t>(name[7] - 'A') + 26 * static_cast<std::size_t>(name[8] - '0');
            EXPECT_EQ(node.size, expected[folder_record(k)]) << name;
            ++checked;
        }
    }
    EXPECT_EQ(checked, FOLDERS);
    // The same bytes give the same tree, however the parsing threads took their turns.
    const std::optional<FileTree> again = read_volume(volume);
    ASSERT_TRUE(again);
    ASSERT_EQ(again->nodes.size(), tree->nodes.size());
    for (NodeIndex i = 0; i < tree->nodes.size(); ++i) {
        ASSERT_EQ(name_of(*again, i), name_of(*tree, i));
        ASSERT_EQ(node_at(*again, i).parent, node_at(*tree, i).parent);
    }
}

TEST(NtfsMft, CancellingStopsTheReadAtTheNextPiece) {
    Volume volume(20'000, 4096, {{4, 5000}});  // 20 chunks of records
    for (std::size_t r = 24; r < 20'000; ++r)
        volume.write(r, Volume::file(5, u"f", 1));
    ScanProgress progress;
    std::atomic<int> reads = 0;
    const ReadAt cancelling = [&](std::uint64_t offset, std::span<std::uint8_t> into) {
        if (++reads == 3) progress.cancel = true;  // the boot sector, record 0, then the first piece
        return volume.reader()(offset, into);
    };
    const MftOutcome outcome = read_mft("V:\\", cancelling, progress);
    EXPECT_FALSE(outcome.tree);
    EXPECT_LE(reads.load(), 3 + 4);  // each of at most four threads finishes the piece it had begun
}

}  // namespace
}  // namespace spadrim
