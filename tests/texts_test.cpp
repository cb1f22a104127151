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

}  // namespace
}  // namespace spadrim
