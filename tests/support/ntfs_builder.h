// NTFS structures laid out by hand for the tests: a boot sector, FILE records with attributes in the
// form a disk holds them, and small whole volumes around an MFT.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "ntfs/mft.h"
#include "ntfs/records.h"

namespace spadrim::test {

using Bytes = std::vector<std::uint8_t>;

inline void put(Bytes& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline Bytes boot_sector(std::uint8_t sectors_per_cluster = 8, std::uint8_t record = 0xF6) {
    Bytes sector(512, 0);
    std::memcpy(sector.data() + 3, "NTFS    ", 8);
    put(sector, 0x0B, 512, 2);
    sector[0x0D] = sectors_per_cluster;
    put(sector, 0x28, 1'000'000, 8);
    put(sector, 0x30, 4, 8);
    sector[0x40] = record;
    put(sector, 0x1FE, 0xAA55, 2);
    return sector;
}

// A 1024-byte FILE record with its update sequence applied as a disk would hold it; attributes are
// appended with add() and the used size kept up to date.
struct Record {
    Bytes bytes = Bytes(1024, 0);
    std::size_t end = 0x38;

    Record() {
        std::memcpy(bytes.data(), "FILE", 4);
        put(bytes, 0x04, 0x30, 2);  // update sequence array
        put(bytes, 0x06, 3, 2);
        put(bytes, 0x14, 0x38, 2);  // first attribute
        put(bytes, 0x16, 1, 2);     // in use
        put(bytes, 0x1C, 1024, 4);
        close();
    }
    void close() {
        put(bytes, end, 0xFFFFFFFF, 4);
        put(bytes, 0x18, end + 8, 4);
    }
    void add(std::uint32_t type, const Bytes& value, std::uint16_t flags = 0, std::uint8_t name_length = 0) {
        const std::size_t length = (0x18 + value.size() + 7) / 8 * 8;
        put(bytes, end, type, 4);
        put(bytes, end + 4, length, 4);
        bytes[end + 9] = name_length;
        put(bytes, end + 0x0C, flags, 2);
        put(bytes, end + 0x10, value.size(), 4);
        put(bytes, end + 0x14, 0x18, 2);
        std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(end + 0x18));
        end += length;
        close();
    }
    // A non-resident $DATA, named `name` when that is not empty, mapping clusters from `first_vcn` on.
    void add_non_resident(const Bytes& runs, std::uint64_t size, std::uint16_t flags,
                          std::optional<std::uint64_t> compressed = std::nullopt,
                          std::u16string_view name = {}, std::uint64_t first_vcn = 0) {
        const std::size_t header = compressed ? 0x48 : 0x40;
        const std::size_t runs_at = header + (name.size() * 2 + 7) / 8 * 8;
        const std::size_t length = (runs_at + runs.size() + 7) / 8 * 8;
        put(bytes, end, ATTRIBUTE_DATA, 4);
        put(bytes, end + 4, length, 4);
        bytes[end + 8] = 1;
        bytes[end + 9] = static_cast<std::uint8_t>(name.size());
        put(bytes, end + 0x0A, header, 2);
        put(bytes, end + 0x0C, flags, 2);
        put(bytes, end + 0x10, first_vcn, 8);
        put(bytes, end + 0x20, runs_at, 2);
        put(bytes, end + 0x28, size, 8);
        put(bytes, end + 0x30, size, 8);
        if (compressed) put(bytes, end + 0x40, *compressed, 8);
        for (std::size_t i = 0; i < name.size(); ++i)
            put(bytes, end + header + 2 * i, name[i], 2);
        std::copy(runs.begin(), runs.end(), bytes.begin() + static_cast<std::ptrdiff_t>(end + runs_at));
        end += length;
        close();
    }
    // What a disk holds: the last two bytes of each 512-byte stride moved to the array, the number put
    // in their place.
    Bytes protected_form(std::uint16_t number = 0xABCD) const {
        Bytes disk = bytes;
        put(disk, 0x30, number, 2);
        for (std::size_t i = 1; i <= 2; ++i) {
            disk[0x30 + 2 * i] = disk[i * 512 - 2];
            disk[0x31 + 2 * i] = disk[i * 512 - 1];
            put(disk, i * 512 - 2, number, 2);
        }
        return disk;
    }
};

inline Bytes file_name(std::uint64_t parent, NameSpace space, std::u16string_view name) {
    Bytes value(0x42 + 2 * name.size(), 0);
    put(value, 0, parent, 8);
    value[0x40] = static_cast<std::uint8_t>(name.size());
    value[0x41] = static_cast<std::uint8_t>(space);
    for (std::size_t i = 0; i < name.size(); ++i)
        put(value, 0x42 + 2 * i, name[i], 2);
    return value;
}

// A small volume: 4 KiB clusters, 1 KiB records, an MFT of 64 records at cluster 4. Records are
// written in their protected form; record 0 maps the MFT and record 5 is the root folder.
struct Volume {
    static constexpr std::size_t CLUSTER = 4096;
    static constexpr std::size_t MFT_CLUSTER = 4;
    static constexpr std::size_t RECORDS = 64;
    // A piece of the MFT: `clusters` clusters from cluster `lcn`.
    struct Piece {
        std::size_t lcn;
        std::size_t clusters;
    };
    std::size_t cluster = CLUSTER;
    std::vector<Piece> pieces{{MFT_CLUSTER, 16}};
    Bytes bytes = Bytes(64 * CLUSTER, 0);

    Volume() { format(RECORDS); }
    // `records` records in the given pieces, with clusters of `cluster_size` bytes (512 lets a record
    // straddle two pieces). The bytes end just past the last piece.
    Volume(std::size_t records, std::size_t cluster_size, std::vector<Piece> mft_pieces)
        : cluster(cluster_size), pieces(std::move(mft_pieces)) {
        std::size_t end = 0;
        for (const Piece& piece : pieces)
            end = std::max(end, (piece.lcn + piece.clusters) * cluster);
        bytes.assign(end, 0);
        format(records);
    }
    void write(std::size_t number, const Record& record) {
        const Bytes disk = record.protected_form();
        for (std::size_t i = 0; i < disk.size(); ++i)
            bytes.at(offset_of(number * 1024 + i)) = disk[i];
    }
    // Where byte `at` of the MFT lies in the volume.
    std::size_t offset_of(std::size_t at) const {
        for (const Piece& piece : pieces) {
            if (at < piece.clusters * cluster) return piece.lcn * cluster + at;
            at -= piece.clusters * cluster;
        }
        return bytes.size();  // past the end: a test bug, caught by the bounds check of vector::at
    }
    // A folder record named `name` in the folder record `parent`.
    static Record folder(std::uint64_t parent, std::u16string_view name, std::uint16_t sequence = 0) {
        Record record;
        put(record.bytes, 0x16, 0x03, 2);  // in use, a folder
        put(record.bytes, 0x10, sequence, 2);
        record.add(ATTRIBUTE_FILE_NAME, file_name(parent, NameSpace::Win32, name));
        return record;
    }
    // A file record with `length` bytes of resident data, or non-resident data of that length.
    static Record file(std::uint64_t parent, std::u16string_view name, std::size_t length,
                       NameSpace space = NameSpace::Win32) {
        Record record;
        record.add(ATTRIBUTE_FILE_NAME, file_name(parent, space, name));
        if (length < 500) {
            record.add(ATTRIBUTE_DATA, Bytes(length, 1));
        } else {
            record.add_non_resident(
                {0x11, static_cast<std::uint8_t>((length + CLUSTER - 1) / CLUSTER), 40, 0x00}, length, 0);
        }
        return record;
    }
    ReadAt reader() const {
        return [this](std::uint64_t offset, std::span<std::uint8_t> into) {
            if (offset > bytes.size() || into.size() > bytes.size() - offset) return false;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
            return true;
        };
    }

  private:
    // The boot sector, record 0 mapping the pieces and the root folder.
    void format(std::size_t records) {
        Bytes boot = boot_sector(static_cast<std::uint8_t>(cluster / 512));
        put(boot, 0x28, bytes.size() / 512, 8);
        put(boot, 0x30, pieces.front().lcn, 8);
        std::copy(boot.begin(), boot.end(), bytes.begin());
        Bytes runs;
        std::size_t previous = 0;
        for (const Piece& piece : pieces) {
            runs.push_back(0x44);
            for (std::size_t i = 0; i < 4; ++i)
                runs.push_back(static_cast<std::uint8_t>(piece.clusters >> (8 * i)));
            const auto delta = static_cast<std::uint32_t>(piece.lcn - previous);
            for (std::size_t i = 0; i < 4; ++i)
                runs.push_back(static_cast<std::uint8_t>(delta >> (8 * i)));
            previous = piece.lcn;
        }
        runs.push_back(0);
        Record mft;
        mft.add_non_resident(runs, records * 1024, 0);
        write(0, mft);
        write(5, folder(5, u"."));
    }
};

}  // namespace spadrim::test
