// One folder of a File tree brought up to date in place: a newer walk of it takes the place of what the
// tree held below it, and the totals above it follow. The rest of the tree, and every index into it, stay
// as they were, so a view can keep its place.
//
// The new entries are appended at the end, which keeps every parent before its children. The old ones
// stay in the array, unlinked and marked FLAG_FREED | FLAG_REMOVED (so that passes over all indices skip
// them as they skip removed items), until compact_tree drops them; it renumbers the nodes, so callers
// compact only when the freed share is worth it (worth_compacting) and find their place again by path.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "scan/tree.h"

namespace spadrim {

// Replaces the content of `folder` (a live folder of `tree`) with `fresh`, a rolled-up walk of that same
// folder whose root stands for it. The folder keeps its name and index; its size, files, time and
// readability become fresh's, and its ancestors' size and files change by the difference (their time only
// moves forward). False, with the tree unchanged, when the folder is not a live folder or the tree could
// not hold the new entries.
bool splice_subtree(FileTree& tree, NodeIndex folder, const FileTree& fresh);

// Brings one folder's own entries up to date from a new listing of it, keeping what lies below the
// subfolders that are still there (a change deeper down is another folder's listing): files take their new
// size and time, entries gone (or now of the other type) are freed, new ones are appended. The folder's
// totals and its ancestors' follow. Returns the new subfolders, empty until walked and spliced in with
// splice_subtree; nothing when the folder is not a live folder or the tree could not hold the new entries
// (then the tree is unchanged).
std::optional<std::vector<NodeIndex>> splice_listing(FileTree& tree, NodeIndex folder,
                                                     std::span<const ListedEntry> listing);

// Whether enough of the tree is freed for compacting to pay: more than a twentieth of its nodes.
bool worth_compacting(const FileTree& tree);

// Drops the freed nodes with everything below them and renumbers the rest in their order, in place: the
// nodes before the first freed one keep their index, and the name pool keeps none of the dropped names.
// Returns each old index's new one, NO_NODE for the dropped.
std::vector<NodeIndex> compact_tree(FileTree& tree);

}  // namespace spadrim
