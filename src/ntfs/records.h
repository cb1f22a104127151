// NTFS on-disk structures, read from bytes: the boot sector, MFT file records (with their
// update-sequence fixups), their attributes and the run lists of non-resident ones. Pure functions over
// spans, no file-system calls, so a volume handle and an image file feed the same code, and every case,
// damaged ones included, is tested on any machine.
//
// Everything is bounds-checked against the span it reads from: a damaged record gives nothing (or a
// shorter answer), never a read past its end.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spadrim {

// What the boot sector says about the volume's layout.
struct NtfsGeometry {
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t cluster_size = 0;
    std::uint64_t total_sectors = 0;
    std::uint64_t mft_cluster = 0;  // where $MFT's first record is
    std::uint32_t record_size = 0;  // bytes per MFT file record (1024 on almost every volume)
};

// The geometry of an NTFS boot sector (its first 512 bytes at least), or nothing when it is not one or
// names sizes no NTFS volume has.
std::optional<NtfsGeometry> read_boot_sector(std::span<const std::uint8_t> sector);

// Undoes the update-sequence protection of one record in place: the last two bytes of every 512-byte
// stride hold the record's update sequence number, and the real bytes are kept in its update-sequence
// array. False when the record is not a "FILE" record, its array does not fit, or a stride does not end
// with the number (a torn or damaged write).
bool apply_fixups(std::span<std::uint8_t> record);

// The little-endian unsigned value of `width` (at most 8) bytes at `at`; the caller checks the bounds.
// Inline: with a constant width it is one load, and a record is made of little else.
inline std::uint64_t read_le(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes.data() + at, width);
    } else {
        for (std::size_t i = width; i-- > 0;)
            value = (value << 8) | bytes[at + i];
    }
    return value;
}

// A 48-bit record number with its 16-bit sequence number, as parent and base references give them.
inline std::uint64_t record_number(std::uint64_t reference) {
    return reference & 0x0000FFFFFFFFFFFFull;
}

inline constexpr std::uint32_t ATTRIBUTE_STANDARD_INFORMATION = 0x10;
inline constexpr std::uint32_t ATTRIBUTE_LIST = 0x20;
inline constexpr std::uint32_t ATTRIBUTE_FILE_NAME = 0x30;
inline constexpr std::uint32_t ATTRIBUTE_DATA = 0x80;
inline constexpr std::uint32_t ATTRIBUTE_REPARSE_POINT = 0xC0;

// The reparse tag of a file compressed by the Windows Overlay Filter (compact /exe, CompactOS): its
// unnamed $DATA is an empty sparse stream of the file's length, its bytes are in the named stream
// WOF_STREAM, compressed.
inline constexpr std::uint32_t REPARSE_TAG_WOF = 0x80000017;
inline constexpr std::u16string_view WOF_STREAM = u"WofCompressedData";

inline constexpr std::uint16_t ATTRIBUTE_COMPRESSED = 0x0001;
inline constexpr std::uint16_t ATTRIBUTE_SPARSE = 0x8000;

// One attribute of a record, as its header describes it; the value or run list still in the record.
struct AttributeView {
    std::uint32_t type = 0;
    bool non_resident = false;
    std::uint16_t flags = 0;              // ATTRIBUTE_COMPRESSED, ATTRIBUTE_SPARSE
    bool named = false;                   // an alternate data stream, for $DATA
    std::span<const std::uint8_t> name;   // the name in UTF-16LE; empty when unnamed or out of bounds
    std::span<const std::uint8_t> value;  // resident: the value
    std::uint64_t first_vcn = 0;          // non-resident: the clusters this piece of the run list maps
    std::span<const std::uint8_t> runs;   // non-resident: the run list
    std::uint64_t allocated_size = 0;     // non-resident
    std::uint64_t data_size = 0;          // non-resident: the logical length
    std::optional<std::uint64_t> compressed_size;  // non-resident, compressed or sparse: space on the disk
};

// Whether the attribute's name is exactly `name`.
bool attribute_named(const AttributeView& attribute, std::u16string_view name);

// The attributes of a record whose fixups are applied, in order, up to the end marker; an attribute
// whose header or length runs past the record's used size ends the list there.
std::vector<AttributeView> record_attributes(std::span<const std::uint8_t> record);

// The same one at a time, for a reader of many records: nothing is allocated.
//     AttributeCursor cursor(record);
//     while (const AttributeView* attribute = cursor.next()) ...
class AttributeCursor {
  public:
    explicit AttributeCursor(std::span<const std::uint8_t> record);
    // The next attribute, valid until the next call; nullptr at the end marker or at damage.
    const AttributeView* next();

  private:
    std::span<const std::uint8_t> body_;  // the record's used part
    std::size_t at_ = 0;
    AttributeView view_;
};

// One contiguous piece of an attribute's data: `clusters` clusters from cluster `lcn`, or a hole.
struct Extent {
    std::uint64_t lcn = 0;
    std::uint64_t clusters = 0;
    bool sparse = false;
};

// The run list decoded, or nothing when it is malformed (a field wider than 8 bytes, a run past its
// end, an offset that leaves the volume's `total_clusters`, or more clusters than `max_clusters`).
std::optional<std::vector<Extent>> decode_runs(std::span<const std::uint8_t> runs,
                                               std::uint64_t total_clusters, std::uint64_t max_clusters);

// The name namespaces of $FILE_NAME. A file has one name per hard link, plus, for a long name, an 8.3
// alias in the DOS namespace that a folder listing never shows.
enum class NameSpace : std::uint8_t {
    Posix = 0,
    Win32 = 1,
    Dos = 2,
    Win32AndDos = 3
};

struct FileNameValue {
    std::uint64_t parent = 0;  // a reference: record number and sequence number
    NameSpace space = NameSpace::Posix;
    std::u16string name;
};

// A $FILE_NAME value, or nothing when it is shorter than its name says.
std::optional<FileNameValue> read_file_name(std::span<const std::uint8_t> value);
// The same into `out`, whose name's capacity a caller reading many records keeps; false as nothing above.
bool read_file_name(std::span<const std::uint8_t> value, FileNameValue& out);

// The DOS attribute bits of a $STANDARD_INFORMATION value (0 when it is too short to hold them).
std::uint32_t read_standard_attributes(std::span<const std::uint8_t> value);
// When the file's data was last written, a FILETIME from a $STANDARD_INFORMATION value (0, not set, when
// it is too short to hold it). What a folder listing gives as the last-write time.
std::uint64_t read_standard_modified(std::span<const std::uint8_t> value);

// The tag of a $REPARSE_POINT value, or nothing when it is too short.
std::optional<std::uint32_t> read_reparse_tag(std::span<const std::uint8_t> value);

// One entry of an $ATTRIBUTE_LIST value: an attribute of the file and the record that holds it.
struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint64_t first_vcn = 0;
    std::uint64_t record = 0;  // a reference
    bool named = false;
};

// The entries of an $ATTRIBUTE_LIST value; a malformed entry ends the list there.
std::vector<AttributeListEntry> read_attribute_list(std::span<const std::uint8_t> value);

}  // namespace spadrim
