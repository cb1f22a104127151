#include <gtest/gtest.h>

#include "app/texts.h"
#include "scan/tree.h"

namespace spadrim {
namespace {

TEST(ViewTexts, ShareOfAFolder) {
    EXPECT_EQ(share_text(50, 200), "25.0%");
    EXPECT_EQ(share_text(200, 200), "100.0%");
    EXPECT_EQ(share_text(0, 200), "0.0%");
    EXPECT_EQ(share_text(1, 100000), "<0.1%");  // a sliver is not shown as nothing
    EXPECT_EQ(share_text(1, 1000), "0.1%");
    EXPECT_EQ(share_text(0, 0), "");  // an empty folder has no shares
}

TEST(ViewTexts, BadgesAndCounts) {
    EXPECT_EQ(badge_text(FLAG_DIR | FLAG_LINK), "link");
    EXPECT_EQ(badge_text(FLAG_DIR | FLAG_UNREADABLE), "could not read");
    EXPECT_EQ(badge_text(FLAG_CLOUD_ONLY), "cloud only");
    EXPECT_EQ(badge_text(FLAG_DIR), "");
    EXPECT_EQ(progress_text(1536, 1234, 56), "1.50 KB  ·  1,234 files  ·  56 folders");
    EXPECT_EQ(unreadable_text(0), "");
    EXPECT_EQ(unreadable_text(3), "3 folders could not be read");
}

TEST(ViewTexts, ACountOfOneTakesTheSingular) {
    EXPECT_EQ(files_text(1), "1 file");
    EXPECT_EQ(files_text(0), "0 files");
    EXPECT_EQ(files_text(1001), "1,001 files");
    EXPECT_EQ(progress_text(1536, 1, 1), "1.50 KB  ·  1 file  ·  1 folder");
    EXPECT_EQ(progress_text(0, 1, 0), "0 B  ·  1 file  ·  0 folders");
    EXPECT_EQ(progress_text(0, 11, 1), "0 B  ·  11 files  ·  1 folder");
    EXPECT_EQ(unreadable_text(1), "1 folder could not be read");
    DuplicateSet pair{{4, 5}, 1024, {}, 1024};
    EXPECT_EQ(duplicate_set_text(pair), "2 copies · 1.00 KB each · 1.00 KB wasted");
}

// What the shell's move came to, from what was seen afterwards: its answers alone do not tell.
TEST(RecycleOutcomes, FromWhatWasSeen) {
    using O = RecycleOutcome;
    constexpr int CANCELLED = 1223;
    const std::optional<std::int64_t> none;
    const struct {
        RecycleObservation seen;
        O outcome;
    } CASES[] = {
        {{0, false, false, 3, 4}, O::Recycled},
        {{0, false, false, 0, 1}, O::Recycled},
        {{0, false, false, 3, 3}, O::DeletedForGood},     // the shell asked "permanently delete?": Yes
        {{0, false, false, none, 4}, O::DeletedForGood},  // a Bin that cannot be asked promises nothing
        {{0, false, false, 3, none}, O::DeletedForGood},
        {{0, true, false, 3, 4}, O::Recycled},  // gone all the same
        {{0, true, true, 3, 3}, O::Cancelled},  // No to that question
        {{CANCELLED, false, true, 3, 3}, O::Cancelled},
        {{0x75, false, true, none, none}, O::Cancelled},
        {{5, false, true, 3, 3}, O::Failed},  // access denied: another program holds it
        {{0, false, true, 3, 4}, O::Failed},  // something else went to the Bin; the item is still there
        {{0x7C, false, true, 3, 3}, O::Failed},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(recycle_outcome(c.seen), c.outcome)
            << c.seen.result << " " << c.seen.aborted << " " << c.seen.still_there;
    EXPECT_EQ(recycle_notice(O::Recycled, 1'100'000), "Moved to the Recycle Bin. Emptying it frees 1.05 MB.");
    EXPECT_EQ(recycle_notice(O::DeletedForGood, 1'100'000),
              "Deleted for good: it could not go to the Recycle Bin. 1.05 MB freed.");
    EXPECT_EQ(recycle_notice(O::Cancelled, 1'100'000), "");
    EXPECT_EQ(recycle_notice(O::Failed, 1'100'000),
              "Could not move it to the Recycle Bin. Another program may be using it.");
}

}  // namespace
}  // namespace spadrim
