// The duplicate finder's job and its workers. See dupes.h.
#include "dupes/dupes.h"

#include <algorithm>
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

// The whole content's digest, or nothing when the file cannot be read, is not exactly its size in the
// tree any more, or the job is cancelled. Counts what it reads into the progress.
std::optional<Digest> content_digest(const CandidateEntry& entry, std::vector<unsigned char>& buffer,
                                     CompareProgress& progress) {
    std::uint64_t total = 0;
    const auto give_up = [&] {
        progress.bytes_done += entry.size - std::min(total, entry.size);
        return std::nullopt;
    };
    const InputFile file = open_input(entry.path, true);
    if (!file.is_open()) return give_up();
    Sha256 hash;
    for (;;) {
        if (progress.cancel) return give_up();
        const std::optional<std::size_t> got = read_some(file, buffer.data(), buffer.size());
        if (!got) return give_up();
        if (*got == 0) break;
        // A file that grew is already known to have changed; no need to read the rest of it.
        if (total + *got > entry.size) return give_up();
        hash.update(buffer.data(), *got);
        total += *got;
        progress.bytes_read += *got;
        progress.bytes_done += *got;
    }
    if (total != entry.size) return give_up();
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

// One size group: identity, then samples, then whole contents where samples agree.
void compare_group(const CandidateEntry* begin, const CandidateEntry* end, Shared& shared,
                   std::vector<unsigned char>& buffer) {
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
        } else if (std::find(seen.begin(), seen.end(), *id) != seen.end()) {
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
        if (const std::optional<Digest> digest = sample_digest(*entry, buffer)) {
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
        for (const CandidateEntry* entry : alike.entries) {
            if (size <= WHOLE_FILE_SAMPLE) {
                contents.emplace_back(alike.digest, entry);  // the sample was the whole file
            } else if (const std::optional<Digest> digest = content_digest(*entry, buffer, progress)) {
                contents.emplace_back(*digest, entry);
            } else {
                ++shared.failed;
                ++progress.files_done;  // its bytes were settled while reading
            }
        }
        for (const SameDigest& same : by_digest(std::move(contents))) {
            progress.files_done += same.entries.size();
            if (size <= WHOLE_FILE_SAMPLE) progress.bytes_done += same.entries.size() * size;
            if (same.entries.size() < 2) continue;
            DuplicateSet set{{}, size, same.digest};
            for (const CandidateEntry* entry : same.entries)
                set.members.push_back(entry->node);
            std::lock_guard hold(shared.lock);
            shared.sets.push_back(std::move(set));
        }
    }
}

}  // namespace

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
                std::vector<unsigned char> buffer(READ_CHUNK);
                for (std::size_t g = next++; g < groups.size() && !progress.cancel; g = next++) {
                    compare_group(grouped.data() + groups[g].first, grouped.data() + groups[g].second, shared,
                                  buffer);
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
