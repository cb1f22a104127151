// The MFT read into a File tree. See mft.h.
//
// Staying within the walk's memory: every name of every file becomes one tree Node as soon as its record
// is parsed, in the tree's own node array, and its name goes straight into the tree's name pool. Once
// every record is read, the nodes are moved in place into the walk's layout (each folder's entries side
// by side, parents before children), and the ones no listing would show are dropped. Until then a node's
// fields hold what placing it needs:
//   parent        the parent folder's record number
//   first_child   the file's own record number
//   name_len      the name's length in the low 16 bits, the parent reference's sequence number above
//   file_count    the file's own sequence number (a folder lists only the references that carry it)
//   next_sibling  the next node naming a child of the same parent record (one list per record)
// Besides the nodes, placing needs one 32-bit list head per record.
//
// Records are parsed on worker threads, a chunk at a time, while the next chunk is read; the chunks'
// nodes join the tree in the order the chunks were read, so the result never depends on the threads.
#include "ntfs/mft.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <utility>
#include <vector>

#include "kinds/times.h"
#include "ntfs/records.h"
#include "scan/classify.h"
#include "scan/totals.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

constexpr std::uint64_t ROOT_RECORD = 5;
constexpr std::size_t CHUNK = 1 << 20;  // MFT bytes parsed and joined at a time: a whole number of records
// MFT bytes read at a time: each piece is parsed while it is still in the cache, and the buffer each
// reader thread holds stays small beside the tree. A record is a power of two of at most 64 KiB, so a
// piece holds whole records.
constexpr std::size_t READ_SIZE = 1 << 16;
constexpr std::uint16_t RECORD_IN_USE = 0x01;
constexpr std::uint16_t RECORD_DIRECTORY = 0x02;
constexpr std::uint32_t NO_RECORD = 0xFFFFFFFF;
// Node flags used only while the tree is put together, never left in it.
constexpr std::uint8_t FLAG_SPLIT = 0x40;   // its file's facts are spread over several records
constexpr std::uint8_t FLAG_PLACED = 0x80;  // listed: file_count holds its final index
// Room kept in the 32-bit name pool: a name may start in the pool's next chunk.
constexpr std::uint64_t NAME_POOL_LIMIT = 0xFFFFFFFFull - (2u << 20);

// What the records of a file whose attributes overflow its base record say, gathered from each of them
// and merged once all are read: the base record may come before or after its extension records.
struct SplitFacts {
    std::uint64_t owner = 0;
    std::uint64_t length = 0;
    std::optional<std::uint64_t> on_disk;
    std::optional<std::uint64_t> wof;  // the size of a WofCompressedData stream
    std::uint64_t modified = 0;        // a FILETIME
    std::uint32_t attributes = 0;
    std::uint32_t reparse_tag = 0;
    std::uint16_t sequence = 0;
    bool base = false;  // the owner's own record, in use, was read
    bool directory = false;
    bool has_size = false;
};

// What one chunk of records gives: nodes in the interim form described above, with name offsets into
// `names`; and the facts that wait for the whole MFT.
struct Parsed {
    std::vector<Node> nodes;
    std::string names;
    std::vector<std::pair<std::uint32_t, std::string>> real_names;  // by index in `nodes`
    std::vector<std::pair<std::uint32_t, std::uint64_t>> lengths;   // by index in `nodes`
    std::vector<SplitFacts> split;
    std::optional<std::uint16_t> root_sequence;
    std::uint32_t root_mtime = 0;  // with root_sequence: the root's record was in this chunk
    std::uint32_t damaged = 0;
    std::uint64_t files = 0;  // for the progress figures while the records are read
    std::uint64_t bytes = 0;

    void clear() {
        nodes.clear();
        names.clear();
        real_names.clear();
        lengths.clear();
        split.clear();
        root_sequence.reset();
        root_mtime = 0;
        damaged = 0;
        files = bytes = 0;
    }
};

// A parsing thread's scratch space, kept between records so that a record costs no allocation.
struct Scratch {
    FileNameValue name;
    struct Link {
        std::uint64_t parent;  // a reference
        std::uint32_t offset;  // in Parsed::names
        std::uint32_t length;
        std::string real;  // the exact name, where it is not text (an unpaired surrogate); else empty
    };
    std::vector<Link> links;
};

// The entry a listing would show for a file with these facts, without its name and kind. A file that
// the Overlay Filter compressed takes the space of its compressed stream, like an NTFS-compressed file.
ListedEntry classify(std::uint32_t attributes, bool directory, std::uint32_t reparse_tag,
                     std::uint64_t length, std::optional<std::uint64_t> on_disk,
                     std::optional<std::uint64_t> wof, std::uint64_t modified) {
    FindEntry entry{attributes | (directory ? ATTR_DIRECTORY : 0u), reparse_tag, length};
    if (reparse_tag != 0) entry.attributes |= ATTR_REPARSE_POINT;
    if (reparse_tag == REPARSE_TAG_WOF && wof) {
        entry.attributes |= ATTR_COMPRESSED;
        on_disk = wof;
    }
    const std::optional<std::uint64_t> asked =
        wants_on_disk_size(entry.attributes) ? on_disk.value_or(length) : std::optional<std::uint64_t>();
    ListedEntry out = classify_find_attributes(entry, asked);
    out.mtime = mtime_from_filetime(modified);
    return out;
}

// One record into `out`: a node per name, or its facts kept for later when they are split.
void parse_record(std::span<std::uint8_t> record, std::uint64_t number, Scratch& scratch, Parsed& out) {
    if (!apply_fixups(record)) {
        // Records never used may be all zeros; only a record that claims to be one and is damaged counts.
        if (record[0] == 'F' || record[0] == 'B') ++out.damaged;
        return;
    }
    const auto flags = static_cast<std::uint16_t>(read_le(record, 0x16, 2));
    if (!(flags & RECORD_IN_USE)) return;
    const std::uint64_t base = record_number(read_le(record, 0x20, 8));
    const std::uint64_t owner = base != 0 ? base : number;
    if (owner >= NO_RECORD) return;  // an extension of a record no MFT can hold
    const auto sequence = static_cast<std::uint16_t>(read_le(record, 0x10, 2));
    const bool directory = (flags & RECORD_DIRECTORY) != 0;
    const bool root = number == ROOT_RECORD && base == 0 && directory;
    if (root) out.root_sequence = sequence;

    bool split = base != 0;
    std::uint32_t attributes = 0;
    std::uint64_t modified = 0;
    std::uint32_t reparse_tag = 0;
    std::uint64_t length = 0;
    std::optional<std::uint64_t> on_disk;
    std::optional<std::uint64_t> wof;
    bool has_size = false;
    scratch.links.clear();
    AttributeCursor cursor(record);
    while (const AttributeView* next = cursor.next()) {
        const AttributeView& attribute = *next;
        switch (attribute.type) {
            case ATTRIBUTE_STANDARD_INFORMATION:
                attributes = read_standard_attributes(attribute.value);
                modified = read_standard_modified(attribute.value);
                break;
            case ATTRIBUTE_LIST: split = true; break;
            case ATTRIBUTE_FILE_NAME: {
                // An 8.3 alias is a second name of the same link, which a listing never shows.
                if (!read_file_name(attribute.value, scratch.name) || scratch.name.space == NameSpace::Dos)
                    break;
                const std::uint64_t parent = record_number(scratch.name.parent);
                if (parent >= NO_RECORD || parent == owner) break;  // the root names itself; nothing else may
                const std::size_t offset = out.names.size();
                std::string real;
                if (!append_wtf8_from_utf16(out.names, scratch.name.name)) {
                    // Kept exactly aside; shown as Windows shows it, each unpaired surrogate repaired.
                    real = out.names.substr(offset);
                    out.names.resize(offset);
                    append_utf8_from_utf16(out.names, scratch.name.name);
                }
                scratch.links.push_back(Scratch::Link{scratch.name.parent, static_cast<std::uint32_t>(offset),
                                                      static_cast<std::uint32_t>(out.names.size() - offset),
                                                      std::move(real)});
                break;
            }
            case ATTRIBUTE_DATA:
                if (attribute.named) {
                    // An alternate stream, which a listing does not see, unless it holds the file's
                    // compressed bytes; its first piece carries the sizes.
                    if (attribute_named(attribute, WOF_STREAM) &&
                        (!attribute.non_resident || attribute.first_vcn == 0))
                        wof = attribute.non_resident
                                  ? attribute.compressed_size.value_or(attribute.allocated_size)
                                  : attribute.value.size();
                    break;
                }
                if (!attribute.non_resident) {
                    length = attribute.value.size();
                } else if (attribute.first_vcn == 0) {  // the first piece carries the sizes
                    length = attribute.data_size;
                    on_disk = attribute.compressed_size;
                } else {
                    break;
                }
                has_size = true;
                ++out.files;
                out.bytes += on_disk.value_or(length);
                break;
            case ATTRIBUTE_REPARSE_POINT:
                if (const std::optional<std::uint32_t> tag = read_reparse_tag(attribute.value))
                    reparse_tag = *tag;
                break;
            default: break;
        }
    }
    if (root) out.root_mtime = mtime_from_filetime(modified);
    if (split) {
        out.split.push_back(SplitFacts{owner, length, on_disk, wof, modified, attributes, reparse_tag,
                                       sequence, base == 0, directory, has_size});
    }
    const ListedEntry entry =
        split ? ListedEntry{} : classify(attributes, directory, reparse_tag, length, on_disk, wof, modified);
    for (Scratch::Link& link : scratch.links) {
        const auto index = static_cast<std::uint32_t>(out.nodes.size());
        if (!link.real.empty()) out.real_names.emplace_back(index, std::move(link.real));
        const std::uint8_t kind = split || (entry.flags & FLAG_DIR)
                                      ? 0
                                      : kind_of(std::string_view(out.names).substr(link.offset, link.length));
        out.nodes.push_back(Node{entry.size, link.offset,
                                 link.length | static_cast<std::uint32_t>(link.parent >> 48) << 16,
                                 static_cast<std::uint32_t>(record_number(link.parent)),
                                 static_cast<std::uint32_t>(owner), NO_NODE, sequence, entry.mtime,
                                 static_cast<std::uint8_t>(entry.flags | (split ? FLAG_SPLIT : 0)), kind});
        if (!split && keeps_length(entry)) out.lengths.emplace_back(index, entry.length);
    }
}

// Where the MFT's bytes lie: its pieces in order, each in clusters.
struct MftLayout {
    NtfsGeometry geometry;
    std::vector<Extent> extents;
    std::uint64_t records = 0;
};

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
    const std::uint64_t volume_bytes = geometry->total_sectors * geometry->bytes_per_sector;
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
        if (record_index >= volume_bytes / geometry->record_size) return std::nullopt;
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
    // Each piece lies inside the volume (decode_runs saw to that, and the boot sector's size fits 64 bits),
    // but pieces from several records may add up past 2^64: their byte offsets would wrap, and a piece
    // would end before it starts.
    std::uint64_t mapped = 0;
    for (const Extent& extent : layout.extents) {
        const std::uint64_t bytes = extent.clusters * geometry->cluster_size;
        if (extent.clusters > volume_bytes / geometry->cluster_size || bytes > UINT64_MAX - mapped) {
            error = "the MFT's run list is damaged";
            return std::nullopt;
        }
        mapped += bytes;
    }
    // The records that exist: what its length says, as far as its pieces reach and the volume holds.
    // So a damaged length cannot make us allocate for records that are not there.
    layout.records = std::min({length, mapped, volume_bytes}) / geometry->record_size;
    if (layout.records <= ROOT_RECORD || layout.records > 0xFFFFFFFFull) {
        error = "the MFT's length is damaged";
        return std::nullopt;
    }
    return layout;
}

// The records read so far, joined into the tree chunk by chunk.
struct Gathered {
    FileTree tree;
    std::vector<std::pair<NodeIndex, std::string>> real_names;  // by interim node index
    std::vector<std::pair<NodeIndex, std::uint64_t>> lengths;   // by interim node index
    std::vector<SplitFacts> split;
    std::optional<std::uint16_t> root_sequence;
    std::uint32_t root_mtime = 0;
    std::uint32_t damaged = 0;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    bool full = false;  // more names than a tree can index
};

// Appends one chunk's nodes and names to the tree, in the order the chunks were read.
void join(Parsed& parsed, Gathered& into) {
    FileTree& tree = into.tree;
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    if (parsed.nodes.size() >= NO_NODE - tree.nodes.size() ||
        tree.names.size() + parsed.names.size() > NAME_POOL_LIMIT) {
        into.full = true;
        return;
    }
    for (Node node : parsed.nodes) {
        const std::uint32_t length = node.name_len & 0xFFFF;
        const std::optional<std::uint64_t> offset =
            tree.names.append(std::string_view(parsed.names).substr(node.name_offset, length));
        if (!offset) {  // a $FILE_NAME holds at most 255 UTF-16 units, far below what the pool refuses
            into.full = true;
            return;
        }
        node.name_offset = static_cast<std::uint32_t>(*offset);
        tree.nodes.push_back(node);
    }
    for (auto& [index, name] : parsed.real_names)
        into.real_names.emplace_back(first + index, std::move(name));
    for (const auto& [index, length] : parsed.lengths)
        into.lengths.emplace_back(first + index, length);
    into.split.insert(into.split.end(), parsed.split.begin(), parsed.split.end());
    if (parsed.root_sequence) {
        into.root_sequence = parsed.root_sequence;
        into.root_mtime = parsed.root_mtime;
    }
    into.damaged += parsed.damaged;
    into.files += parsed.files;
    into.bytes += parsed.bytes;
}

// Where the bytes [begin, end) of the MFT lie on the volume: (offset, length) pieces in order, at most
// end - begin bytes in all. False when a piece would end before it starts (a layout whose offsets wrap:
// damage, which locate_mft already refuses).
bool pieces_of(const MftLayout& layout, std::uint64_t begin, std::uint64_t end,
               std::vector<std::pair<std::uint64_t, std::uint64_t>>& pieces) {
    pieces.clear();
    const std::uint64_t cluster_size = layout.geometry.cluster_size;
    std::uint64_t extent_begin = 0;  // in MFT bytes
    for (const Extent& extent : layout.extents) {
        const std::uint64_t extent_end = extent_begin + extent.clusters * cluster_size;
        if (extent_end < extent_begin || extent.clusters > UINT64_MAX / cluster_size) return false;
        if (extent_end > begin && extent_begin < end) {
            const std::uint64_t from = std::max(begin, extent_begin);
            const std::uint64_t to = std::min(end, extent_end);
            pieces.emplace_back(extent.lcn * cluster_size + (from - extent_begin), to - from);
        }
        if (extent_end >= end) break;
        extent_begin = extent_end;
    }
    return true;
}

// The kernel copies into a page-aligned buffer much faster than into one a few bytes off, and an
// unbuffered volume read must be sector-aligned anyway.
constexpr std::size_t PAGE = 4096;

struct PageBuffer {
    struct Free {
        void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t{PAGE}); }
    };
    std::unique_ptr<std::uint8_t[], Free> bytes{
        static_cast<std::uint8_t*>(::operator new[](READ_SIZE, std::align_val_t{PAGE}))};
};

// Reads and parses the MFT a chunk at a time on worker threads: while one thread parses the chunk it
// has just read (still in its cache), another reads the next. Chunks are joined into the tree on the
// calling thread in MFT order, whatever order they finish in, and the threads never run more than a
// few chunks ahead of the joining, so memory stays bounded.
class ChunkReader {
  public:
    ChunkReader(const ReadAt& read, const MftLayout& layout, const std::atomic<bool>& cancel)
        : read_(read),
          layout_(layout),
          cancel_(cancel),
          chunks_((layout.records * layout.geometry.record_size + CHUNK - 1) / CHUNK) {
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        ahead_ = 2 * count;
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] { run(); });
    }
    ~ChunkReader() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_threads_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // Joins every chunk into `out` in order. False when a read failed (error says so) or the scan was
    // cancelled; the cancel flag is looked at every 20 ms at most.
    bool join_all(Gathered& out, ScanProgress& progress, std::string& error) {
        std::unique_lock lock(mutex_);
        while (joined_ < chunks_) {
            if (failed_) {
                error = damaged_ ? "the MFT's run list is damaged" : "cannot read the MFT";
                return false;
            }
            if (cancel_.load()) return false;
            const auto ready = finished_.find(joined_);
            if (ready == finished_.end()) {
                wake_joiner_.wait_for(lock, std::chrono::milliseconds(20));
                continue;
            }
            std::unique_ptr<Parsed> parsed = std::move(ready->second);
            finished_.erase(ready);
            lock.unlock();
            join(*parsed, out);
            progress.files = out.files;
            progress.bytes = out.bytes;
            lock.lock();
            spare_.push_back(std::move(parsed));
            ++joined_;
            wake_threads_.notify_all();
        }
        return true;
    }

  private:
    void run() {
        PageBuffer buffer;
        Scratch scratch;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> pieces;
        const std::uint32_t record_size = layout_.geometry.record_size;
        const std::uint64_t mft_bytes = layout_.records * record_size;
        for (;;) {
            std::uint64_t chunk = 0;
            std::unique_ptr<Parsed> parsed;
            {
                std::unique_lock lock(mutex_);
                wake_threads_.wait(lock, [this] {
                    return stopping_ || failed_ || cancel_.load() || next_ >= chunks_ ||
                           next_ < joined_ + ahead_;
                });
                if (stopping_ || failed_ || cancel_.load() || next_ >= chunks_) return;
                chunk = next_++;
                if (!spare_.empty()) {
                    parsed = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            if (!parsed) parsed = std::make_unique<Parsed>();
            parsed->clear();
            const std::uint64_t chunk_end = std::min<std::uint64_t>((chunk + 1) * CHUNK, mft_bytes);
            bool laid_out = true;
            bool ok = true;
            for (std::uint64_t begin = chunk * CHUNK; ok && begin < chunk_end; begin += READ_SIZE) {
                // A cancelled read stops within one piece; the joiner sees the flag and gives up.
                if (begin != chunk * CHUNK && cancel_.load()) return;
                const std::uint64_t end = std::min<std::uint64_t>(begin + READ_SIZE, chunk_end);
                laid_out = pieces_of(layout_, begin, end, pieces);
                std::size_t filled = 0;
                ok = laid_out;
                for (const auto& [offset, length] : pieces) {
                    ok = ok && read_(offset, std::span(buffer.bytes.get() + filled,
                                                       static_cast<std::size_t>(length)));
                    filled += static_cast<std::size_t>(length);
                }
                ok = ok && filled == end - begin;
                if (!ok) break;
                const std::span<std::uint8_t> records(buffer.bytes.get(), filled);
                for (std::size_t i = 0; i < filled / record_size; ++i)
                    parse_record(records.subspan(i * record_size, record_size), begin / record_size + i,
                                 scratch, *parsed);
            }
            {
                const std::lock_guard lock(mutex_);
                if (ok) {
                    finished_.emplace(chunk, std::move(parsed));
                } else {
                    failed_ = true;
                    damaged_ = damaged_ || !laid_out;
                }
            }
            wake_joiner_.notify_one();
        }
    }

    const ReadAt& read_;
    const MftLayout& layout_;
    const std::atomic<bool>& cancel_;
    const std::uint64_t chunks_;
    std::uint64_t ahead_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_threads_;
    std::condition_variable wake_joiner_;
    std::uint64_t next_ = 0;    // the next chunk a thread takes
    std::uint64_t joined_ = 0;  // chunks joined so far
    std::map<std::uint64_t, std::unique_ptr<Parsed>> finished_;
    std::vector<std::unique_ptr<Parsed>> spare_;  // joined, their capacity kept for the next chunks
    bool failed_ = false;
    bool damaged_ = false;  // failed because the MFT's layout is
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Every record of the MFT, read and parsed. False when a read fails or the scan is cancelled.
bool read_records(const ReadAt& read, const MftLayout& layout, Gathered& out, ScanProgress& progress,
                  std::string& error) {
    ChunkReader reader(read, layout, progress.cancel);
    return reader.join_all(out, progress, error);
}

// The system's own files at the root ($MFT, $LogFile, $Bitmap, $Secure, $Extend…): a listing leaves
// them out.
bool is_metafile(const FileTree& tree, const Node& node) {
    const std::uint32_t record = node.first_child;
    return record < 16 ||
           (record < 24 && (node.name_len & 0xFFFF) > 0 && tree.names.view(node.name_offset, 1)[0] == '$');
}

// Settles the nodes of files whose facts were spread over several records, now that all are read.
void settle_split(Gathered& in) {
    if (in.split.empty()) return;
    std::sort(in.split.begin(), in.split.end(),
              [](const SplitFacts& a, const SplitFacts& b) { return a.owner < b.owner; });
    std::vector<SplitFacts> merged;
    for (const SplitFacts& part : in.split) {
        if (merged.empty() || merged.back().owner != part.owner) {
            merged.emplace_back();
            merged.back().owner = part.owner;
        }
        SplitFacts& whole = merged.back();
        if (part.base) {
            whole.base = true;
            whole.directory = part.directory;
            whole.sequence = part.sequence;
            whole.attributes = part.attributes;
            whole.modified = part.modified;
        }
        if (part.has_size && !whole.has_size) {
            whole.has_size = true;
            whole.length = part.length;
            whole.on_disk = part.on_disk;
        }
        if (part.wof && !whole.wof) whole.wof = part.wof;
        if (part.reparse_tag != 0) whole.reparse_tag = part.reparse_tag;
    }
    FileTree& tree = in.tree;
    for (std::size_t i = 1; i < tree.nodes.size(); ++i) {
        Node& node = tree.nodes[i];
        if (!(node.flags & FLAG_SPLIT)) continue;
        const auto at = std::lower_bound(
            merged.begin(), merged.end(), std::uint64_t{node.first_child},
            [](const SplitFacts& facts, std::uint64_t owner) { return facts.owner < owner; });
        if (at == merged.end() || at->owner != node.first_child || !at->base) {
            node.parent = NO_RECORD;  // an extension whose file is gone: never listed
            continue;
        }
        const ListedEntry entry = classify(at->attributes, at->directory, at->reparse_tag, at->length,
                                           at->on_disk, at->wof, at->modified);
        node.size = entry.size;
        node.mtime = entry.mtime;
        node.flags = entry.flags;
        node.file_count = at->sequence;
        node.kind =
            (entry.flags & FLAG_DIR) ? 0 : kind_of(tree.names.view(node.name_offset, node.name_len & 0xFFFF));
        if (keeps_length(entry)) in.lengths.emplace_back(static_cast<NodeIndex>(i), entry.length);
    }
    in.split = {};
}

// Moves every node to the index its file_count names (a permutation of 0..size-1), in place. Following
// each cycle straight through the array would cost a cache miss per node; instead the nodes are first
// dealt into 256 contiguous ranges of final indices, writing to 256 places that each move forward (an
// American flag sort on the top bits), and then each range, small enough to stay in the cache, is put in
// order by following its cycles.
void move_to_final_places(ChunkedArray<Node>& nodes) {
    const std::size_t count = nodes.size();
    constexpr std::size_t RANGES = 256;
    const std::size_t span = (count + RANGES - 1) / RANGES;
    if (span == 0) return;
    const auto range_of = [span](const Node& node) { return node.file_count / span; };
    std::array<std::size_t, RANGES + 1> start{};
    for (std::size_t r = 0; r <= RANGES; ++r)
        start[r] = std::min(r * span, count);
    std::array<std::size_t, RANGES> next{};
    std::copy(start.begin(), start.end() - 1, next.begin());
    for (std::size_t r = 0; r < RANGES; ++r) {
        while (next[r] < start[r + 1]) {
            Node held = nodes[next[r]];
            std::size_t to = range_of(held);
            while (to != r) {
                std::swap(held, nodes[next[to]++]);
                to = range_of(held);
            }
            nodes[next[r]++] = held;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        while (nodes[i].file_count != i)
            std::swap(nodes[i], nodes[nodes[i].file_count]);
    }
}

// Puts the nodes in the walk's layout: from the root down, each folder's entries side by side. A
// reference whose sequence number does not match its folder's (a stale link to a reused record), a folder
// reached twice (damage) and anything not reachable from the root are left out.
void place(Gathered& in, std::uint64_t records) {
    FileTree& tree = in.tree;
    const std::size_t count = tree.nodes.size();
    // One list per folder record, in record order. Only folders have lists, so a list head is found
    // through a bitmap of the folder records and its running counts, not an array over every record.
    std::vector<std::uint64_t> is_folder((records + 63) / 64);
    const auto mark = [&](std::uint64_t record) {
        if (record < records) is_folder[record / 64] |= std::uint64_t{1} << (record % 64);
    };
    mark(ROOT_RECORD);
    for (std::size_t i = 1; i < count; ++i) {
        const Node& node = tree.nodes[i];
        if ((node.flags & FLAG_DIR) && !(node.flags & FLAG_LINK)) mark(node.first_child);
    }
    std::vector<std::uint32_t> folders_before(is_folder.size() + 1, 0);
    for (std::size_t w = 0; w < is_folder.size(); ++w)
        folders_before[w + 1] = folders_before[w] + static_cast<std::uint32_t>(std::popcount(is_folder[w]));
    constexpr std::uint32_t NO_LIST = 0xFFFFFFFF;
    const auto list_of = [&](std::uint64_t record) -> std::uint32_t {
        if (record >= records) return NO_LIST;
        const std::uint64_t word = is_folder[record / 64];
        const std::uint64_t bit = std::uint64_t{1} << (record % 64);
        if (!(word & bit)) return NO_LIST;
        return folders_before[record / 64] + static_cast<std::uint32_t>(std::popcount(word & (bit - 1)));
    };
    std::vector<NodeIndex> head(folders_before.back(), NO_NODE);
    for (std::size_t i = count; i-- > 1;) {
        Node& node = tree.nodes[i];
        node.next_sibling = NO_NODE;
        if (const std::uint32_t list = list_of(node.parent); list != NO_LIST) {
            node.next_sibling = head[list];
            head[list] = static_cast<NodeIndex>(i);
        }
    }
    // Takes a folder's list, once: a folder reached twice (damage) lists nothing the second time.
    const auto take_list = [&](std::uint64_t record) {
        const std::uint32_t list = list_of(record);
        if (list == NO_LIST) return NO_NODE;
        return std::exchange(head[list], NO_NODE);
    };
    const auto first_of = [&](std::uint64_t record) {
        const std::uint32_t list = list_of(record);
        return list == NO_LIST ? NO_NODE : head[list];
    };
    // Folders are listed in the order their first entries were made, not depth first: what a folder
    // holds was mostly written side by side in the MFT, so most nodes then move only a short way.
    struct Folder {
        NodeIndex first;  // its first entry's interim index
        NodeIndex at;
        std::uint32_t record;
        std::uint16_t sequence;
        bool operator<(const Folder& other) const { return first > other.first; }  // the smallest on top
    };
    std::priority_queue<Folder> pending;
    pending.push(
        Folder{first_of(ROOT_RECORD), 0, static_cast<std::uint32_t>(ROOT_RECORD), *in.root_sequence});
    NodeIndex placed = 1;
    while (!pending.empty()) {
        const Folder folder = pending.top();
        pending.pop();
        NodeIndex i = take_list(folder.record);
        while (i != NO_NODE) {
            Node& node = tree.nodes[i];
            i = node.next_sibling;
            if ((node.name_len >> 16) != folder.sequence) continue;
            if (folder.record == ROOT_RECORD && is_metafile(tree, node)) continue;
            if ((node.flags & FLAG_DIR) && !(node.flags & FLAG_LINK)) {
                pending.push(Folder{first_of(node.first_child), placed, node.first_child,
                                    static_cast<std::uint16_t>(node.file_count)});
            }
            node.parent = folder.at;
            node.file_count = placed++;
            node.flags |= FLAG_PLACED;
        }
    }
    head = {};
    is_folder = {};
    folders_before = {};
    NodeIndex dropped = placed;
    for (std::size_t i = 1; i < count; ++i) {
        Node& node = tree.nodes[i];
        if (!(node.flags & FLAG_PLACED)) node.file_count = dropped++;
    }
    // The side tables by final index, while the nodes still stand where they were made.
    for (auto& [index, name] : in.real_names) {
        const Node& node = tree.nodes[index];
        if (node.flags & FLAG_PLACED) tree.real_names.emplace(node.file_count, std::move(name));
    }
    for (const auto& [index, length] : in.lengths) {
        const Node& node = tree.nodes[index];
        if (node.flags & FLAG_PLACED) tree.lengths.emplace(node.file_count, length);
    }
    in.real_names = {};
    in.lengths = {};
    tree.nodes[0].file_count = 0;
    move_to_final_places(tree.nodes);
    tree.nodes.truncate(placed);
    // The links of an appended listing: a folder's first child is the last of its block, each entry's
    // next sibling the one before it. A parent always stands before its children.
    tree.nodes[0].first_child = NO_NODE;
    for (std::size_t i = 1; i < placed; ++i) {
        Node& node = tree.nodes[i];
        const bool folder = (node.flags & FLAG_DIR) != 0;
        node.name_len &= 0xFFFF;
        node.flags &= static_cast<std::uint8_t>(~(FLAG_PLACED | FLAG_SPLIT));
        node.first_child = NO_NODE;
        node.file_count = folder ? 0 : 1;
        Node& parent = tree.nodes[node.parent];
        node.next_sibling = parent.first_child;
        parent.first_child = static_cast<NodeIndex>(i);
    }
}

}  // namespace

MftOutcome read_mft(std::string_view root_path, const ReadAt& read, ScanProgress& progress) {
    MftOutcome outcome;
    // The root's shown form, up to three bytes for each of its own, must fit the tree's name pool.
    if (root_path.size() > NamePool::MAX_TEXT / 3) {
        outcome.error = "the root path is too long";
        return outcome;
    }
    const std::optional<MftLayout> layout = locate_mft(read, outcome.error);
    if (!layout) return outcome;
    Gathered in;
    in.tree = make_tree(root_path);
    if (!read_records(read, *layout, in, progress, outcome.error)) return outcome;
    if (in.full) {
        outcome.error = "the volume holds more names than a tree can index";
        return outcome;
    }
    if (!in.root_sequence) {
        outcome.error = "the root folder's record is damaged";
        return outcome;
    }
    settle_split(in);
    place(in, layout->records);
    FileTree& tree = in.tree;
    tree.nodes[0].mtime = in.root_mtime;
    if (in.damaged > 0) {
        tree.nodes[0].flags |= FLAG_UNREADABLE;
        tree.unreadable_folders += in.damaged;
    }
    std::uint64_t folders = 1;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (std::size_t i = 1; i < tree.nodes.size(); ++i) {
        const Node& node = tree.nodes[i];
        if (!(node.flags & FLAG_DIR)) {
            ++files;
            if (!add_to_total(bytes, node.size)) {
                outcome.error = TOTAL_PAST_LIMIT;
                return outcome;
            }
        } else if (!(node.flags & FLAG_LINK)) {
            ++folders;
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
