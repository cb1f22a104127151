// Many rows selected at once. App::selection stays the focused item: the one the arrows move from, Enter
// opens and the item menu is shown at. App::selected holds the whole set while more than one item is
// picked, sorted by node index; it counts only while it holds the focused item, so code that moves the
// selection elsewhere without knowing of the set leaves one item selected, as it always did.
//
// A sorted vector rather than a std::set: the set is read far more than written (every drawn row and
// tile asks whether it is selected, a binary search), Ctrl+A over a folder of 100,000 entries costs 4
// bytes an entry instead of a tree node each, and a refresh filters it in one pass.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "app/app.h"

namespace spadrim {

// The node of every row of the current tab, NO_NODE for rows that stand for none (set and extension
// rows): the rows a selection is made among.
std::vector<NodeIndex> listed_nodes(const App& app);

// What is selected, sorted by node index: the set, or the focused item alone, or nothing.
std::vector<NodeIndex> selected_nodes(const App& app);
bool is_selected(const App& app, NodeIndex node);
// The same in the order of the list's rows (what a command lists: paths copied, items moved).
std::vector<NodeIndex> selected_in_order(const App& app);

// How a click on a row picks its node: alone (a plain click), added or taken away (Ctrl), or with every
// row from the anchor to it (Shift).
enum class Pick : std::uint8_t {
    One,
    Toggle,
    Range,
};
void pick(App& app, NodeIndex node, Pick how);

// Shift with a key that moved the focus from `from` to App::selection: the range from the anchor, which
// is `from` when the anchor is not listed.
void extend_selection(App& app, NodeIndex from);

// Ctrl+A: every listed node; the focus stays where it was when listed.
void select_all(App& app);

// Drops from the set what the current tab no longer lists (after a refresh: removed items, a collapsed
// set), keeping the focused item in it.
void keep_listed(App& app);

// The nodes that are not inside another of them: a file in a selected folder goes with the folder.
std::vector<NodeIndex> outermost(const FileTree& tree, std::span<const NodeIndex> nodes);

// The copies of a duplicate set but the one kept: the newest or the oldest by modified time, the first
// listed of equal times. Nothing when a copy's time is unknown (0): which one is newest cannot be told.
enum class Keep : std::uint8_t {
    Newest,
    Oldest,
};
std::optional<std::vector<NodeIndex>> all_but(const FileTree& tree, std::span<const NodeIndex> members,
                                              Keep keep);

// Selects the copies of the set listing `member` but the one kept; false when its times are unknown or
// `member` is in no listed set.
bool select_all_but(App& app, NodeIndex member, Keep keep);

// The members of the duplicate set whose member row lists `member` on the Duplicates tab; empty otherwise.
std::span<const NodeIndex> set_members_of(const App& app, NodeIndex member);

}  // namespace spadrim
