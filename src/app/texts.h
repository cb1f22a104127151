// Texts the results and progress views share, built from a tree's figures through the UI string lookup.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"

namespace spadrim {

// The share of a row in its folder: "45.1%", "<0.1%" for a sliver, "" when the folder is empty.
std::string share_text(std::uint64_t size, std::uint64_t folder_size);

// The badge of a special node ("cloud only", "could not read", "link"), or empty for an ordinary one.
std::string_view badge_text(std::uint8_t flags);

// Why an action that needs the files is not done on a tree read from a scan file.
std::string_view not_on_this_pc_text();
std::string_view duplicates_need_files_text();

// "{0}  ·  {1} files  ·  {2} folders" with the figures of a running Scan. Here and below, an English
// count of one takes the singular: "1 file", "1 folder could not be read".
std::string progress_text(std::uint64_t bytes, std::uint64_t files, std::uint64_t folders);

// "{0} files" with a file count.
std::string files_text(std::uint64_t files);

// "{0} folders could not be read", or empty when every folder was read.
std::string unreadable_text(std::uint64_t folders);

std::string_view tab_label(Tab tab);

// An extension row's name: ".jpg", or "(no extension)".
std::string extension_text(std::string_view extension);

// "{0} copies · {1} each · {2} wasted".
std::string duplicate_set_text(const DuplicateSet& set);

// "Comparing… {0} / {1}  ·  {2}" with the files settled, the files to compare and the bytes read.
std::string compare_progress_text(const CompareProgress& progress);

// "No duplicates among files of 1.00 MB or more".
std::string no_duplicates_text();

// The note under the comparison's bar: "Comparing the contents of files of 1.00 MB or more that have the
// same size".
std::string compare_note_text();

// The treemap's chip while the filter is on: "Showing *.mp4 · Esc clears".
std::string showing_text(std::string_view query);

// The Found list's sort control: "Sort: Size".
std::string found_order_text(FoundOrder order);

// A change of size with its sign: "+3.20 GB", "\u22121.10 GB" (a minus sign), "0 B".
std::string signed_size(std::int64_t delta);
// The mark of a change in the Changes list: "new", "removed", "grown", "shrunk", "unchanged".
std::string_view change_text(Change change);
// The Changes list's sort control: "Sort: Increase".
std::string change_order_text(ChangeOrder order);
// A Changes row's second line: "1.20 GB → 4.40 GB · grown".
std::string change_line(const ChangeRow& row);
// What a reader hears of a Changes row after its name: "plus 3.20 GB, now 18.1 GB, grown".
std::string change_reading(const ChangeRow& row);
// The Changes treemap's legend: "Grown", "New", "Shrunk", "Unchanged" (Removed has no tile).
std::string_view growth_label(Change change);
// Those four labels, in the order the legend shows them.
std::vector<std::string> growth_legend();
// Why a renamed or moved entry is listed twice, for the help of new and removed rows; empty for others.
std::string_view change_help(Change change);

// "In the Recycle Bin: {size}".
std::string recycle_bin_text(std::uint64_t bytes);

// What is seen once the shell is done with a move to the Recycle Bin. The shell's own answers do not
// tell a move from a deletion (an item too big for the Bin, or on a drive without one, is deleted once the
// user says Yes to its question), nor always a No from a failure: the item's absence and the Bins' item
// count growing are what tell.
struct RecycleObservation {
    int result = 0;                                // SHFileOperationW's return value
    bool aborted = false;                          // its fAnyOperationsAborted: the user said No or cancelled
    bool still_there = false;                      // something is still at the item's path
    std::optional<std::int64_t> bin_items_before;  // the Recycle Bins' item count; nothing when unknown
    std::optional<std::int64_t> bin_items_after;
};

enum class RecycleOutcome : std::uint8_t {
    Recycled,
    DeletedForGood,
    Cancelled,
    Failed
};

// Gone without the Bins growing (or with their count unknown) is taken as deleted for good: telling the
// user it can be restored when it cannot is the worse mistake.
RecycleOutcome recycle_outcome(const RecycleObservation& seen);

// The notice for an outcome, with the item's size; empty when the user cancelled.
std::string recycle_notice(RecycleOutcome outcome, std::uint64_t size);

// Why one of many items did not go to the Recycle Bin, from SHFileOperationW's answer (a Win32 error or
// one of the shell's own DE_ codes) and whether the item was there before the move.
enum class MoveFailure : std::uint8_t {
    InUse,
    NotAllowed,
    Missing,
    Other,
};
MoveFailure move_failure(int result, bool was_there);

// What moving many items to the Recycle Bin one by one came to.
struct RecycleTally {
    std::uint64_t recycled = 0;
    std::uint64_t recycled_bytes = 0;
    std::uint64_t deleted = 0;  // gone for good: too big for the Bin, or on a drive without one
    std::uint64_t deleted_bytes = 0;
    std::uint64_t failed[4] = {};  // by MoveFailure
    std::uint64_t not_tried = 0;   // left when the user cancelled in the shell's dialog
};

// The one question before many items move: "Move {0} items ({1}) to the Recycle Bin?", after the names of
// those left out because Windows, programs or the user account rely on them (the first ten, then how many
// more). With nothing left to move, only why none can be.
std::string recycle_many_question(std::uint64_t count, std::uint64_t bytes,
                                  const std::vector<std::string>& left_out);

// "Moved 12 items to the Recycle Bin. Emptying it frees 3.10 GB. 2 could not be moved: 2 in use."; empty
// when nothing happened.
std::string recycle_many_notice(const RecycleTally& tally);

// "Copied 3 paths" or, for one, "Path copied".
std::string paths_copied_text(std::uint64_t count);

// Why an item whose name Windows would take for another's is neither opened nor moved.
std::string_view inexact_name_text();
// An action chosen for an item that changes on disk took away meanwhile.
std::string_view gone_item_text();

// "2.40 GB · 12,345 files · took 3.2 s": what a finished walk found, and how long it took.
std::string walk_done_text(const Node& folder, double seconds);

// "{0} s" with whole seconds.
std::string elapsed_text(double seconds);

// The share of the expected bytes a running Scan has found, 0 to 1; nothing when no total is expected.
std::optional<double> scan_share(const ScanJob& job);

// "{0} free of {1}".
std::string free_space_text(const VolumeSpace& space);

// What a row of the current tab says: the label, the size its figures show, and for Largest files and
// the members of Duplicates the folder it lives in. A set row tells whether it is expanded.
struct RowText {
    std::string label;
    std::uint64_t size = 0;
    NodeIndex node = NO_NODE;  // NO_NODE for extension and set rows
    std::optional<std::string> location;
    std::string modified;             // an entry's format_time; empty when unknown and for other rows
    std::optional<bool> expanded;     // set rows only
    std::uint8_t kind = 0;            // the kind of an extension row or a set's first member
    std::optional<ChangeRow> change;  // Changes rows: what happened (location says "before → after")
};
// Nothing for rows past the end.
std::optional<RowText> row_text(const App& app, std::size_t row);

// "modified {0}" with the entry's time, for what reads or names one entry; empty when it is unknown.
std::string modified_text(std::uint32_t mtime);

// The status line's details: a part that may be cut short and a part kept whole, for what the pointer
// is on, else the selection, else the current folder.
struct StatusDetails {
    std::string first;
    std::string second;
    bool shorten_first = true;  // a path before its figures; else a set's line before its paths
};
StatusDetails status_details(const App& app);

}  // namespace spadrim
