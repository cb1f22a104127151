#include <gtest/gtest.h>

#include "app/export.h"
#include "app/texts.h"
#include "scan/folder.h"
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

// Many items to the Recycle Bin: one question naming the count, the total and what is left out, and one
// notice counting what moved, what was deleted for good, what failed and why, and what a cancel left.
TEST(RecycleMany, QuestionAndNoticeCountWhatHappened) {
    using F = MoveFailure;
    const struct {
        int result;
        bool was_there;
        F failure;
    } FAILURES[] = {{32, true, F::InUse},        {33, true, F::InUse},     {5, true, F::NotAllowed},
                    {0x78, true, F::NotAllowed}, {0x7C, true, F::Missing}, {0, false, F::Missing},
                    {5, false, F::Missing},      {0x402, true, F::Other},  {0, true, F::Other}};
    for (const auto& c : FAILURES)
        EXPECT_EQ(move_failure(c.result, c.was_there), c.failure) << c.result << " " << c.was_there;

    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i)
        twelve.push_back("C:\\Users\\u" + std::to_string(i));
    const std::string rely = "Left out, as Windows, programs or your user account rely on them:";
    const struct {
        std::uint64_t count;
        std::uint64_t bytes;
        std::vector<std::string> left_out;
        std::string question;
    } QUESTIONS[] = {
        {1, 2048, {}, "Move 1 item (2.00 KB) to the Recycle Bin?"},
        {1234, 3'000'000'000, {}, "Move 1,234 items (2.79 GB) to the Recycle Bin?"},
        {2, 10, {"C:\\Windows"}, rely + "\nC:\\Windows\n\nMove 2 items (10 B) to the Recycle Bin?"},
        {2, 10, twelve,
         rely + "\nC:\\Users\\u0\nC:\\Users\\u1\nC:\\Users\\u2\nC:\\Users\\u3\nC:\\Users\\u4\nC:\\Users\\u5"
                "\nC:\\Users\\u6\nC:\\Users\\u7\nC:\\Users\\u8\nC:\\Users\\u9\nand 2 more\n\n"
                "Move 2 items (10 B) to the Recycle Bin?"},
        {0,
         0,
         {"C:\\Windows", "C:\\"},
         "Windows, programs or your user account rely on these, so Spadrim will not delete them:"
         "\nC:\\Windows\nC:\\"},
    };
    for (const auto& c : QUESTIONS)
        EXPECT_EQ(recycle_many_question(c.count, c.bytes, c.left_out), c.question);

    const struct {
        RecycleTally tally;
        std::string notice;
    } NOTICES[] = {
        {{12, 3'000'000, 0, 0, {2, 0, 0, 0}, 0},
         "Moved 12 items to the Recycle Bin. Emptying it frees 2.86 MB. 2 could not be moved: 2 in use."},
        {{1, 1024, 1, 2048, {}, 0},
         "Moved 1 item to the Recycle Bin. Emptying it frees 1.00 KB. Deleted for good, as the Recycle Bin "
         "could not take them: 1 item, 2.00 KB freed."},
        {{0, 0, 0, 0, {1, 2, 3, 4}, 0},
         "10 could not be moved: 1 in use, 2 not allowed, 3 no longer there, 4 for another reason."},
        {{3, 30, 0, 0, {}, 5},
         "Moved 3 items to the Recycle Bin. Emptying it frees 30 B. Cancelled: 5 left in place."},
        {{}, ""},
    };
    for (const auto& c : NOTICES)
        EXPECT_EQ(recycle_many_notice(c.tally), c.notice);
    EXPECT_EQ(paths_copied_text(1), "Path copied");
    EXPECT_EQ(paths_copied_text(3), "Copied 3 paths");
}

// The CSV of each tab: a BOM, CRLF lines, a header, fields quoted as RFC 4180 has them, a formula guard,
// names outside ASCII as they are, and times empty when unknown.
TEST(ExportList, EachTabAsCsv) {
    const struct {
        std::string_view text;
        std::string_view field;
    } FIELDS[] = {{"plain", "plain"},
                  {"a,b", "\"a,b\""},
                  {"say \"hi\"", "\"say \"\"hi\"\"\""},
                  {"two\r\nlines", "\"two\r\nlines\""},
                  {"=1+2", "'=1+2"},
                  {"+x", "'+x"},
                  {"-x", "'-x"},
                  {"@x", "'@x"},
                  {"=a,b", "\"'=a,b\""},
                  {"C:\\a-=b", "C:\\a-=b"},
                  {"", ""},
                  {"사진 ünï", "사진 ünï"}};
    for (const auto& c : FIELDS)
        EXPECT_EQ(csv_field(c.text), c.field) << c.text;

    App app;
    EXPECT_EQ(export_csv(app), "");
    app.tree = make_tree("/r");
    FileTree& tree = *app.tree;
    append_listing(tree, 0,
                   std::vector<ListedEntry>{{"사진, \"여름\".jpg", 3000, 0, 0, false, 0, 1'700'000'000},
                                            {"sub", 0, FLAG_DIR, 0},
                                            {"=cmd.txt", 10, 0, 7, false, 0, 0}});
    append_listing(tree, 2, std::vector<ListedEntry>{{"a.jpg", 3000, 0, 0, false, 0, 1'600'000'000}});
    roll_up(tree);
    app.screen = Screen::Results;
    const std::string BOM = "\xEF\xBB\xBF";
    const std::string r = "/r" + std::string(1, PATH_SEPARATOR);
    const std::string photo = "\"" + r + "사진, \"\"여름\"\".jpg\",3000,2.93 KB,2023-11-14T22:13:20Z";
    const std::string a_jpg = r + "sub" + PATH_SEPARATOR + "a.jpg,3000,2.93 KB,2020-09-13T12:26:40Z";
    app.tab = Tab::Folders;
    refresh_view(app);
    EXPECT_EQ(export_csv(app), BOM + "path,bytes,size,modified,kind\r\n" + r +
                                   "sub,3000,2.93 KB,2020-09-13T12:26:40Z,Folder\r\n" + photo +
                                   ",Pictures\r\n" + r + "=cmd.txt,10,10 B,,Other\r\n");
    app.tab = Tab::ByType;
    refresh_view(app);
    EXPECT_EQ(export_csv(app), BOM +
                                   "extension,kind,files,bytes,size\r\njpg,Pictures,2,6000,5.86 KB\r\n"
                                   "txt,Other,1,10,10 B\r\n");
    app.tab = Tab::Duplicates;
    DuplicateSet set{{1, 4}, 3000, Digest{}, 3000};
    set.digest[0] = 0xAB;
    app.duplicates[0] = DuplicatesFound{{set}, 0};
    refresh_view(app);  // the set collapsed: its copies are written all the same
    const std::string digest = "1,ab" + std::string(62, '0') + ",";
    EXPECT_EQ(export_csv(app), BOM + "set,digest,path,bytes,size,modified\r\n" + digest + photo + "\r\n" +
                                   digest + a_jpg + "\r\n");
    EXPECT_EQ(export_file_name(Tab::LargestFiles), "Spadrim - Largest files.csv");
}

}  // namespace
}  // namespace spadrim
