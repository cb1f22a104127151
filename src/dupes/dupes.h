// The duplicate finder's job: files of 1 MiB or more that share their exact length are compared by a
// SHA-256 of a sample (first and last 64 KiB), then, where samples agree, of their whole content. Hard
// links to one file are recognised by file identity and never reported as copies of each other.
//
// Threading: the owner (UI thread) builds the candidates from the tree and starts a job thread with its
// own copy of them. On solid state (or a volume that cannot tell, or when every file to compare is in
// the page cache already) the job runs up to 4 workers that take size groups through an atomic index,
// each reading and hashing its own; on a rotating disk the job thread reads every group itself, one file
// after another, and hands the chunks to one hasher per processor (hash_pipeline.h). Either way a group's
// sets are made once its digests are in. Progress is shared through atomics; the outcome goes to a
// mutex-guarded list, then the owner is woken.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dupes/sha256.h"
#include "scan/tree.h"

namespace spadrim {

inline constexpr std::uint64_t DUPLICATE_THRESHOLD = 1 << 20;  // smaller files are not compared
inline constexpr std::uint64_t SAMPLE_PART = 64 * 1024;        // read from each end of a file
inline constexpr std::size_t READ_CHUNK = 1 << 20;

struct CandidateEntry {
    std::string path;    // real path
    std::uint64_t size;  // content length: what reading the file gives
    NodeIndex node;
    std::optional<std::uint64_t>
        on_disk{};  // the space it takes, when that is not its length (sparse, compressed)
};

struct CompareProgress {
    std::atomic<std::uint64_t> files_done{0};
    std::atomic<std::uint64_t> total_files{0};
    std::atomic<std::uint64_t> bytes_read{0};  // read while hashing whole files
    std::atomic<std::uint64_t> bytes_done{0};
    std::atomic<std::uint64_t> total_bytes{0};
    std::atomic<bool> cancel{false};
};

struct DuplicateSet {
    std::vector<NodeIndex> members;  // at least two, ordered by path
    std::uint64_t size = 0;          // content length of each member
    Digest digest{};
    std::uint64_t wasted = 0;  // what deleting all members but one frees (see freed_keeping_one)
};

inline std::uint64_t wasted_bytes(const DuplicateSet& set) {
    return set.wasted;
}

// The space freed by deleting all copies but one, given each copy's space on the disk: sparse or
// compressed copies of one content can take different amounts, so the largest is the one counted as
// kept and the figure holds whichever copy the user keeps.
std::uint64_t freed_keeping_one(std::span<const std::uint64_t> on_disk);

struct DuplicateOutcome {
    std::uint64_t generation = 0;
    std::optional<std::vector<DuplicateSet>> sets;  // nothing: the job was cancelled
    std::uint32_t failed = 0;                       // files that could not be opened or read
};

struct OutcomeList {
    std::mutex lock;
    std::vector<DuplicateOutcome> outcomes;
};

// Wasted bytes descending, then size descending, then digest ascending.
void sort_sets(std::vector<DuplicateSet>& sets);

// Paths compared component by component, so that "a\b" sorts before "a b\c" as folders come first.
bool path_less(std::string_view a, std::string_view b, char separator);

// 1 on a rotating disk, up to 4 (and the processor-based count) on solid state, 2 when unknown; never
// more than the number of groups, at least 1.
unsigned duplicate_workers(std::optional<bool> seek_penalty, unsigned processors, std::size_t groups);

// Threads that hash beside the single reader of a rotating disk, which then reads one file after another
// while every processor hashes; 0 (solid state, or unknown) where each worker hashes what it reads.
unsigned duplicate_hashers(std::optional<bool> seek_penalty, unsigned processors);

// How the job divides its work: workers threads that each read and hash groups of their own, or (hashers
// above 0) the job thread alone reading while that many threads hash.
struct DuplicateThreads {
    unsigned workers;
    unsigned hashers;
};

// A single reader spares a rotating disk its seeks; when every file to compare is in memory already
// (all_cached) nothing is read from the disk, so the workers are those of solid state, which read faster
// from the cache than one reader copying every byte alone.
DuplicateThreads duplicate_threads(std::optional<bool> seek_penalty, bool all_cached, unsigned processors,
                                   std::size_t groups);

// The job thread's body: compares, appends {generation, sets or nothing, failed} to outcomes and calls
// wake. workers 0 means: decide workers and hashers from the volume of root_path and whether the files are
// in memory (duplicate_threads). Otherwise, with
// hashers 0, workers threads each read and hash groups of their own; with hashers above 0, the job
// thread alone reads and that many threads hash (workers is then not used).
void run_duplicate_job(std::vector<CandidateEntry> entries, const std::string& root_path,
                       std::uint64_t generation, CompareProgress& progress, OutcomeList& outcomes,
                       const std::function<void()>& wake, unsigned workers = 0, unsigned hashers = 0);

}  // namespace spadrim
