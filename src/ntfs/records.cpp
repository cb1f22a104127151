// NTFS structures from bytes. See records.h.
#include "ntfs/records.h"

#include <cstring>

namespace spadrim {
namespace {

bool fits(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    return at <= bytes.size() && width <= bytes.size() - at;
}

constexpr std::size_t FIXUP_STRIDE = 512;  // the update sequence always protects 512-byte strides

}  // namespace

std::optional<NtfsGeometry> read_boot_sector(std::span<const std::uint8_t> sector) {
    if (sector.size() < 512 || std::memcmp(sector.data() + 3, "NTFS    ", 8) != 0) return std::nullopt;
    NtfsGeometry geometry;
    geometry.bytes_per_sector = static_cast<std::uint32_t>(read_le(sector, 0x0B, 2));
    const std::uint8_t per_cluster = sector[0x0D];
    // Above 0x80 the byte is a negative power of two (clusters of 128 KiB and more); a power beyond any
    // real cluster size is refused before it is used as a shift.
    const unsigned power = 256u - per_cluster;
    const std::uint64_t sectors_per_cluster = per_cluster <= 0x80 ? per_cluster
                                              : power <= 16       ? 1ull << power
                                                                  : 0;
    const std::uint64_t bytes_per_sector = geometry.bytes_per_sector;
    if (bytes_per_sector < 256 || bytes_per_sector > 4096 || (bytes_per_sector & (bytes_per_sector - 1)) ||
        sectors_per_cluster == 0 || (sectors_per_cluster & (sectors_per_cluster - 1)) ||
        bytes_per_sector * sectors_per_cluster > (2u << 20))
        return std::nullopt;
    geometry.cluster_size = static_cast<std::uint32_t>(bytes_per_sector * sectors_per_cluster);
    geometry.total_sectors = read_le(sector, 0x28, 8);
    // Every byte offset in the volume must fit 64 bits: the run lists' sums are checked against its size.
    if (geometry.total_sectors > UINT64_MAX / bytes_per_sector) return std::nullopt;
    geometry.mft_cluster = read_le(sector, 0x30, 8);
    // Positive: clusters per record; negative: the record is 2^-n bytes.
    const auto per_record = static_cast<std::int8_t>(sector[0x40]);
    const std::uint64_t record_size = per_record > 0
                                          ? static_cast<std::uint64_t>(per_record) * geometry.cluster_size
                                      : per_record < 0 && per_record > -32 ? 1ull << -per_record
                                                                           : 0;
    if (record_size < FIXUP_STRIDE || record_size > 65536 || (record_size & (record_size - 1)))
        return std::nullopt;
    geometry.record_size = static_cast<std::uint32_t>(record_size);
    const std::uint64_t total_clusters = geometry.total_sectors / sectors_per_cluster;
    if (total_clusters == 0 || geometry.mft_cluster >= total_clusters) return std::nullopt;
    return geometry;
}

bool apply_fixups(std::span<std::uint8_t> record) {
    if (record.size() < 48 || record.size() % FIXUP_STRIDE != 0 || std::memcmp(record.data(), "FILE", 4) != 0)
        return false;
    const std::size_t offset = static_cast<std::size_t>(read_le(record, 0x04, 2));
    const std::size_t count =
        static_cast<std::size_t>(read_le(record, 0x06, 2));  // the number and one per stride
    if (count != record.size() / FIXUP_STRIDE + 1 || !fits(record, offset, count * 2) || offset < 0x28)
        return false;
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * FIXUP_STRIDE - 2;
        if (record[end] != record[offset] || record[end + 1] != record[offset + 1]) return false;
        record[end] = record[offset + 2 * i];
        record[end + 1] = record[offset + 2 * i + 1];
    }
    return true;
}

bool attribute_named(const AttributeView& attribute, std::u16string_view name) {
    if (attribute.name.size() != name.size() * 2) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (read_le(attribute.name, 2 * i, 2) != name[i]) return false;
    }
    return true;
}

std::vector<AttributeView> record_attributes(std::span<const std::uint8_t> record) {
    std::vector<AttributeView> attributes;
    AttributeCursor cursor(record);
    while (const AttributeView* attribute = cursor.next())
        attributes.push_back(*attribute);
    return attributes;
}

AttributeCursor::AttributeCursor(std::span<const std::uint8_t> record) {
    if (record.size() < 0x30) return;
    body_ = record.first(
        std::min<std::size_t>(static_cast<std::size_t>(read_le(record, 0x18, 4)), record.size()));
    at_ = static_cast<std::size_t>(read_le(record, 0x14, 2));
}

const AttributeView* AttributeCursor::next() {
    if (!fits(body_, at_, 8)) return nullptr;
    const auto type = static_cast<std::uint32_t>(read_le(body_, at_, 4));
    const std::size_t length = static_cast<std::size_t>(read_le(body_, at_ + 4, 4));
    if (type == 0xFFFFFFFF || length < 0x18 || length % 8 != 0 || !fits(body_, at_, length)) {
        at_ = body_.size();  // ended: every later call answers nothing too
        return nullptr;
    }
    const std::span<const std::uint8_t> header = body_.subspan(at_, length);
    AttributeView& view = view_;
    view.type = type;
    view.non_resident = header[0x08] != 0;
    view.named = header[0x09] != 0;
    view.flags = static_cast<std::uint16_t>(read_le(header, 0x0C, 2));
    const std::size_t name_offset = static_cast<std::size_t>(read_le(header, 0x0A, 2));
    const std::size_t name_bytes = std::size_t{header[0x09]} * 2;
    view.name = fits(header, name_offset, name_bytes) ? header.subspan(name_offset, name_bytes)
                                                      : std::span<const std::uint8_t>();
    view.value = {};
    view.runs = {};
    view.first_vcn = view.allocated_size = view.data_size = 0;
    view.compressed_size.reset();
    if (!view.non_resident) {
        const std::size_t value_length = static_cast<std::size_t>(read_le(header, 0x10, 4));
        const std::size_t value_offset = static_cast<std::size_t>(read_le(header, 0x14, 2));
        if (!fits(header, value_offset, value_length)) {
            at_ = body_.size();
            return nullptr;
        }
        view.value = header.subspan(value_offset, value_length);
    } else {
        const bool has_compressed = (view.flags & (ATTRIBUTE_COMPRESSED | ATTRIBUTE_SPARSE)) != 0;
        const std::size_t runs_offset = static_cast<std::size_t>(read_le(header, 0x20, 2));
        if (length < (has_compressed ? 0x48u : 0x40u) || runs_offset > length) {
            at_ = body_.size();
            return nullptr;
        }
        view.first_vcn = read_le(header, 0x10, 8);
        view.runs = header.subspan(runs_offset);
        view.allocated_size = read_le(header, 0x28, 8);
        view.data_size = read_le(header, 0x30, 8);
        if (has_compressed) view.compressed_size = read_le(header, 0x40, 8);
    }
    at_ += length;
    return &view;
}

std::optional<std::vector<Extent>> decode_runs(std::span<const std::uint8_t> runs,
                                               std::uint64_t total_clusters, std::uint64_t max_clusters) {
    std::vector<Extent> extents;
    std::int64_t lcn = 0;
    std::uint64_t clusters = 0;
    for (std::size_t at = 0; at < runs.size() && runs[at] != 0;) {
        const std::size_t length_size = runs[at] & 0x0F;
        const std::size_t offset_size = runs[at] >> 4;
        ++at;
        if (length_size == 0 || length_size > 8 || offset_size > 8 ||
            !fits(runs, at, length_size + offset_size))
            return std::nullopt;
        const std::uint64_t length = read_le(runs, at, length_size);
        at += length_size;
        if (length == 0 || length > max_clusters - clusters) return std::nullopt;
        clusters += length;
        if (offset_size == 0) {
            extents.push_back(Extent{0, length, true});
            continue;
        }
        std::uint64_t raw = read_le(runs, at, offset_size);
        at += offset_size;
        if (offset_size < 8 && (raw >> (offset_size * 8 - 1)) & 1) raw |= ~0ull << (offset_size * 8);  // sign
        const auto delta = static_cast<std::int64_t>(raw);
        if ((delta > 0 && lcn > INT64_MAX - delta) || (delta < 0 && lcn < INT64_MIN - delta))
            return std::nullopt;
        lcn += delta;
        if (lcn < 0 || static_cast<std::uint64_t>(lcn) > total_clusters ||
            length > total_clusters - static_cast<std::uint64_t>(lcn))
            return std::nullopt;
        extents.push_back(Extent{static_cast<std::uint64_t>(lcn), length, false});
    }
    return extents;
}

std::optional<FileNameValue> read_file_name(std::span<const std::uint8_t> value) {
    FileNameValue name;
    if (!read_file_name(value, name)) return std::nullopt;
    return name;
}

bool read_file_name(std::span<const std::uint8_t> value, FileNameValue& name) {
    if (value.size() < 0x42) return false;
    const std::size_t length = value[0x40];
    if (!fits(value, 0x42, length * 2)) return false;
    name.parent = read_le(value, 0x00, 8);
    name.space = static_cast<NameSpace>(value[0x41] & 3);
    name.name.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        name.name[i] = static_cast<char16_t>(value[0x42 + 2 * i] | (value[0x43 + 2 * i] << 8));
    return true;
}

std::uint32_t read_standard_attributes(std::span<const std::uint8_t> value) {
    return fits(value, 0x20, 4) ? static_cast<std::uint32_t>(read_le(value, 0x20, 4)) : 0;
}

std::uint64_t read_standard_modified(std::span<const std::uint8_t> value) {
    return fits(value, 8, 8) ? read_le(value, 8, 8) : 0;
}

std::optional<std::uint32_t> read_reparse_tag(std::span<const std::uint8_t> value) {
    if (!fits(value, 0, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(read_le(value, 0, 4));
}

std::vector<AttributeListEntry> read_attribute_list(std::span<const std::uint8_t> value) {
    std::vector<AttributeListEntry> entries;
    for (std::size_t at = 0; fits(value, at, 0x1A);) {
        const std::size_t length = static_cast<std::size_t>(read_le(value, at + 4, 2));
        if (length < 0x1A || !fits(value, at, length)) break;
        entries.push_back(AttributeListEntry{static_cast<std::uint32_t>(read_le(value, at, 4)),
                                             read_le(value, at + 8, 8), read_le(value, at + 0x10, 8),
                                             value[at + 6] != 0});
        at += length;
    }
    return entries;
}

}  // namespace spadrim
