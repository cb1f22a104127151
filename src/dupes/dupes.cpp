// The duplicate finder's job and its workers. See dupes.h.
#include "dupes/dupes.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <thread>

#include "dupes/file_io.h"
#include "dupes/hash_pipeline.h"
#include "scan/folder.h"
#include "scan/scan.h"

namespace spadrim {
namespace {

constexpr std::uint64_t WHOLE_FILE_SAMPLE = 2 * SAMPLE_PART;  // up to this size the sample is the file
// Chunk buffers of a reader that feeds hashers: enough for every hasher to have a chunk or two queued
// while the reader fills the next, few enough to keep the memory small.
constexpr std::size_t PIPELINE_BUFFERS = 8;

struct Shared {
    CompareProgress& progress;
    std::mutex lock;  // guards sets
    std::vector<DuplicateSet> sets;
    std::atomic<std::uint32_t> failed{0};
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

static_assert(READ_CHUNK >= WHOLE_FILE_SAMPLE, "a sample is hashed from one buffer");

// Reads the sample of a file (both ends, or all of a small file) and gives it to stream as its whole
// message. false when the file cannot be opened or ends early.
bool hash_sample(const CandidateEntry& entry, HashStream& stream, HashPipeline& pipe) {
    const InputFile file = open_input(entry.path, false);
    if (!file.is_open()) return false;
    unsigned char* buffer = pipe.take();
    const std::size_t length = static_cast<std::size_t>(std::min(entry.size, WHOLE_FILE_SAMPLE));
    bool ok = false;
    if (entry.size <= WHOLE_FILE_SAMPLE) {
        ok = read_full(file, buffer, length) == length;
    } else {
        ok = read_full(file, buffer, SAMPLE_PART) == SAMPLE_PART && seek_to(file, entry.size - SAMPLE_PART) &&
             read_full(file, buffer + SAMPLE_PART, SAMPLE_PART) == SAMPLE_PART;
    }
    if (!ok) {
        pipe.give_back(buffer);
        return false;
    }
    pipe.hash_whole(stream, buffer, length);
    return true;
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

// A file whose content digest is known, or will be once its stream is finished.
struct PendingFile {
    const CandidateEntry* entry;
    const HashStream* stream;  // nothing: digest holds it already
    Digest digest{};
};

// The files of one size whose samples agreed, in the order they were hashed: they become sets once every
// digest is in.
struct PendingGroup {
    std::uint64_t size;
    std::vector<PendingFile> files;
};

// What one reader needs for its groups: the hashing, the streams it made and what waits for them.
struct ReaderState {
    std::deque<HashStream> streams;  // kept until the groups that use them are settled
    std::vector<PendingGroup> pending;
    HashPipeline pipe;  // last: waits for its hashers before the streams go

    ReaderState(unsigned hashers, std::size_t buffers) : pipe(hashers, buffers, READ_CHUNK) {}
};

// A file being read for its whole content, and how far.
struct Reader {
    const CandidateEntry* entry;
    InputFile file;
    std::uint64_t read = 0;
};

// Gives the rest of a file to stream, which holds its first r.read bytes, and finishes it. false when the
// file cannot be read, is not exactly its size in the tree any more, or the job is cancelled.
bool hash_rest(Reader& r, HashStream& stream, HashPipeline& pipe, CompareProgress& progress) {
    const std::uint64_t size = r.entry->size;
    for (;;) {
        if (progress.cancel) return false;
        unsigned char* buffer = pipe.take();
        const std::optional<std::size_t> got = read_some(r.file, buffer, pipe.buffer_size());
        // A file that grew is already known to have changed; no need to read the rest of it.
        if (!got || *got == 0 || r.read + *got > size) {
            pipe.give_back(buffer);
            if (got == std::size_t{0}) break;
            return false;
        }
        pipe.update(stream, buffer, *got);
        r.read += *got;
        progress.bytes_read += *got;
        progress.bytes_done += *got;
    }
    if (r.read != size) return false;
    pipe.finish(stream);
    return true;
}

// More files than this in one sample group are hashed one at a time instead of side by side, so that a
// huge group of equal samples cannot run out of file handles.
constexpr std::size_t SIDE_BY_SIDE = 64;

// The content digests of files of one size whose samples agree. They are read side by side in chunks:
// while a file matches the leading one byte for byte it shares the leading file's hash, so a set of
// copies costs one SHA-256 and a comparison per copy. A file that differs takes a copy of the hash
// state and goes on alone. The digests are exactly those of hashing each file whole.
void content_digests(const std::vector<const CandidateEntry*>& alike, Shared& shared, ReaderState& state,
                     std::vector<PendingFile>& out) {
    CompareProgress& progress = shared.progress;
    HashPipeline& pipe = state.pipe;
    const std::uint64_t size = alike.front()->size;
    const auto fail = [&](const Reader& r) {
        ++shared.failed;
        ++progress.files_done;
        progress.bytes_done += size - std::min(r.read, size);
    };
    const auto alone = [&](Reader& r, HashStream& stream) {
        if (hash_rest(r, stream, pipe, progress)) {
            out.push_back(PendingFile{r.entry, &stream});
            ++progress.files_done;
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
            alone(r, state.streams.emplace_back());
        } else {
            readers.push_back(std::move(r));
        }
    }

    std::vector<Reader*> together;
    for (Reader& r : readers)
        together.push_back(&r);
    HashStream& shared_stream = state.streams.emplace_back();
    for (std::uint64_t offset = 0; together.size() > 1 && offset < size;) {
        if (progress.cancel) break;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(pipe.buffer_size(), size - offset));
        Reader& lead = *together.front();
        unsigned char* lead_chunk = pipe.take();
        const std::optional<std::size_t> got = read_full(lead.file, lead_chunk, want);
        if (got != want) {
            // The leading file failed: the others go on alone from what they shared so far.
            pipe.give_back(lead_chunk);
            fail(lead);
            for (std::size_t i = 1; i < together.size(); ++i) {
                HashStream& stream = state.streams.emplace_back();
                pipe.fork(shared_stream, stream);
                alone(*together[i], stream);
            }
            together.clear();
            break;
        }
        lead.read += want;
        progress.bytes_read += want;
        progress.bytes_done += want;
        // Holds the lead chunk while it reads the others: a reader never holds more than two buffers.
        std::erase_if(together, [&](Reader* r) {
            if (r == &lead) return false;
            unsigned char* chunk = pipe.take();
            const std::optional<std::size_t> other = read_full(r->file, chunk, want);
            if (other != want) {
                pipe.give_back(chunk);
                fail(*r);
                return true;
            }
            r->read += want;
            progress.bytes_read += want;
            progress.bytes_done += want;
            if (std::memcmp(lead_chunk, chunk, want) == 0) {
                pipe.give_back(chunk);
                return false;
            }
            HashStream& stream = state.streams.emplace_back();
            pipe.fork(shared_stream, stream);
            pipe.update(stream, chunk, want);
            alone(*r, stream);
            return true;
        });
        pipe.update(shared_stream, lead_chunk, want);
        offset += want;
    }
    if (progress.cancel) {
        for (Reader* r : together)
            fail(*r);
        return;
    }
    if (together.size() == 1) {  // the others all went their own way (or failed)
        alone(*together.front(), shared_stream);
        return;
    }
    if (together.empty()) return;
    // Everyone left read exactly the size in the tree; a file that is longer now has changed.
    pipe.finish(shared_stream);
    for (Reader* r : together) {
        unsigned char probe = 0;
        if (read_some(r->file, &probe, 1) == std::size_t{0}) {
            out.push_back(PendingFile{r->entry, &shared_stream});
            ++progress.files_done;
        } else {
            fail(*r);
        }
    }
}

// One size group: identity, then samples, then whole contents where samples agree. What the samples
// leave to compare goes to state.pending.
void compare_group(const CandidateEntry* begin, const CandidateEntry* end, Shared& shared,
                   ReaderState& state) {
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

    // The samples are read one after the other and hashed meanwhile; then they are waited for.
    std::vector<std::pair<const CandidateEntry*, const HashStream*>> sampled;
    for (const CandidateEntry* entry : distinct) {
        if (progress.cancel) return;
        HashStream& stream = state.streams.emplace_back();
        if (hash_sample(*entry, stream, state.pipe)) {
            sampled.emplace_back(entry, &stream);
        } else {
            fail();
        }
    }
    Hashed samples;
    for (const auto& [entry, stream] : sampled) {
        state.pipe.wait(*stream);
        if (stream->digest) {
            samples.emplace_back(*stream->digest, entry);
        } else {
            fail();
        }
    }
    for (const SameDigest& alike : by_digest(std::move(samples))) {
        if (alike.entries.size() == 1) {
            settle(1);
            continue;
        }
        PendingGroup group{size, {}};
        if (size <= WHOLE_FILE_SAMPLE) {
            for (const CandidateEntry* entry : alike.entries)
                group.files.push_back(PendingFile{entry, nullptr, alike.digest});  // the sample was the file
            settle(alike.entries.size());
        } else {
            content_digests(alike.entries, shared, state, group.files);
        }
        state.pending.push_back(std::move(group));
    }
}

// Makes the sets of groups whose streams are all finished.
void settle_groups(std::vector<PendingGroup>& pending, Shared& shared) {
    for (const PendingGroup& group : pending) {
        Hashed contents;
        for (const PendingFile& file : group.files) {
            const std::optional<Digest> digest = file.stream ? file.stream->digest : file.digest;
            if (digest) {
                contents.emplace_back(*digest, file.entry);
            } else {
                ++shared.failed;  // the platform's hash failed
            }
        }
        for (const SameDigest& same : by_digest(std::move(contents))) {
            if (same.entries.size() < 2) continue;
            DuplicateSet set{{}, group.size, same.digest, 0};
            std::vector<std::uint64_t> on_disk;
            for (const CandidateEntry* entry : same.entries) {
                set.members.push_back(entry->node);
                on_disk.push_back(entry->on_disk.value_or(group.size));
            }
            set.wasted = freed_keeping_one(on_disk);
            std::lock_guard hold(shared.lock);
            shared.sets.push_back(std::move(set));
        }
    }
    pending.clear();
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

unsigned duplicate_hashers(std::optional<bool> seek_penalty, unsigned processors) {
    return seek_penalty.value_or(false) ? std::max(processors, 1u) : 0;
}

DuplicateThreads duplicate_threads(std::optional<bool> seek_penalty, bool all_cached, unsigned processors,
                                   std::size_t groups) {
    if (all_cached && seek_penalty == true) seek_penalty = false;
    return {duplicate_workers(seek_penalty, processors, groups), duplicate_hashers(seek_penalty, processors)};
}

void run_duplicate_job(std::vector<CandidateEntry> entries, const std::string& root_path,
                       std::uint64_t generation, CompareProgress& progress, OutcomeList& outcomes,
                       const std::function<void()>& wake, unsigned workers, unsigned hashers) {
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
    const auto group = [&](std::size_t g, ReaderState& state) {
        compare_group(grouped.data() + groups[g].first, grouped.data() + groups[g].second, shared, state);
    };
    if (!groups.empty() && workers == 0) {
        const std::optional<bool> penalty = seek_penalty(root_path);
        // Asked only where the answer changes the choice, and up to the first file not in memory.
        const bool cached =
            penalty == true && std::all_of(grouped.begin(), grouped.end(), [&](const auto& e) {
                return !progress.cancel && cached_in_memory(e.path, e.size);
            });
        const DuplicateThreads threads = duplicate_threads(penalty, cached, processor_count(), groups.size());
        workers = threads.workers;
        hashers = threads.hashers;
    }
    if (!groups.empty() && hashers > 0) {
        // One reader, files in order, hashers beside it.
        ReaderState state(hashers, PIPELINE_BUFFERS);
        for (std::size_t g = 0; g < groups.size() && !progress.cancel; ++g)
            group(g, state);
        if (progress.cancel) state.pipe.drop_queued();
        state.pipe.wait_all();
        if (!progress.cancel) settle_groups(state.pending, shared);
    } else if (!groups.empty()) {
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> threads;
        for (unsigned i = 0; i < workers; ++i) {
            threads.emplace_back([&] {
                ReaderState state(0, 2);  // hashes on this thread
                for (std::size_t g = next++; g < groups.size() && !progress.cancel; g = next++) {
                    group(g, state);
                    settle_groups(state.pending, shared);
                    state.streams.clear();
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
