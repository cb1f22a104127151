// The MFT read into a File tree. See mft.h.
#include "ntfs/mft.h"

#include <algorithm>
#include <vector>

#include "ntfs/records.h"
#include "scan/classify.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

constexpr std::uint64_t ROOT_RECORD = 5;
constexpr std::size_t CHUNK = 4 << 20;  // read at a time: large sequential reads
constexpr std::uint16_t RECORD_IN_USE = 0x01;
constexpr std::uint16_t RECORD_DIRECTORY = 0x02;

// What one file's records say, gathered from its base record and any extension records.
struct FileFacts {
    std::uint64_t length = 0;              // the unnamed $DATA's logical length
    std::optional<std::uint64_t> on_disk;  // its compressed size, for compressed and sparse files
    std::uint32_t attributes = 0;          // from $STANDARD_INFORMATION
    std::uint32_t reparse_tag = 0;
    std::uint16_t sequence = 0;
    bool in_use = false;
    bool directory = false;
};

// One name of a file: a link from a parent folder.
struct NameLink {
    std::uint32_t parent = 0;
    std::uint32_t child = 0;
    std::uint16_t parent_sequence = 0;
    std::uint32_t name_offset = 0;  // in the name pool (exact UTF-8, see wtf8_from_utf16)
    std::uint32_t name_length = 0;
};

// The sizes an extension record gives its base record, kept until the base record has been read.
struct ExtensionData {
    std::uint64_t owner = 0;
    std::uint64_t length = 0;
    std::optional<std::uint64_t> on_disk;
};

struct Gathered {
    // By record number, grown as records are read: memory follows what the source really holds, not
    // what a damaged MFT claims.
    std::vector<FileFacts> files;
    std::vector<ExtensionData> extensions;
    std::vector<NameLink> links;
    std::string names;
    std::uint32_t damaged = 0;
    std::uint64_t files_seen = 0;  // for the progress figures while the records are read
    std::uint64_t bytes_seen = 0;
};

// Where the MFT's bytes lie: its pieces in order, each in clusters.
struct MftLayout {
    NtfsGeometry geometry;
    std::vector<Extent> extents;
    std::uint64_t records = 0;
};

// Takes one record's attributes into the facts of the file it belongs to (itself, or its base record).
void gather(std::span<std::uint8_t> record, std::uint64_t number, Gathered& out) {
    if (!apply_fixups(record)) {
        // Records never used may be all zeros; only a record that claims to be one and is damaged counts.
        if (record[0] == 'F' || record[0] == 'B') ++out.damaged;
        return;
    }
    const auto flags = static_cast<std::uint16_t>(read_le(record, 0x16, 2));
    if (!(flags & RECORD_IN_USE)) return;
    const std::uint64_t base = record_number(read_le(record, 0x20, 8));
    const std::uint64_t owner = base != 0 ? base : number;
    if (owner > 0xFFFFFFFF) return;  // an extension of a record no MFT can hold
    FileFacts extension_facts;       // an extension record's sizes, handed on to its base record later
    FileFacts& facts = base != 0 ? extension_facts : out.files[number];
    if (base == 0) {
        facts.in_use = true;
        facts.directory = (flags & RECORD_DIRECTORY) != 0;
        facts.sequence = static_cast<std::uint16_t>(read_le(record, 0x10, 2));
    }
    for (const AttributeView& attribute : record_attributes(record)) {
        switch (attribute.type) {
            case ATTRIBUTE_STANDARD_INFORMATION:
                facts.attributes = read_standard_attributes(attribute.value);
                break;
            case ATTRIBUTE_FILE_NAME: {
                const std::optional<FileNameValue> name = read_file_name(attribute.value);
                // An 8.3 alias is a second name of the same link, which a listing never shows.
                if (!name || name->space == NameSpace::Dos) break;
                const std::uint64_t parent = record_number(name->parent);
                if (parent > 0xFFFFFFFF) break;
                const std::string text = wtf8_from_utf16(name->name);
                out.links.push_back(NameLink{
                    static_cast<std::uint32_t>(parent), static_cast<std::uint32_t>(owner),
                    static_cast<std::uint16_t>(name->parent >> 48),
                    static_cast<std::uint32_t>(out.names.size()), static_cast<std::uint32_t>(text.size())});
                out.names += text;
                break;
            }
            case ATTRIBUTE_DATA:
                if (attribute.named) break;  // an alternate stream: a listing does not see it
                if (!attribute.non_resident) {
                    facts.length = attribute.value.size();
                } else if (attribute.first_vcn == 0) {  // the first piece carries the sizes
                    facts.length = attribute.data_size;
                    facts.on_disk = attribute.compressed_size;
                } else {
                    break;
                }
                if (base != 0) out.extensions.push_back(ExtensionData{owner, facts.length, facts.on_disk});
                ++out.files_seen;
                out.bytes_seen += facts.on_disk.value_or(facts.length);
                break;
            case ATTRIBUTE_REPARSE_POINT:
                if (const std::optional<std::uint32_t> tag = read_reparse_tag(attribute.value))
                    facts.reparse_tag = *tag;
                break;
            default: break;
        }
    }
}

// The byte offset of each cluster range of the MFT, in order, and how many records it holds.
std::optional<MftLayout> locate_mft(const ReadAt& read, std::string& error) {
    std::vector<std::uint8_t> sector(512);
    if (!read(0, sector)) {
        error = "cannot read the boot sector";
        return std::nullopt;
    }
    const std::optional<NtfsGeometry> geometry = read_boot_sector(sector);
    if (!geometry) {
        error = "not an NTFS volume";
        return std::nullopt;
    }
    MftLayout layout{*geometry, {}, 0};
    const std::uint64_t total_clusters =
        geometry->total_sectors / (geometry->cluster_size / geometry->bytes_per_sector);
    std::vector<std::uint8_t> record(geometry->record_size);
    if (!read(geometry->mft_cluster * geometry->cluster_size, record) || !apply_fixups(record)) {
        error = "the MFT's own record is damaged";
        return std::nullopt;
    }
    // The MFT's $DATA may be cut into pieces, some in extension records named by its attribute list;
    // those lie in the part of the MFT the first piece already maps.
    struct Piece {
        std::uint64_t first_vcn;
        std::vector<Extent> extents;
    };
    std::vector<Piece> pieces;
    std::uint64_t length = 0;
    const auto take = [&](std::span<const std::uint8_t> bytes) -> bool {
        for (const AttributeView& attribute : record_attributes(bytes)) {
            if (attribute.type != ATTRIBUTE_DATA || attribute.named || !attribute.non_resident) continue;
            std::optional<std::vector<Extent>> extents =
                decode_runs(attribute.runs, total_clusters, total_clusters);
            if (!extents) return false;
            if (attribute.first_vcn == 0) length = attribute.data_size;
            pieces.push_back(Piece{attribute.first_vcn, std::move(*extents)});
        }
        return true;
    };
    if (!take(record)) {
        error = "the MFT's run list is damaged";
        return std::nullopt;
    }
    std::vector<std::uint64_t> extension_records;
    for (const AttributeView& attribute : record_attributes(record)) {
        if (attribute.type != ATTRIBUTE_LIST) continue;
        if (attribute.non_resident) {
            error = "the MFT's attribute list is not resident";  // never seen; refused rather than guessed
            return std::nullopt;
        }
        for (const AttributeListEntry& entry : read_attribute_list(attribute.value)) {
            const std::uint64_t holder = record_number(entry.record);
            if (entry.type == ATTRIBUTE_DATA && !entry.named && holder != 0)
                extension_records.push_back(holder);
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.first_vcn < b.first_vcn; });
    const auto offset_of = [&](std::uint64_t record_index) -> std::optional<std::uint64_t> {
        std::uint64_t byte = record_index * geometry->record_size;
        for (const Piece& piece : pieces) {
            for (const Extent& extent : piece.extents) {
                const std::uint64_t bytes = extent.clusters * geometry->cluster_size;
                if (byte < bytes) {
                    if (extent.sparse) return std::nullopt;
                    return extent.lcn * geometry->cluster_size + byte;
                }
                byte -= bytes;
            }
        }
        return std::nullopt;
    };
    std::sort(extension_records.begin(), extension_records.end());
    extension_records.erase(std::unique(extension_records.begin(), extension_records.end()),
                            extension_records.end());
    for (const std::uint64_t holder : extension_records) {
        const std::optional<std::uint64_t> at = offset_of(holder);
        if (!at || !read(*at, record) || !apply_fixups(record) || !take(record)) {
            error = "a piece of the MFT's run list cannot be read";
            return std::nullopt;
        }
        std::sort(pieces.begin(), pieces.end(),
                  [](const Piece& a, const Piece& b) { return a.first_vcn < b.first_vcn; });
    }
    for (Piece& piece : pieces) {
        for (const Extent& extent : piece.extents) {
            if (extent.sparse) {
                error = "the MFT has a hole";
                return std::nullopt;
            }
            layout.extents.push_back(extent);
        }
    }
    std::uint64_t mapped = 0;
    for (const Extent& extent : layout.extents)
        mapped += extent.clusters * geometry->cluster_size;
    // The records that exist: what its length says, as far as its pieces reach. Never more than the
    // volume can hold, so a damaged length cannot make us allocate for records that are not there.
    layout.records = std::min(length, mapped) / geometry->record_size;
    if (layout.records <= ROOT_RECORD || layout.records > 0xFFFFFFFFull) {
        error = "the MFT's length is damaged";
        return std::nullopt;
    }
    return layout;
}

// Every record of the MFT through gather(), read in large sequential chunks. False when a read fails or
// the scan is cancelled.
bool read_records(const ReadAt& read, const MftLayout& layout, Gathered& out, ScanProgress& progress,
                  std::string& error) {
    const std::uint32_t record_size = layout.geometry.record_size;
    const std::uint64_t cluster_size = layout.geometry.cluster_size;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> carry;  // a record split between two pieces of the MFT
    std::uint64_t number = 0;
    for (const Extent& extent : layout.extents) {
        std::uint64_t offset = extent.lcn * cluster_size;
        std::uint64_t left = extent.clusters * cluster_size;
        while (left > 0 && number < layout.records) {
            if (progress.cancel.load()) return false;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, CHUNK));
            buffer.resize(want);
            if (!read(offset, buffer)) {
                error = "cannot read the MFT";
                return false;
            }
            offset += want;
            left -= want;
            std::size_t at = 0;
            if (!carry.empty()) {
                const std::size_t need = std::min<std::size_t>(record_size - carry.size(), want);
                carry.insert(carry.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(need));
                at = need;
                if (carry.size() == record_size) {
                    out.files.emplace_back();
                    gather(carry, number++, out);
                    carry.clear();
                }
            }
            for (; at + record_size <= want && number < layout.records; at += record_size) {
                out.files.emplace_back();
                gather(std::span(buffer).subspan(at, record_size), number++, out);
            }
            if (at < want && number < layout.records)
                carry.assign(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end());
            progress.files = out.files_seen;
            progress.bytes = out.bytes_seen;
        }
    }
    return true;
}

// The entry a link makes in its parent's listing, by the walk's rules.
ListedEntry listed(const Gathered& in, const NameLink& link) {
    const FileFacts& facts = in.files[link.child];
    std::string name = in.names.substr(link.name_offset, link.name_length);
    const bool unshowable = !is_valid_utf8(name);
    FindEntry entry{facts.attributes | (facts.directory ? ATTR_DIRECTORY : 0u), facts.reparse_tag,
                    facts.length};
    if (!(facts.attributes & ATTR_REPARSE_POINT) && facts.reparse_tag != 0)
        entry.attributes |= ATTR_REPARSE_POINT;
    const std::optional<std::uint64_t> on_disk = wants_on_disk_size(entry.attributes)
                                                     ? facts.on_disk.value_or(facts.length)
                                                     : std::optional<std::uint64_t>();
    ListedEntry out = classify_find_entry(std::move(name), entry, on_disk);
    out.unshowable = unshowable;
    return out;
}

// The system's own files at the root ($MFT, $LogFile, $Bitmap, $Secure, $Extend…): a listing leaves
// them out.
bool is_metafile(const Gathered& in, const NameLink& link) {
    return link.child < 16 || (link.child < 24 && link.name_length > 0 && in.names[link.name_offset] == '$');
}

}  // namespace

MftOutcome read_mft(std::string_view root_path, const ReadAt& read, ScanProgress& progress) {
    MftOutcome outcome;
    const std::optional<MftLayout> layout = locate_mft(read, outcome.error);
    if (!layout) return outcome;
    Gathered in;
    if (!read_records(read, *layout, in, progress, outcome.error)) return outcome;
    for (const ExtensionData& extension : in.extensions) {
        if (extension.owner < in.files.size()) {
            in.files[extension.owner].length = extension.length;
            in.files[extension.owner].on_disk = extension.on_disk;
        }
    }
    if (in.files.size() <= ROOT_RECORD || !in.files[ROOT_RECORD].in_use || !in.files[ROOT_RECORD].directory) {
        outcome.error = "the root folder's record is damaged";
        return outcome;
    }

    // The links of each folder side by side: counted, then placed.
    std::vector<std::uint32_t> first(in.files.size() + 1, 0);
    const auto usable = [&](const NameLink& link) {
        if (link.parent >= in.files.size() || link.child >= in.files.size()) return false;
        const FileFacts& parent = in.files[link.parent];
        return in.files[link.child].in_use && parent.in_use && parent.directory &&
               link.child != link.parent && parent.sequence == link.parent_sequence;
    };
    for (const NameLink& link : in.links) {
        if (usable(link)) ++first[link.parent + 1];
    }
    for (std::size_t i = 1; i < first.size(); ++i)
        first[i] += first[i - 1];
    std::vector<std::uint32_t> by_parent(first.back());
    std::vector<std::uint32_t> filled(first.begin(), first.end() - 1);
    for (std::uint32_t i = 0; i < in.links.size(); ++i) {
        if (usable(in.links[i])) by_parent[filled[in.links[i].parent]++] = i;
    }

    FileTree tree = make_tree(root_path);
    if (in.damaged > 0) {
        tree.nodes[0].flags |= FLAG_UNREADABLE;
        tree.unreadable_folders += in.damaged;
    }
    // Folders top down from the root; a folder reached twice (a damaged or looping reference) is
    // listed once.
    std::vector<bool> listed_once(in.files.size(), false);
    std::vector<std::pair<NodeIndex, std::uint32_t>> pending{{0, static_cast<std::uint32_t>(ROOT_RECORD)}};
    listed_once[ROOT_RECORD] = true;
    std::vector<ListedEntry> entries;
    std::vector<std::uint32_t> children;
    std::uint64_t folders = 0;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    while (!pending.empty()) {
        const auto [node, record] = pending.back();
        pending.pop_back();
        ++folders;
        entries.clear();
        children.clear();
        for (std::uint32_t k = first[record]; k < first[record + 1]; ++k) {
            const NameLink& link = in.links[by_parent[k]];
            if (record == ROOT_RECORD && is_metafile(in, link)) continue;
            entries.push_back(listed(in, link));
            children.push_back(link.child);
        }
        const auto start = static_cast<NodeIndex>(tree.nodes.size());
        const std::size_t appended = append_listing(tree, node, entries);
        for (std::size_t i = 0; i < appended; ++i) {
            const ListedEntry& entry = entries[i];
            if (!(entry.flags & FLAG_DIR)) {
                ++files;
                bytes += entry.size;
            } else if (!(entry.flags & FLAG_LINK) && !listed_once[children[i]]) {
                listed_once[children[i]] = true;
                pending.emplace_back(static_cast<NodeIndex>(start + i), children[i]);
            }
        }
    }
    progress.folders = folders;  // the read's estimates give way to what the tree holds
    progress.files = files;
    progress.bytes = bytes;
    roll_up(tree);
    outcome.tree = std::move(tree);
    return outcome;
}

}  // namespace spadrim
