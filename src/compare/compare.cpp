// Matching two trees folder by folder. See compare.h.
//
// Only folders matched to each other are compared, each once: their children are keyed by name (folded
// under a Windows root), sorted, and merged. A child on one side only is new or removed with everything
// below it, which is counted from its rolled-up file count without visiting it. So the work is one sort
// per matched folder, and the memory one index per node of each tree.
#include "compare/compare.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "strings/case.h"

namespace spadrim {
namespace {

struct Keyed {
    std::uint32_t offset;  // of the key in the folder's key text
    std::uint32_t length;
    NodeIndex node;
    bool folder;
};

// The children of one folder, keyed and sorted: by key, a file before a folder of the same key, then by
// index so that equal keys pair up in a fixed order.
struct Listing {
    std::string keys;
    std::vector<Keyed> entries;

    std::string_view key(const Keyed& entry) const {
        return std::string_view(keys).substr(entry.offset, entry.length);
    }
};

void append_key(std::string& keys, std::string_view name, bool fold) {
    if (!fold) {
        keys += name;
        return;
    }
    const bool ascii =
        std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        keys += lower_case(name);
        return;
    }
    for (const char c : name)
        keys += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Children of `folder`; removed ones are left out where `skip_removed` (the earlier tree, whose removed
// entries were gone before it was written).
void list_children(const FileTree& tree, NodeIndex folder, bool fold, bool skip_removed, Listing& listing) {
    listing.keys.clear();
    listing.entries.clear();
    for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
         child = tree.nodes[child].next_sibling) {
        const Node& node = tree.nodes[child];
        if (skip_removed && (node.flags & FLAG_REMOVED)) continue;
        const std::size_t offset = listing.keys.size();
        append_key(listing.keys, real_name_of(tree, child), fold);
        listing.entries.push_back(Keyed{static_cast<std::uint32_t>(offset),
                                        static_cast<std::uint32_t>(listing.keys.size() - offset), child,
                                        (node.flags & FLAG_DIR) != 0});
    }
    std::sort(listing.entries.begin(), listing.entries.end(), [&](const Keyed& a, const Keyed& b) {
        if (const int order = listing.key(a).compare(listing.key(b)); order != 0) return order < 0;
        if (a.folder != b.folder) return b.folder;
        return a.node < b.node;
    });
}

int order_of(const Listing& after, const Keyed& a, const Listing& before, const Keyed& b) {
    if (const int order = after.key(a).compare(before.key(b)); order != 0) return order;
    if (a.folder != b.folder) return a.folder ? 1 : -1;
    return 0;
}

// Matches the children of one pair of folders; returns how many entries it looked at.
std::size_t compare_pair(Comparison& comparison, const FileTree& before, const FileTree& after,
                         NodeIndex after_folder, NodeIndex before_folder, Listing& a, Listing& b) {
    list_children(after, after_folder, comparison.fold_case, false, a);
    list_children(before, before_folder, comparison.fold_case, true, b);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.entries.size() || j < b.entries.size()) {
        const int order = i == a.entries.size()   ? 1
                          : j == b.entries.size() ? -1
                                                  : order_of(a, a.entries[i], b, b.entries[j]);
        if (order < 0) {
            const Node& node = after.nodes[a.entries[i].node];
            if (!(node.flags & FLAG_REMOVED)) comparison.new_files += node.file_count;
            ++i;
        } else if (order > 0) {
            comparison.removed_files += before.nodes[b.entries[j].node].file_count;
            ++j;
        } else {
            const NodeIndex later = a.entries[i].node;
            const NodeIndex earlier = b.entries[j].node;
            comparison.before_of[later] = earlier;
            comparison.after_of[earlier] = later;
            // Moved to the Recycle Bin since: gone, as far as the disk goes.
            if (after.nodes[later].flags & FLAG_REMOVED)
                comparison.removed_files += before.nodes[earlier].file_count;
            else if (a.entries[i].folder)
                comparison.pending.emplace_back(later, earlier);
            ++i;
            ++j;
        }
    }
    return a.entries.size() + b.entries.size() + 1;
}

}  // namespace

std::string_view change_word(Change change) {
    switch (change) {
        case Change::Unchanged: return "unchanged";
        case Change::Grown: return "grown";
        case Change::Shrunk: return "shrunk";
        case Change::New: return "new";
        case Change::Removed: return "removed";
    }
    return {};
}

Comparison start_compare(const FileTree& before, const FileTree& after) {
    Comparison comparison;
    comparison.fold_case = separator_of(after) == '\\';
    comparison.before_of.assign(after.nodes.size(), NO_NODE);
    comparison.after_of.assign(before.nodes.size(), NO_NODE);
    // The roots stand for each other whatever their paths.
    comparison.before_of[0] = 0;
    comparison.after_of[0] = 0;
    comparison.pending.emplace_back(0, 0);
    return comparison;
}

bool advance_compare(Comparison& comparison, const FileTree& before, const FileTree& after,
                     std::size_t budget) {
    Listing a;
    Listing b;
    std::size_t spent = 0;
    while (!comparison.pending.empty() && spent < budget) {
        const auto [later, earlier] = comparison.pending.back();
        comparison.pending.pop_back();
        spent += compare_pair(comparison, before, after, later, earlier, a, b);
    }
    if (comparison.pending.empty()) {
        comparison.done = true;
        comparison.pending.shrink_to_fit();
    }
    return comparison.done;
}

Comparison compare_all(const FileTree& before, const FileTree& after) {
    Comparison comparison = start_compare(before, after);
    while (!advance_compare(comparison, before, after, std::size_t{1} << 20)) {
    }
    return comparison;
}

CompareTotals totals_of(const FileTree& tree) {
    CompareTotals totals;
    totals.size = tree.nodes[0].size;
    totals.files = tree.nodes[0].file_count;
    walk_subtree(tree, 0, [&](NodeIndex index) {
        if ((tree.nodes[index].flags & (FLAG_DIR | FLAG_LINK)) == FLAG_DIR) ++totals.folders;
    });
    return totals;
}

Change change_of(const Comparison& comparison, const FileTree& before, const FileTree& after,
                 NodeIndex node) {
    if (node == NO_NODE) return Change::Removed;
    const Node& now = after.nodes[node];
    if (now.flags & FLAG_REMOVED) return Change::Removed;
    // A node beyond the comparison joined the tree after it: new to it.
    const NodeIndex earlier = node < comparison.before_of.size() ? comparison.before_of[node] : NO_NODE;
    if (earlier == NO_NODE) return Change::New;
    const std::uint64_t then = before.nodes[earlier].size;
    return now.size > then ? Change::Grown : now.size < then ? Change::Shrunk : Change::Unchanged;
}

std::vector<ChangeRow> change_rows(const Comparison& comparison, const FileTree& before,
                                   const FileTree& after, NodeIndex folder, ChangeOrder order,
                                   bool unchanged) {
    std::vector<ChangeRow> rows;
    if (folder != NO_NODE) {
        for (NodeIndex child = after.nodes[folder].first_child; child != NO_NODE;
             child = after.nodes[child].next_sibling) {
            ChangeRow row;
            row.after = child;
            row.before = child < comparison.before_of.size() ? comparison.before_of[child] : NO_NODE;
            row.change = change_of(comparison, before, after, child);
            // Come and gone again since the earlier scan: nothing changed.
            if (row.change == Change::Removed && row.before == NO_NODE) continue;
            row.before_size = row.before == NO_NODE ? 0 : before.nodes[row.before].size;
            row.after_size = row.change == Change::Removed ? 0 : after.nodes[child].size;
            if (row.change == Change::Unchanged && !unchanged) continue;
            rows.push_back(row);
        }
    }
    const NodeIndex earlier_folder =
        folder == NO_NODE || folder >= comparison.before_of.size() ? NO_NODE : comparison.before_of[folder];
    if (earlier_folder != NO_NODE) {
        for (NodeIndex child = before.nodes[earlier_folder].first_child; child != NO_NODE;
             child = before.nodes[child].next_sibling) {
            if ((before.nodes[child].flags & FLAG_REMOVED) || comparison.after_of[child] != NO_NODE) continue;
            rows.push_back(ChangeRow{NO_NODE, child, before.nodes[child].size, 0, Change::Removed});
        }
    }
    const auto name = [&](const ChangeRow& row) {
        return row.after != NO_NODE ? name_of(after, row.after) : name_of(before, row.before);
    };
    std::sort(rows.begin(), rows.end(), [&](const ChangeRow& x, const ChangeRow& y) {
        const std::int64_t dx = x.delta();
        const std::int64_t dy = y.delta();
        switch (order) {
            case ChangeOrder::Increase:
                if (dx != dy) return dx > dy;
                break;
            case ChangeOrder::Decrease:
                if (dx != dy) return dx < dy;
                break;
            case ChangeOrder::Absolute: {
                const std::uint64_t ax =
                    dx < 0 ? 0 - static_cast<std::uint64_t>(dx) : static_cast<std::uint64_t>(dx);
                const std::uint64_t ay =
                    dy < 0 ? 0 - static_cast<std::uint64_t>(dy) : static_cast<std::uint64_t>(dy);
                if (ax != ay) return ax > ay;
                break;
            }
        }
        if (x.after_size != y.after_size) return x.after_size > y.after_size;
        return name(x) < name(y);
    });
    return rows;
}

}  // namespace spadrim
