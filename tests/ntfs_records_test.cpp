// NTFS structures read from bytes laid out here by hand, damaged ones included.
#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/records.h"
#include "support/ntfs_builder.h"

namespace spadrim {
namespace {

using namespace test;

TEST(NtfsBootSector, GeometryAndItsLimits) {
    const std::optional<NtfsGeometry> geometry = read_boot_sector(boot_sector());
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->cluster_size, 4096u);
    EXPECT_EQ(geometry->record_size, 1024u);  // 0xF6 is -10: 2^10 bytes
    EXPECT_EQ(geometry->mft_cluster, 4u);
    EXPECT_EQ(read_boot_sector(boot_sector(8, 1))->record_size, 4096u);            // one cluster per record
    EXPECT_EQ(read_boot_sector(boot_sector(0xF5, 0xF6))->cluster_size, 1u << 20);  // 2^11 sectors

    Bytes not_ntfs = boot_sector();
    not_ntfs[3] = 'X';
    EXPECT_FALSE(read_boot_sector(not_ntfs));
    const Bytes sector = boot_sector();
    EXPECT_FALSE(read_boot_sector(std::span(sector).first(100)));
    EXPECT_FALSE(read_boot_sector(boot_sector(3)));  // not a power of two
    EXPECT_FALSE(read_boot_sector(boot_sector(0)));
    EXPECT_FALSE(read_boot_sector(boot_sector(0x8D)));     // 2^115 sectors: found by the fuzzer
    EXPECT_FALSE(read_boot_sector(boot_sector(8, 0)));     // no record size
    EXPECT_FALSE(read_boot_sector(boot_sector(8, 0xEF)));  // 128 KiB records: no NTFS has them
    Bytes outside = boot_sector();
    put(outside, 0x30, 1'000'000, 8);  // the MFT past the end of the volume
    EXPECT_FALSE(read_boot_sector(outside));
    Bytes vast = boot_sector();
    put(vast, 0x28, 1ull << 55, 8);  // 2^64 bytes: offsets in it would wrap
    EXPECT_FALSE(read_boot_sector(vast));
}

TEST(NtfsRecord, FixupsRestoreTheProtectedBytesAndCatchTornWrites) {
    Record record;
    record.bytes[510] = 0x11;
    record.bytes[1023] = 0x22;
    Bytes disk = record.protected_form();
    ASSERT_NE(disk[510], 0x11);
    ASSERT_TRUE(apply_fixups(disk));
    EXPECT_EQ(disk[510], 0x11);
    EXPECT_EQ(disk[1023], 0x22);

    Bytes torn = record.protected_form();
    torn[1022] ^= 1;  // the second stride was written by another update
    EXPECT_FALSE(apply_fixups(torn));
    Bytes counted_wrong = record.protected_form();
    put(counted_wrong, 0x06, 9, 2);
    EXPECT_FALSE(apply_fixups(counted_wrong));
    Bytes array_outside = record.protected_form();
    put(array_outside, 0x04, 1020, 2);
    EXPECT_FALSE(apply_fixups(array_outside));
    Bytes not_a_record = record.protected_form();
    not_a_record[0] = 'B';  // "BAAD": a record the file system itself found damaged
    EXPECT_FALSE(apply_fixups(not_a_record));
}

TEST(NtfsRecord, AttributesOfARecord) {
    Record record;
    Bytes standard(0x48, 0);
    put(standard, 0x20, 0x200 | 0x20, 4);  // sparse, archive
    record.add(ATTRIBUTE_STANDARD_INFORMATION, standard);
    record.add(ATTRIBUTE_FILE_NAME, file_name((3ull << 48) | 5, NameSpace::Win32, u"사진 😀.jpg"));
    record.add_non_resident({0x11, 0x10, 0x20, 0x00}, 8 << 20, ATTRIBUTE_SPARSE, 2 << 20);
    record.add(ATTRIBUTE_DATA, Bytes(10, 7), 0, 4);  // a named stream
    const std::vector<AttributeView> attributes = record_attributes(record.bytes);
    ASSERT_EQ(attributes.size(), 4u);
    EXPECT_EQ(read_standard_attributes(attributes[0].value), 0x220u);
    const std::optional<FileNameValue> name = read_file_name(attributes[1].value);
    ASSERT_TRUE(name);
    EXPECT_EQ(record_number(name->parent), 5u);
    EXPECT_EQ(name->space, NameSpace::Win32);
    EXPECT_EQ(name->name, u"사진 😀.jpg");
    EXPECT_TRUE(attributes[2].non_resident);
    EXPECT_FALSE(attributes[2].named);
    EXPECT_EQ(attributes[2].data_size, 8u << 20);
    EXPECT_EQ(attributes[2].compressed_size, 2u << 20);
    EXPECT_EQ(attributes[2].runs.size() >= 4, true);
    EXPECT_TRUE(attributes[3].named);
    EXPECT_EQ(attributes[3].value.size(), 10u);

    // An attribute whose length runs past the used part ends the list before it.
    Record damaged = record;
    put(damaged.bytes, 0x38 + 4, 4000, 4);
    EXPECT_TRUE(record_attributes(damaged.bytes).empty());
    Record odd = record;
    put(odd.bytes, 0x38 + 4, 0x13, 4);  // shorter than a header
    EXPECT_TRUE(record_attributes(odd.bytes).empty());
    const Bytes short_name = file_name(5, NameSpace::Posix, u"abc");
    EXPECT_FALSE(read_file_name(std::span(short_name).first(0x44)));
    EXPECT_FALSE(read_reparse_tag(Bytes{1, 2}));
    EXPECT_EQ(read_reparse_tag(Bytes{0x03, 0, 0, 0xA0}), 0xA0000003u);
}

TEST(NtfsRuns, RelativeOffsetsHolesAndDamage) {
    // 0x18 clusters at 0x5634; 0x10 more 0x100 clusters back; a hole of 5; 1 cluster at +0x7F.
    const Bytes runs = {0x21, 0x18, 0x34, 0x56, 0x21, 0x10, 0x00, 0xFF, 0x01, 0x05, 0x11, 0x01, 0x7F, 0x00};
    const std::optional<std::vector<Extent>> extents = decode_runs(runs, 1'000'000, 1'000'000);
    ASSERT_TRUE(extents);
    ASSERT_EQ(extents->size(), 4u);
    EXPECT_EQ((*extents)[0].lcn, 0x5634u);
    EXPECT_EQ((*extents)[0].clusters, 0x18u);
    EXPECT_EQ((*extents)[1].lcn, 0x5534u);  // the offset is signed: 0xFF00 is -0x100
    EXPECT_TRUE((*extents)[2].sparse);
    EXPECT_EQ((*extents)[2].clusters, 5u);
    EXPECT_EQ((*extents)[3].lcn, 0x5534u + 0x7F);
    EXPECT_TRUE(decode_runs(Bytes{}, 10, 10)->empty());

    EXPECT_FALSE(decode_runs(Bytes{0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, 100, 100));  // a 9-byte length
    EXPECT_FALSE(decode_runs(Bytes{0x21, 0x18, 0x34}, 100'000, 100'000));            // cut short
    EXPECT_FALSE(decode_runs(Bytes{0x21, 0x18, 0x34, 0x56, 0x00}, 0x5000, 100));     // past the volume
    EXPECT_FALSE(decode_runs(Bytes{0x11, 0x10, 0xF0, 0x00}, 100, 100));              // before cluster 0
    EXPECT_FALSE(decode_runs(Bytes{0x11, 0x30, 0x01, 0x00}, 100, 0x20));             // more than allowed
    EXPECT_FALSE(decode_runs(Bytes{0x01, 0x00, 0x00}, 100, 100));                    // a run of no clusters
}

TEST(NtfsRecord, AttributeListEntries) {
    Bytes list(0x60, 0);
    put(list, 0x00, ATTRIBUTE_DATA, 4);
    put(list, 0x04, 0x20, 2);
    put(list, 0x08, 100, 8);
    put(list, 0x10, (1ull << 48) | 77, 8);
    put(list, 0x20, ATTRIBUTE_FILE_NAME, 4);
    put(list, 0x24, 0x20, 2);
    list[0x26] = 0;
    put(list, 0x30, 12, 8);
    put(list, 0x44, 0x08, 2);  // a third entry shorter than its header: the list ends
    const std::vector<AttributeListEntry> entries = read_attribute_list(list);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, ATTRIBUTE_DATA);
    EXPECT_EQ(entries[0].first_vcn, 100u);
    EXPECT_EQ(record_number(entries[0].record), 77u);
    EXPECT_EQ(entries[1].type, ATTRIBUTE_FILE_NAME);
}

}  // namespace
}  // namespace spadrim
