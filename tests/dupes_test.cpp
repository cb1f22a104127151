// The duplicate finder's job on real files (read through the platform's file calls).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

#include "dupes/dupes.h"
#include "dupes/file_io.h"
#include "scan/folder.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

constexpr std::uint64_t MB = 1000 * 1000;

// Writes size bytes of a fixed pseudo-random pattern, with byte `at` changed to `value` when asked. A
// pattern that repeated every read chunk would hide a hash fed the wrong chunk.
std::string write_file(const test::TempTree& disk, const std::string& name, std::uint64_t size,
                       std::optional<std::uint64_t> at = std::nullopt, char value = 0) {
    std::string content(size, '\0');
    std::uint32_t x = 12345;
    for (std::uint64_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        content[i] = static_cast<char>(x >> 16);
    }
    if (at) content[*at] = value;
    const std::filesystem::path path = disk.root() / test::fs_path(name);
    std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(size));
    return test::utf8_of(path);
}

struct JobResult {
    DuplicateOutcome outcome;
    std::uint64_t bytes_read = 0;
    bool progress_complete = false;
};

// Workers that read and hash, or (hashers above 0) one reader that feeds hashers.
struct Threads {
    unsigned workers;
    unsigned hashers;
};

JobResult compare(std::vector<CandidateEntry> entries, bool cancelled = false, Threads threads = {2, 0}) {
    CompareProgress progress;
    progress.cancel = cancelled;
    OutcomeList outcomes;
    int wakes = 0;
    run_duplicate_job(
        std::move(entries), "", 7, progress, outcomes, [&] { ++wakes; }, threads.workers, threads.hashers);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(outcomes.outcomes.size(), 1u);
    JobResult run{std::move(outcomes.outcomes.front()), progress.bytes_read.load(), false};
    run.progress_complete =
        progress.files_done == progress.total_files && progress.bytes_done == progress.total_bytes;
    EXPECT_EQ(run.outcome.generation, 7u);
    return run;
}

TEST(Duplicates, AFileDifferingOnlyInItsMiddleIsSeparatedByTheFullDigest) {
    test::TempTree disk;
    std::vector<CandidateEntry> entries;
    for (NodeIndex i = 1; i <= 3; ++i)
        entries.push_back({write_file(disk, "copy" + std::to_string(i), 5 * MB), 5 * MB, i});
    entries.push_back({write_file(disk, "middle", 5 * MB, 5 * MB / 2, 'X'), 5 * MB, 4});
    const JobResult run = compare(entries);
    ASSERT_TRUE(run.outcome.sets);
    ASSERT_EQ(run.outcome.sets->size(), 1u);
    const DuplicateSet& set = run.outcome.sets->front();
    EXPECT_EQ(set.members, (std::vector<NodeIndex>{1, 2, 3}));  // ordered by path
    EXPECT_EQ(wasted_bytes(set), 10 * MB);
    EXPECT_EQ(run.bytes_read, 4 * 5 * MB);  // all four agreed on the sample
    EXPECT_EQ(run.outcome.failed, 0u);
    EXPECT_TRUE(run.progress_complete);
}

TEST(Duplicates, TwoPairsWithOneSampleGetTheirOwnDigests) {
    // Read side by side, the second pair leaves the first one's hash in the middle and must still end up
    // with the digest of its own whole content.
    test::TempTree disk;
    const std::uint64_t size = 3 * MB;
    std::vector<CandidateEntry> entries;
    for (NodeIndex i = 1; i <= 4; ++i) {
        entries.push_back(
            {write_file(disk, "f" + std::to_string(i), size, 2 * MB, i <= 2 ? 'X' : 'Y'), size, i});
    }
    const JobResult run = compare(entries);
    ASSERT_TRUE(run.outcome.sets);
    ASSERT_EQ(run.outcome.sets->size(), 2u);
    for (const DuplicateSet& set : *run.outcome.sets) {
        std::ifstream in(entries[set.members[0] - 1].path, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Sha256 whole;
        whole.update(content.data(), content.size());
        EXPECT_EQ(set.digest, *whole.finish());
        EXPECT_EQ(set.members.size(), 2u);
    }
    EXPECT_NE(run.outcome.sets->at(0).digest, run.outcome.sets->at(1).digest);
    EXPECT_TRUE(run.progress_complete);
}

TEST(Duplicates, FilesDifferingInTheirFirstByteAreNeverReadWhole) {
    test::TempTree disk;
    const JobResult run = compare(
        {{write_file(disk, "a", 2 * MB), 2 * MB, 1}, {write_file(disk, "b", 2 * MB, 0, 'X'), 2 * MB, 2}});
    ASSERT_TRUE(run.outcome.sets);
    EXPECT_TRUE(run.outcome.sets->empty());
    EXPECT_EQ(run.bytes_read, 0u);
    EXPECT_TRUE(run.progress_complete);
}

TEST(Duplicates, AHardLinkIsNotACopy) {
    test::TempTree disk;
    const std::string original = write_file(disk, "original", 3 * MB);
    std::error_code error;
    std::filesystem::create_hard_link(test::fs_path(original), disk.root() / "link", error);
    if (error) GTEST_SKIP() << "no hard links here: " << error.message();
    const std::string link = test::utf8_of(disk.root() / "link");
    const JobResult run = compare({{original, 3 * MB, 1}, {link, 3 * MB, 2}});
    ASSERT_TRUE(run.outcome.sets);
    EXPECT_TRUE(run.outcome.sets->empty());
    EXPECT_EQ(run.outcome.failed, 0u);
    EXPECT_EQ(run.bytes_read, 0u);
    // With a real copy beside them, the set holds the copy and one name of the linked file.
    const JobResult three =
        compare({{original, 3 * MB, 1}, {link, 3 * MB, 2}, {write_file(disk, "copy", 3 * MB), 3 * MB, 3}});
    ASSERT_EQ(three.outcome.sets->size(), 1u);
    EXPECT_EQ(three.outcome.sets->front().members.size(), 2u);
}

TEST(Duplicates, PathsAreOneFileOnlyByANonZeroIdOfALinkedFile) {
    struct Case {
        FileId a, b;
        bool same;
    };
    const Case cases[] = {
        {{1, 0, 42, 2}, {1, 0, 42, 2}, true},   // two names of one file
        {{1, 7, 42, 3}, {1, 7, 42, 3}, true},   // a 128-bit id
        {{1, 0, 0, 2}, {1, 0, 0, 2}, false},    // a file system that reports no id
        {{1, 0, 42, 1}, {1, 0, 42, 1}, false},  // one name each: the id cannot be trusted to tell
        {{1, 0, 42, 2}, {1, 0, 42, 1}, false},  // the link count changed between the two opens
        {{1, 7, 42, 2}, {1, 8, 42, 2}, false},  // 64-bit halves agree, the 128-bit ids do not (ReFS)
        {{1, 0, 42, 2}, {2, 0, 42, 2}, false},  // another volume
        {{1, 0, 42, 2}, {1, 0, 43, 2}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(same_file(c.a, c.b), c.same) << c.a.high << ":" << c.a.low << " links " << c.a.links;
        EXPECT_EQ(same_file(c.b, c.a), c.same);
    }
}

TEST(Duplicates, ChangedAndMissingFilesCountAsNotOpened) {
    test::TempTree disk;
    const std::string a = write_file(disk, "a", 2 * MB);
    const std::string b = write_file(disk, "b", 2 * MB);
    const std::string grown = write_file(disk, "grown", 2 * MB + 1);  // the tree still says 2 MB
    const std::string c = write_file(disk, "c", 2 * MB);
    const JobResult run =
        compare({{a, 2 * MB, 1}, {b, 2 * MB, 2}, {grown, 2 * MB, 3}, {c + ".gone", 2 * MB, 4}});
    ASSERT_TRUE(run.outcome.sets);
    ASSERT_EQ(run.outcome.sets->size(), 1u);
    EXPECT_EQ(run.outcome.sets->front().members, (std::vector<NodeIndex>{1, 2}));
    EXPECT_EQ(run.outcome.failed, 2u);
    EXPECT_TRUE(run.progress_complete);
}

TEST(Duplicates, WastedIsWhatDeletingTheExtraCopiesFrees) {
    // Two sparse copies take 2 MB each and a full one 5 MB: keeping any one frees at least 4 MB.
    test::TempTree disk;
    std::vector<CandidateEntry> entries;
    for (NodeIndex i = 1; i <= 3; ++i) {
        entries.push_back({write_file(disk, "c" + std::to_string(i), 5 * MB), 5 * MB, i,
                           i == 3 ? std::nullopt : std::optional<std::uint64_t>(2 * MB)});
    }
    const JobResult run = compare(entries);
    ASSERT_TRUE(run.outcome.sets);
    ASSERT_EQ(run.outcome.sets->size(), 1u);
    EXPECT_EQ(run.outcome.sets->front().size, 5 * MB);
    EXPECT_EQ(wasted_bytes(run.outcome.sets->front()), 4 * MB);
    const std::uint64_t sizes[] = {7, 3, 7};
    EXPECT_EQ(freed_keeping_one(sizes), 10u);
    EXPECT_EQ(freed_keeping_one({}), 0u);
}

TEST(Duplicates, CancelledJobStillReportsWithoutSets) {
    test::TempTree disk;
    const JobResult run = compare(
        {{write_file(disk, "a", 2 * MB), 2 * MB, 1}, {write_file(disk, "b", 2 * MB), 2 * MB, 2}}, true);
    EXPECT_FALSE(run.outcome.sets);
}

std::string content_of(const std::string& path) {
    std::ifstream in(test::fs_path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Duplicates, EveryThreadingFindsTheSameSets) {
    // Groups that take each way through the comparison, compared by plain workers and by one reader
    // feeding hashers: every way must give the same sets, digests of the whole content and failures.
    test::TempTree disk;
    std::vector<CandidateEntry> entries;
    NodeIndex next = 1;
    const auto add = [&](const std::string& name, std::uint64_t size, std::optional<std::uint64_t> at = {},
                         char value = 0, std::uint64_t written = 0) {
        entries.push_back({write_file(disk, name, written ? written : size, at, value), size, next});
        return next++;
    };
    std::vector<std::vector<NodeIndex>> expected;
    // Copies read side by side, beside one that differs in its middle only.
    expected.push_back({add("a1", 3 * MB), add("a2", 3 * MB), add("a3", 3 * MB)});
    add("a4", 3 * MB, 3 * MB / 2, 'X');
    // Two pairs that part after the first chunk: the second pair forks the shared hash.
    expected.push_back({add("b1", 2500000, 2 * MB, 'X'), add("b2", 2500000, 2 * MB, 'X')});
    expected.push_back({add("b3", 2500000, 2 * MB, 'Y'), add("b4", 2500000, 2 * MB, 'Y')});
    // A copy and a file with two names: one set of two, one name of the linked file.
    const NodeIndex copy = add("c1", 2 * MB);
    const NodeIndex original = add("c3", 2 * MB);
    std::error_code error;
    std::filesystem::create_hard_link(test::fs_path(entries.back().path), disk.root() / "c2", error);
    if (!error) {
        entries.push_back({test::utf8_of(disk.root() / "c2"), 2 * MB, next});
        expected.push_back({copy, next++});  // c2 comes before c3 by path
    } else {
        expected.push_back({copy, original});
    }
    // Changed since the scan: longer (seen at its end), shorter (seen by its sample), gone.
    expected.push_back({add("d1", 1500000), add("d2", 1500000)});
    add("d3", 1500000, {}, 0, 1500001);
    add("d4", 1500000, {}, 0, 1499990);
    entries.push_back({test::utf8_of(disk.root() / "d5-gone"), 1500000, next++});
    // Small enough for the sample to be the whole file.
    expected.push_back({add("e1", 100000), add("e2", 100000)});
    // More files of equal samples than are read side by side: each is hashed alone.
    std::vector<NodeIndex> plain, changed;
    for (int i = 0; i < 66; ++i) {
        const std::string name = "f" + std::to_string(100 + i);
        (i % 2 ? changed : plain).push_back(i % 2 ? add(name, 140000, 70000, 'Z') : add(name, 140000));
    }
    expected.push_back(plain);
    expected.push_back(changed);
    add("g1", 4 * MB);  // alone in its size

    const Threads threadings[] = {{1, 0}, {2, 0}, {1, 1}, {1, 2}, {1, 3}};
    std::optional<std::vector<DuplicateSet>> first;
    for (const Threads& threads : threadings) {
        SCOPED_TRACE(testing::Message() << threads.workers << " workers, " << threads.hashers << " hashers");
        const JobResult run = compare(entries, false, threads);
        ASSERT_TRUE(run.outcome.sets);
        EXPECT_EQ(run.outcome.failed, 3u);
        EXPECT_TRUE(run.progress_complete);
        const std::vector<DuplicateSet>& sets = *run.outcome.sets;
        std::vector<std::vector<NodeIndex>> found;
        for (const DuplicateSet& set : sets) {
            found.push_back(set.members);
            if (first) continue;  // the others are compared with the first below
            Sha256 whole;
            const std::string content = content_of(entries[set.members[0] - 1].path);
            whole.update(content.data(), content.size());
            EXPECT_EQ(set.digest, *whole.finish());
        }
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
        if (!first) first = sets;
        ASSERT_EQ(sets.size(), first->size());
        for (std::size_t i = 0; i < sets.size(); ++i) {  // the same order too
            EXPECT_EQ(sets[i].members, (*first)[i].members);
            EXPECT_EQ(sets[i].digest, (*first)[i].digest);
            EXPECT_EQ(sets[i].wasted, (*first)[i].wasted);
        }
    }
}

#ifndef _WIN32
TEST(Duplicates, CancelledMidwayEndsWithoutSets) {
    // The second group starts with a pipe, whose opening waits for a writer: the job is held there, or
    // before it, after the first group was read, until the cancel is set, so it falls midway every time.
    test::TempTree disk;
    std::vector<CandidateEntry> entries;
    for (NodeIndex i = 1; i <= 3; ++i)
        entries.push_back({write_file(disk, "a" + std::to_string(i), 3 * MB), 3 * MB, i});
    const std::string pipe = test::utf8_of(disk.root() / "b-pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    entries.push_back({pipe, 2 * MB, 4});
    entries.push_back({write_file(disk, "b2", 2 * MB), 2 * MB, 5});

    for (const Threads threads : {Threads{1, 0}, Threads{1, 2}}) {
        SCOPED_TRACE(testing::Message() << threads.workers << " workers, " << threads.hashers << " hashers");
        CompareProgress progress;
        OutcomeList outcomes;
        int wakes = 0;
        std::atomic<bool> done{false};
        std::jthread job([&] {
            run_duplicate_job(
                entries, "", 3, progress, outcomes, [&] { ++wakes; }, threads.workers, threads.hashers);
            done = true;
        });
        while (progress.files_done < 3 && !done)
            std::this_thread::yield();
        progress.cancel = true;
        // The job may have seen the cancel before the pipe; if not, it waits in its opening.
        int writer = -1;
        while (writer < 0 && !done) {
            writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (writer >= 0) close(writer);
        job.join();
        EXPECT_EQ(wakes, 1);
        ASSERT_EQ(outcomes.outcomes.size(), 1u);
        EXPECT_FALSE(outcomes.outcomes.front().sets);
        EXPECT_EQ(outcomes.outcomes.front().generation, 3u);
    }
}
#endif

TEST(Duplicates, OrderOfSetsPathsAndWorkers) {
    std::vector<DuplicateSet> sets = {{{1, 2}, 10, Digest{2}, 10},
                                      {{3, 4, 5}, 10, Digest{}, 20},
                                      {{6, 7}, 20, Digest{}, 20},
                                      {{8, 9}, 10, Digest{1}, 10}};
    sort_sets(sets);  // wasted 20, 20, 10, 10: then size, then digest
    EXPECT_EQ(sets[0].size, 20u);
    EXPECT_EQ(sets[1].members.size(), 3u);
    EXPECT_EQ(sets[2].digest, Digest{1});
    EXPECT_EQ(sets[3].digest, Digest{2});

    EXPECT_TRUE(path_less("C:\\a\\z", "C:\\a b\\a", '\\'));  // by component: "a" before "a b"
    EXPECT_TRUE(path_less("/x/a", "/x/a/b", '/'));
    EXPECT_FALSE(path_less("/x/a", "/x/a", '/'));
    EXPECT_FALSE(path_less("/x/b", "/x/a/b", '/'));

    EXPECT_EQ(duplicate_workers(true, 8, 10), 1u);  // rotating disk
    EXPECT_EQ(duplicate_workers(false, 2, 10), 2u);
    EXPECT_EQ(duplicate_workers(false, 3, 10), 3u);
    EXPECT_EQ(duplicate_workers(false, 16, 10), 4u);
    EXPECT_EQ(duplicate_workers(std::nullopt, 16, 10), 2u);  // unknown volume
    EXPECT_EQ(duplicate_workers(false, 16, 1), 1u);          // never more than the groups
    EXPECT_EQ(duplicate_workers(false, 16, 0), 1u);
    EXPECT_EQ(duplicate_hashers(true, 8), 8u);  // one reader, every processor hashing
    EXPECT_EQ(duplicate_hashers(true, 0), 1u);
    EXPECT_EQ(duplicate_hashers(false, 8), 0u);
    EXPECT_EQ(duplicate_hashers(std::nullopt, 8), 0u);

    struct Choice {
        std::optional<bool> seek_penalty;
        bool all_cached;
        unsigned processors;
        std::size_t groups;
        unsigned workers, hashers;
    };
    const Choice choices[] = {
        {true, false, 4, 10, 1, 4},         // a rotating disk to read from: one reader, hashers
        {true, true, 4, 10, 4, 0},          // all in memory: the workers of solid state
        {true, true, 4, 2, 2, 0},           // ... never more than the groups
        {false, true, 4, 10, 4, 0},         // solid state either way
        {std::nullopt, true, 4, 10, 2, 0},  // unknown volume: as before
        {std::nullopt, false, 4, 10, 2, 0},
    };
    for (const Choice& c : choices) {
        const DuplicateThreads threads =
            duplicate_threads(c.seek_penalty, c.all_cached, c.processors, c.groups);
        EXPECT_EQ(threads.workers, c.workers) << "choice " << &c - choices;
        EXPECT_EQ(threads.hashers, c.hashers) << "choice " << &c - choices;
    }
}

TEST(Duplicates, CachedInMemoryOnlyWhenEveryPageIsResident) {
    test::TempTree disk;
    const std::uint64_t size = 3 * MB + 5;  // ends in a partial page
    const std::string path = write_file(disk, "read", size);
    EXPECT_EQ(content_of(path).size(), size);
    EXPECT_FALSE(cached_in_memory(path + ".gone", size));
    EXPECT_FALSE(cached_in_memory(test::utf8_of(disk.root()), 4096));  // a folder
#ifdef _WIN32
    EXPECT_FALSE(cached_in_memory(path, size));  // Windows cannot tell: the disk's way stays
#else
    EXPECT_TRUE(cached_in_memory(path, size));  // just written and read
    struct statfs where {};
    ASSERT_EQ(statfs(path.c_str(), &where), 0);
    if (where.f_type == TMPFS_MAGIC) return;  // memory is where its files live: nothing to drop
    // Only the last, partial page is dropped (a clean page goes when asked): the whole file is no longer
    // in memory, what comes before it still is.
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t last = size / page * page;
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fdatasync(fd), 0);
    ASSERT_EQ(posix_fadvise(fd, static_cast<off_t>(last), 0, POSIX_FADV_DONTNEED), 0);
    close(fd);
    EXPECT_FALSE(cached_in_memory(path, size));
    EXPECT_TRUE(cached_in_memory(path, last));
#endif
}

}  // namespace
}  // namespace spadrim
