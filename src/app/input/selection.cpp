// Multiple selection. See selection.h.
#include "app/input/selection.h"

#include <algorithm>
#include <unordered_set>

namespace spadrim {
namespace {

bool holds(const std::vector<NodeIndex>& sorted, NodeIndex node) {
    return std::binary_search(sorted.begin(), sorted.end(), node);
}

// The set counts only while it holds the focused item.
bool set_in_force(const App& app) {
    return app.selection != NO_NODE && holds(app.selected, app.selection);
}

void set_selected(App& app, std::vector<NodeIndex> nodes) {
    std::erase(nodes, NO_NODE);
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    app.selected = nodes.size() > 1 ? std::move(nodes) : std::vector<NodeIndex>{};
}

// The rows from the anchor to `to`, both listed; the anchor falls back to `from` when it is not.
void select_range(App& app, NodeIndex from, NodeIndex to) {
    const std::vector<NodeIndex> rows = listed_nodes(app);
    const auto at = [&](NodeIndex node) { return std::find(rows.begin(), rows.end(), node); };
    if (app.anchor == NO_NODE || at(app.anchor) == rows.end()) app.anchor = from;
    auto first = at(app.anchor);
    auto last = at(to);
    app.selection = to;
    if (first == rows.end() || last == rows.end()) {
        app.anchor = to;
        app.selected.clear();
        return;
    }
    if (first > last) std::swap(first, last);
    set_selected(app, std::vector<NodeIndex>(first, last + 1));
}

}  // namespace

std::vector<NodeIndex> listed_nodes(const App& app) {
    switch (app.tab) {
        case Tab::ByType: return {};
        case Tab::Duplicates: {
            std::vector<NodeIndex> rows;
            rows.reserve(app.duplicate_rows.size());
            for (const DuplicateRow& row : app.duplicate_rows)
                rows.push_back(row.member);
            return rows;
        }
        case Tab::Changes: {
            std::vector<NodeIndex> rows;
            rows.reserve(app.change_rows.size());
            for (std::size_t row = 0; row < app.change_rows.size(); ++row)
                rows.push_back(row_node(app, row));
            return rows;
        }
        default: return app.node_rows;  // every other tab lists nodes
    }
}

std::vector<NodeIndex> selected_nodes(const App& app) {
    if (set_in_force(app)) return app.selected;
    if (app.selection == NO_NODE) return {};
    return {app.selection};
}

bool is_selected(const App& app, NodeIndex node) {
    if (node == NO_NODE || app.selection == NO_NODE) return false;
    return node == app.selection || (set_in_force(app) && holds(app.selected, node));
}

std::vector<NodeIndex> selected_in_order(const App& app) {
    const std::vector<NodeIndex> chosen = selected_nodes(app);
    std::vector<NodeIndex> ordered;
    for (const NodeIndex row : listed_nodes(app)) {  // a node is listed once
        if (row != NO_NODE && holds(chosen, row)) ordered.push_back(row);
    }
    // A selection that is not listed here (a tile of the treemap) comes last.
    std::vector<NodeIndex> seen = ordered;
    std::sort(seen.begin(), seen.end());
    for (const NodeIndex node : chosen) {
        if (!holds(seen, node)) ordered.push_back(node);
    }
    return ordered;
}

void pick(App& app, NodeIndex node, Pick how) {
    if (node == NO_NODE) return;
    switch (how) {
        case Pick::One: break;
        case Pick::Range: select_range(app, app.selection, node); return;
        case Pick::Toggle: {
            std::vector<NodeIndex> nodes = selected_nodes(app);
            app.anchor = node;
            if (!holds(nodes, node)) {
                nodes.push_back(node);
                app.selection = node;
                set_selected(app, std::move(nodes));
                return;
            }
            std::erase(nodes, node);
            if (nodes.empty()) app.anchor = NO_NODE;
            // The focus stays on a selected item: the first still picked in the list's order.
            const std::vector<NodeIndex> rows = listed_nodes(app);
            const auto kept =
                std::find_if(rows.begin(), rows.end(), [&](NodeIndex row) { return holds(nodes, row); });
            app.selection = kept != rows.end() ? *kept : nodes.empty() ? NO_NODE : nodes.front();
            set_selected(app, std::move(nodes));
            return;
        }
    }
    app.selection = node;
    app.anchor = node;
    app.selected.clear();
}

void extend_selection(App& app, NodeIndex from) {
    select_range(app, from, app.selection);
}

void select_all(App& app) {
    const std::vector<NodeIndex> rows = listed_nodes(app);
    const auto first = std::find_if(rows.begin(), rows.end(), [](NodeIndex row) { return row != NO_NODE; });
    if (first == rows.end()) return;
    if (app.selection == NO_NODE || std::find(rows.begin(), rows.end(), app.selection) == rows.end())
        app.selection = *first;
    app.anchor = *first;
    set_selected(app, rows);
}

void keep_listed(App& app) {
    if (app.selected.empty()) return;
    std::vector<NodeIndex> rows = listed_nodes(app);
    std::sort(rows.begin(), rows.end());
    std::erase_if(app.selected, [&](NodeIndex node) { return !holds(rows, node); });
    if (app.selected.size() < 2) app.selected.clear();
}

std::vector<NodeIndex> outermost(const FileTree& tree, std::span<const NodeIndex> nodes) {
    std::vector<NodeIndex> sorted(nodes.begin(), nodes.end());
    std::sort(sorted.begin(), sorted.end());
    std::vector<NodeIndex> kept;
    std::unordered_set<NodeIndex> taken;
    for (const NodeIndex node : nodes) {
        if (node >= tree.nodes.size()) continue;
        bool inside = false;
        for (NodeIndex up = tree.nodes[node].parent; up != NO_NODE && !inside; up = tree.nodes[up].parent)
            inside = holds(sorted, up);
        if (!inside && taken.insert(node).second) kept.push_back(node);
    }
    return kept;
}

std::optional<std::vector<NodeIndex>> all_but(const FileTree& tree, std::span<const NodeIndex> members,
                                              Keep keep) {
    if (members.empty()) return std::nullopt;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i] >= tree.nodes.size()) return std::nullopt;
        const std::uint32_t time = tree.nodes[members[i]].mtime;
        if (time == 0) return std::nullopt;
        const std::uint32_t best = tree.nodes[members[kept]].mtime;
        if (keep == Keep::Newest ? time > best : time < best) kept = i;
    }
    std::vector<NodeIndex> others(members.begin(), members.end());
    others.erase(others.begin() + static_cast<std::ptrdiff_t>(kept));
    return others;
}

std::span<const NodeIndex> set_members_of(const App& app, NodeIndex member) {
    if (app.tab != Tab::Duplicates || member == NO_NODE) return {};
    const auto row = std::find_if(app.duplicate_rows.begin(), app.duplicate_rows.end(),
                                  [&](const DuplicateRow& r) { return r.member == member; });
    const auto found = app.duplicates.find(app.current_folder);
    if (row == app.duplicate_rows.end() || found == app.duplicates.end() ||
        row->set >= found->second.sets.size())
        return {};
    return found->second.sets[row->set].members;
}

bool select_all_but(App& app, NodeIndex member, Keep keep) {
    if (!app.tree) return false;
    const std::optional<std::vector<NodeIndex>> others =
        all_but(*app.tree, set_members_of(app, member), keep);
    if (!others || others->empty()) return false;
    app.selection = others->front();
    app.anchor = others->front();
    set_selected(app, *others);
    return true;
}

}  // namespace spadrim
