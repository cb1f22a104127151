// Two scans of one place compared: what is new, what went, what grew and what shrank.
//
// Entries are matched by their real name within their matched folder: case-insensitively under a Windows
// root (names that differ only in case are one entry there), byte for byte under a POSIX one. The two
// roots are matched to each other whatever their paths (a copy, a drive that moved letter). A file and a
// folder of the same name are different entries, and so are the two ends of a rename or a move: the old
// one removed, the new one new.
//
// The match is structural only: an index of the other tree per node, in both directions. What happened to
// an entry is read from the two trees' sizes when asked (change_of), so an item moved to the Recycle Bin
// from the results afterwards shows as removed without comparing again. Comparing works in slices, like a
// search, so the UI thread can do it between messages; compare_all runs it to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "scan/tree.h"

namespace spadrim {

enum class Change : std::uint8_t {
    Unchanged = 0,
    Grown = 1,
    Shrunk = 2,
    New = 3,      // in the later scan only
    Removed = 4,  // in the earlier scan only, or moved to the Recycle Bin since
};

// The words of the command line's JSON: "new", "removed", "grown", "shrunk", "unchanged".
std::string_view change_word(Change change);

struct CompareTotals {
    std::uint64_t size = 0;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;  // below the root, not counting it
};

struct Comparison {
    bool fold_case = false;  // names compared regardless of case (the later tree's root is a Windows one)
    bool done = false;
    // Per node of the later tree: its counterpart in the earlier one, or NO_NODE when it is new (or lies in
    // a new folder). Per node of the earlier tree: its counterpart in the later one, or NO_NODE.
    std::vector<NodeIndex> before_of;
    std::vector<NodeIndex> after_of;
    // Files found only in the later tree, and only in the earlier one, counting those inside new and
    // removed folders; filled as the comparison goes, final once done.
    std::uint64_t new_files = 0;
    std::uint64_t removed_files = 0;
    // Private to the comparison: the matched folder pairs still to be compared, as (after, before).
    std::vector<std::pair<NodeIndex, NodeIndex>> pending;
};

// Starts comparing `after` (the later scan) with `before` (the earlier one). Neither tree may change
// structure while the comparison runs; sizes and FLAG_REMOVED may.
Comparison start_compare(const FileTree& before, const FileTree& after);
// Compares about `budget` entries; true once the comparison is done.
bool advance_compare(Comparison& comparison, const FileTree& before, const FileTree& after,
                     std::size_t budget);
// Runs a comparison to its end.
Comparison compare_all(const FileTree& before, const FileTree& after);

// The whole tree's figures (the root's size and files, its folders counted).
CompareTotals totals_of(const FileTree& tree);

// What happened to a node of the later tree (NO_NODE: nothing there), given its counterpart: New without
// one; Removed when it was moved to the Recycle Bin since; else by the two sizes.
Change change_of(const Comparison& comparison, const FileTree& before, const FileTree& after, NodeIndex node);

// One entry of a folder's changes: a node of the later tree, of the earlier one, or both.
struct ChangeRow {
    NodeIndex after = NO_NODE;   // NO_NODE for an entry that is gone
    NodeIndex before = NO_NODE;  // NO_NODE for a new entry
    std::uint64_t before_size = 0;
    std::uint64_t after_size = 0;  // 0 when gone
    Change change = Change::Unchanged;

    // after_size - before_size, as a signed number (sizes stay well below 2^63).
    std::int64_t delta() const {
        return static_cast<std::int64_t>(after_size) - static_cast<std::int64_t>(before_size);
    }
};

enum class ChangeOrder : std::uint8_t {
    Increase = 0,  // largest increase first, then the unchanged, then the largest decrease last
    Decrease = 1,  // largest decrease first
    Absolute = 2,  // largest change either way first
};

// The entries of a folder of the later tree (NO_NODE: none) and of its counterpart in the earlier one, in
// the given order; ties by size now, then by name. Entries gone from the later tree (removed, or moved to
// the Recycle Bin) are listed with after = NO_NODE or with their removed node. Unchanged entries are kept
// when `unchanged` is true. Needs a finished comparison.
std::vector<ChangeRow> change_rows(const Comparison& comparison, const FileTree& before,
                                   const FileTree& after, NodeIndex folder, ChangeOrder order,
                                   bool unchanged);

}  // namespace spadrim
