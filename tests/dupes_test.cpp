// The duplicate finder's job on real files (read through the platform's file calls).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

JobResult compare(std::vector<CandidateEntry> entries, bool cancelled = false) {
    CompareProgress progress;
    progress.cancel = cancelled;
    OutcomeList outcomes;
    int wakes = 0;
    run_duplicate_job(
        std::move(entries), "", 7, progress, outcomes, [&] { ++wakes; }, 2);
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
}

}  // namespace
}  // namespace spadrim
