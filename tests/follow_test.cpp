#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "follow/follow.h"

namespace spadrim {
namespace {

using std::chrono::milliseconds;

std::string joined(const std::vector<std::string>& folders) {
    std::string text;
    for (const std::string& folder : folders)
        text += (text.empty() ? "[" : ",[") + folder + "]";
    return text;
}

TEST(Follow, ChangesMarkFoldersListedAtMostOnceASecondAndLostOnesWalkTheRoot) {
    using K = DiskChangeKind;
    const struct {
        int at;  // milliseconds
        std::vector<DiskChange> changes;
        bool lost;
        bool whole_root;
        std::string folders;
        int next;  // milliseconds; -1: nothing left marked
    } STEPS[] = {
        {0,
         {{K::Added, "a\\x"},
          {K::Modified, "a\\y"},
          {K::Removed, "b\\c\\d"},
          {K::RenamedFrom, "top.txt"},
          {K::RenamedTo, "top2.txt"}},
         false,
         false,
         "[],[a],[b\\c]",
         -1},
        {100, {{K::Added, "a\\z"}}, false, false, "", 1000},  // a was listed at 0
        {500, {{K::Modified, "e\\f"}, {K::Added, "a\\w"}}, false, false, "[e]", 1000},
        {1000, {}, false, false, "[a]", -1},
        {1200, {{K::Added, "g\\h"}}, true, true, "", -1},  // the root's walk covers g
        {1300, {{K::Added, "a\\q"}}, true, false, "", 2200},
        {2200, {}, false, true, "", -1},
        {2300, {}, false, false, "", -1},
    };
    Following following;
    const FollowClock::time_point start{};
    for (const auto& step : STEPS) {
        const FollowClock::time_point now = start + milliseconds(step.at);
        note_changes(following, step.changes, now);
        if (step.lost) note_lost(following);
        const Relist relist = take_due(following, now);
        EXPECT_EQ(relist.whole_root, step.whole_root) << step.at;
        EXPECT_EQ(joined(relist.folders), step.folders) << step.at;
        EXPECT_EQ(relist.next ? static_cast<int>((*relist.next - start) / milliseconds(1)) : -1, step.next)
            << step.at;
    }

    // A burst over many folders goes out in batches, the rest asked for at once.
    std::vector<DiskChange> burst;
    for (int i = 0; i < 300; ++i)
        burst.push_back({K::Added, "many\\" + std::to_string(i) + "\\file"});
    const FollowClock::time_point later = start + milliseconds(5000);
    note_changes(following, burst, later);
    const Relist first = take_due(following, later);
    EXPECT_EQ(first.folders.size(), RELIST_BATCH);
    EXPECT_EQ(first.next, later);
    const Relist second = take_due(following, later);
    EXPECT_EQ(first.folders.size() + second.folders.size(), 300u);
    EXPECT_FALSE(second.next);
    EXPECT_LE(following.listed.size(), 300u);

    const struct {
        std::string_view path;
        char separator;
        std::string_view holder;
    } HOLDERS[] = {{"a\\b\\c", '\\', "a\\b"}, {"top", '\\', ""}, {"a/b/", '/', "a"}, {"", '/', ""}};
    for (const auto& h : HOLDERS)
        EXPECT_EQ(holder_of(h.path, h.separator), h.holder) << h.path;
}

}  // namespace
}  // namespace spadrim
