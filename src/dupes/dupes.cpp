// The duplicate finder's job and its workers. See dupes.h.
#include "dupes/dupes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

#include "dupes/file_io.h"
#include "scan/folder.h"
#include "scan/scan.h"

namespace spadrim {
namespace {

constexpr std::uint64_t WHOLE_FILE_SAMPLE = 2 * SAMPLE_PART;  // up to this size the sample is the file

struct Shared {
    CompareProgress& progress;
    std::mutex lock;  // guards sets
    std::vector<DuplicateSet> sets;
    std::atomic<std::uint32_t> failed{0};
};

// Reads exactly size bytes into the hash; false on an error or a file that ends early.
bool hash_exactly(const InputFile& file, std::uint64_t size, Sha256& hash,
                  std::vector<unsigned char>& buffer) {
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        const std::optional<std::size_t> got = read_some(file, buffer.data(), want);
        if (!got || *got == 0) return false;
        hash.update(buffer.data(), *got);
        size -= *got;
    }
    return true;
}

std::optional<Digest> sample_digest(const CandidateEntry& entry, std::vector<unsigned char>& buffer) {
    const InputFile file = open_input(entry.path, false);
    if (!file.is_open()) return std::nullopt;
    Sha256 hash;
    if (entry.size <= WHOLE_FILE_SAMPLE) {
        if (!hash_exactly(file, entry.size, hash, buffer)) return std::nullopt;
    } else if (!hash_exactly(file, SAMPLE_PART, hash, buffer) || !seek_to(file, entry.size - SAMPLE_PART) ||
               !hash_exactly(file, SAMPLE_PART, hash, buffer)) {
        return std::nullopt;
    }
    return hash.finish();
}

using Hashed = std::vector<std::pair<Digest, const CandidateEntry*>>;
struct SameDigest {
    Digest digest;
    std::vector<const CandidateEntry*> entries;  // in the order they were hashed
};

std::vector<SameDigest> by_digest(Hashed hashed) {
    std::stable_sort(hashed.begin(), hashed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SameDigest> groups;
    for (std::size_t i = 0; i < hashed.size(); ++i) {
        if (i == 0 || hashed[i].first != hashed[i - 1].first)
            groups.push_back(SameDigest{hashed[i].first, {}});
        groups.back().entries.push_back(hashed[i].second);
    }
    return groups;
}

// A file being read for its whole content, and how far.
struct Reader {
    const CandidateEntry* entry;
    InputFile file;
    std::uint64_t read = 0;
};

// Buffers of one worker: what a leading file read, and what another file read to compare with it.
struct Buffers {
    std::vector<unsigned char> lead = std::vector<unsigned char>(READ_CHUNK);
    std::vector<unsigned char> other = std::vector<unsigned char>(READ_CHUNK);
};

// Reads until size bytes are in or the file ends; nothing on an error.
std::optional<std::size_t> read_full(const InputFile& file, unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::optional<std::size_t> got = read_some(file, data + done, size - done);
        if (!got) return std::nullopt;
        if (*got == 0) break;
        done += *got;
    }
    return done;
}

// Hashes the rest of a file into hash, which holds its first r.read bytes. Nothing when the file cannot
// be read, is not exactly its size in the tree any more, or the job is cancelled.
std::optional<Digest> hash_rest(Reader& r, Sha256& hash, std::vector<unsigned char>& buffer,
                                CompareProgress& progress) {
    const std::uint64_t size = r.entry->size;
    for (;;) {
        if (progress.cancel) return std::nullopt;
        const std::optional<std::size_t> got = read_some(r.file, buffer.data(), buffer.size());
        if (!got) return std::nullopt;
        if (*got == 0) break;
        // A file that grew is already known to have changed; no need to read the rest of it.
        if (r.read + *got > size) return std::nullopt;
        hash.update(buffer.data(), *got);
        r.read += *got;
        progress.bytes_read += *got;
        progress.bytes_done += *got;
    }
    if (r.read != size) return std::nullopt;
    return hash.finish();
}

// More files than this in one sample group are hashed one at a time instead of side by side, so that a
// huge group of equal samples cannot run out of file handles.
constexpr std::size_t SIDE_BY_SIDE = 64;

// The content digests of files of one size whose samples agree. They are read side by side in chunks:
// while a file matches the leading one byte for byte it shares the leading file's hash, so a set of
// copies costs one SHA-256 and a comparison per copy. A file that differs takes a copy of the hash
// state and goes on alone. The digests are exactly those of hashing each file whole.
Hashed content_digests(const std::vector<const CandidateEntry*>& alike, Shared& shared, Buffers& buffers) {
    CompareProgress& progress = shared.progress;
    const std::uint64_t size = alike.front()->size;
    Hashed out;
    const auto fail = [&](const Reader& r) {
        ++shared.failed;
        ++progress.files_done;
        progress.bytes_done += size - std::min(r.read, size);
    };
    // Reads into the other buffer: the lead buffer may still hold the chunk the shared hash needs.
    const auto alone = [&](Reader& r, Sha256& hash) {
        if (const std::optional<Digest> digest = hash_rest(r, hash, buffers.other, progress)) {
            out.emplace_back(*digest, r.entry);
        } else {
            fail(r);
        }
    };

    std::vector<Reader> readers;
    for (const CandidateEntry* entry : alike) {
        Reader r{entry, open_input(entry->path, true)};
        if (!r.file.is_open()) {
            fail(r);
        } else if (alike.size() > SIDE_BY_SIDE) {
            Sha256 hash;
            alone(r, hash);
        } else {
            readers.push_back(std::move(r));
        }
    }

    std::vector<Reader*> together;
    for (Reader& r : readers)
        together.push_back(&r);
    Sha256 shared_hash;
    for (std::uint64_t offset = 0; together.size() > 1 && offset < size;) {
        if (progress.cancel) break;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(READ_CHUNK, size - offset));
        Reader& lead = *together.front();
        const std::optional<std::size_t> got = read_full(lead.file, buffers.lead.data(), want);
        if (got != want) {
            // The leading file failed: the others go on alone from what they shared so far.
            fail(lead);
            for (std::size_t i = 1; i < together.size(); ++i) {
                Sha256 hash;
                shared_hash.copy_to(hash);
                alone(*together[i], hash);
            }
            together.clear();
            break;
        }
        lead.read += want;
        progress.bytes_read += want;
        progress.bytes_done += want;
        std::erase_if(together, [&](Reader* r) {
            if (r == &lead) return false;
            const std::optional<std::size_t> other = read_full(r->file, buffers.other.data(), want);
            if (other != want) {
                fail(*r);
                return true;
            }
            r->read += want;
            progress.bytes_read += want;
            progress.bytes_done += want;
            if (std::memcmp(buffers.lead.data(), buffers.other.data(), want) == 0) return false;
            Sha256 hash;
            shared_hash.copy_to(hash);
            hash.update(buffers.other.data(), want);
            alone(*r, hash);
            return true;
        });
        shared_hash.update(buffers.lead.data(), want);
        offset += want;
    }
    if (progress.cancel) {
        for (Reader* r : together)
            fail(*r);
        return out;
    }
    if (together.size() == 1) {  // the others all went their own way (or failed)
        alone(*together.front(), shared_hash);
        return out;
    }
    // Everyone left read exactly the size in the tree; a file that is longer now has changed.
    const std::optional<Digest> digest = together.empty() ? std::nullopt : shared_hash.finish();
    for (Reader* r : together) {
        unsigned char probe = 0;
        if (digest && read_some(r->file, &probe, 1) == std::size_t{0}) {
            out.emplace_back(*digest, r->entry);
        } else {
            fail(*r);
        }
    }
    return out;
}

// One size group: identity, then samples, then whole contents where samples agree.
void compare_group(const CandidateEntry* begin, const CandidateEntry* end, Shared& shared, Buffers& buffers) {
    CompareProgress& progress = shared.progress;
    const std::uint64_t size = begin->size;
    const auto settle = [&](std::uint64_t files) {
        progress.files_done += files;
        progress.bytes_done += files * size;
    };
    const auto fail = [&] {
        ++shared.failed;
        settle(1);
    };

    std::vector<FileId> seen;
    std::vector<const CandidateEntry*> distinct;
    for (const CandidateEntry* entry = begin; entry != end; ++entry) {
        const InputFile file = open_input(entry->path, false);
        const std::optional<FileId> id = file.is_open() ? file_identity(file) : std::nullopt;
        if (!id) {
            fail();
        } else if (std::any_of(seen.begin(), seen.end(),
                               [&](const FileId& other) { return same_file(other, *id); })) {
            settle(1);  // another name of a file already in the group
        } else {
            seen.push_back(*id);
            distinct.push_back(entry);
        }
    }
    if (distinct.size() < 2) {
        settle(distinct.size());
        return;
    }

    Hashed samples;
    for (const CandidateEntry* entry : distinct) {
        if (progress.cancel) return;
        if (const std::optional<Digest> digest = sample_digest(*entry, buffers.lead)) {
            samples.emplace_back(*digest, entry);
        } else {
            fail();
        }
    }
    for (const SameDigest& alike : by_digest(std::move(samples))) {
        if (alike.entries.size() == 1) {
            settle(1);
            continue;
        }
        Hashed contents;
        if (size <= WHOLE_FILE_SAMPLE) {
            for (const CandidateEntry* entry : alike.entries)
                contents.emplace_back(alike.digest, entry);  // the sample was the whole file
        } else {
            contents = content_digests(alike.entries, shared, buffers);
        }
        for (const SameDigest& same : by_digest(std::move(contents))) {
            progress.files_done += same.entries.size();
            if (size <= WHOLE_FILE_SAMPLE) progress.bytes_done += same.entries.size() * size;
            if (same.entries.size() < 2) continue;
            DuplicateSet set{{}, size, same.digest, 0};
            std::vector<std::uint64_t> on_disk;
            for (const CandidateEntry* entry : same.entries) {
                set.members.push_back(entry->node);
                on_disk.push_back(entry->on_disk.value_or(size));
            }
            set.wasted = freed_keeping_one(on_disk);
            std::lock_guard hold(shared.lock);
            shared.sets.push_back(std::move(set));
        }
    }
}

}  // namespace

bool same_file(const FileId& a, const FileId& b) {
    const bool known = (a.high != 0 || a.low != 0) && a.links > 1 && b.links > 1;
    return known && a.volume == b.volume && a.high == b.high && a.low == b.low;
}

std::uint64_t freed_keeping_one(std::span<const std::uint64_t> on_disk) {
    std::uint64_t total = 0;
    std::uint64_t largest = 0;
    for (const std::uint64_t size : on_disk) {
        total += size;
        largest = std::max(largest, size);
    }
    return total - largest;
}

void sort_sets(std::vector<DuplicateSet>& sets) {
    std::sort(sets.begin(), sets.end(), [](const DuplicateSet& a, const DuplicateSet& b) {
        const std::uint64_t wasted_a = wasted_bytes(a);
        const std::uint64_t wasted_b = wasted_bytes(b);
        if (wasted_a != wasted_b) return wasted_a > wasted_b;
        if (a.size != b.size) return a.size > b.size;
        return a.digest < b.digest;
    });
}

bool path_less(std::string_view a, std::string_view b, char separator) {
    for (;;) {
        const std::size_t end_a = std::min(a.find(separator), a.size());
        const std::size_t end_b = std::min(b.find(separator), b.size());
        const std::string_view part_a = a.substr(0, end_a);
        const std::string_view part_b = b.substr(0, end_b);
        if (part_a != part_b) return part_a < part_b;
        if (end_a == a.size() || end_b == b.size()) return end_a == a.size() && end_b != b.size();
        a.remove_prefix(end_a + 1);
        b.remove_prefix(end_b + 1);
    }
}

unsigned duplicate_workers(std::optional<bool> seek_penalty, unsigned processors, std::size_t groups) {
    unsigned workers = 2;
    if (seek_penalty) workers = *seek_penalty ? 1 : std::min(4u, worker_count(processors));
    if (groups < workers) workers = static_cast<unsigned>(groups);
    return std::max(workers, 1u);
}

void run_duplicate_job(std::vector<CandidateEntry> entries, const std::string& root_path,
                       std::uint64_t generation, CompareProgress& progress, OutcomeList& outcomes,
                       const std::function<void()>& wake, unsigned workers) {
    std::sort(entries.begin(), entries.end(), [](const CandidateEntry& a, const CandidateEntry& b) {
        if (a.size != b.size) return a.size > b.size;
        return path_less(a.path, b.path, PATH_SEPARATOR);
    });
    // Runs of equal size with two or more members, moved to the front in order.
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    std::vector<CandidateEntry> grouped;
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t j = i;
        while (j < entries.size() && entries[j].size == entries[i].size)
            ++j;
        if (j - i >= 2) {
            groups.emplace_back(grouped.size(), grouped.size() + (j - i));
            std::move(entries.begin() + static_cast<std::ptrdiff_t>(i),
                      entries.begin() + static_cast<std::ptrdiff_t>(j), std::back_inserter(grouped));
        }
        i = j;
    }
    std::uint64_t total_bytes = 0;
    for (const CandidateEntry& entry : grouped)
        total_bytes += entry.size;
    progress.total_files = grouped.size();
    progress.total_bytes = total_bytes;

    Shared shared{progress, {}, {}, {}};
    if (!groups.empty()) {
        if (workers == 0)
            workers = duplicate_workers(seek_penalty(root_path), processor_count(), groups.size());
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> threads;
        for (unsigned i = 0; i < workers; ++i) {
            threads.emplace_back([&] {
                Buffers buffers;
                for (std::size_t g = next++; g < groups.size() && !progress.cancel; g = next++) {
                    compare_group(grouped.data() + groups[g].first, grouped.data() + groups[g].second, shared,
                                  buffers);
                }
            });
        }
    }
    DuplicateOutcome outcome{generation, std::nullopt, shared.failed.load()};
    if (!progress.cancel) {
        sort_sets(shared.sets);
        outcome.sets = std::move(shared.sets);
    }
    {
        std::lock_guard hold(outcomes.lock);
        outcomes.outcomes.push_back(std::move(outcome));
    }
    wake();
}

}  // namespace spadrim
