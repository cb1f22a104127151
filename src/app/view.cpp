// The view refresh of the results screen and its status line. See app.h.
#include <algorithm>

#include "app/app.h"
#include "app/input/selection.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// The current folder's children; with the filter on, those with matching content, largest matching
// content first (equal ones by name, as sorted_children orders them).
std::vector<NodeIndex> filtered_children(const App& app) {
    std::vector<NodeIndex> children = sorted_children(*app.tree, app.current_folder);
    if (!shown_search(app)) return children;
    struct Shown {
        std::uint64_t size;
        NodeIndex node;
    };
    std::vector<Shown> shown;
    for (const NodeIndex child : children) {
        const MatchTotals totals = shown_totals(app, child);
        if (totals.size != 0 || totals.files != 0) shown.push_back(Shown{totals.size, child});
    }
    // Stable: children come in name order among equal sizes already.
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Shown& a, const Shown& b) { return a.size > b.size; });
    children.clear();
    for (const Shown& s : shown)
        children.push_back(s.node);
    return children;
}

}  // namespace

void refresh_view(App& app) {
    if (!app.tree) return;
    follow_tree(app);
    if (app.tab == Tab::Found && !query_active(app)) app.tab = Tab::Folders;
    if (app.tab == Tab::Changes && !changes_shown(app)) app.tab = Tab::Folders;
    const FileTree& tree = *app.tree;
    const NodeIndex folder = app.current_folder;
    // Opening a folder that changed on disk is seeing it: its mark goes. Marks lead down to the others.
    app.changed_folders.erase(folder);
    app.change_marks.clear();
    for (const NodeIndex changed : app.changed_folders) {
        for (NodeIndex at = changed; at != NO_NODE && app.change_marks.insert(at).second;
             at = tree.nodes[at].parent) {
        }
    }
    // The legend follows the treemap: with the filter on, only the matching files count.
    if (const Search* search = shown_search(app)) {
        app.kind_totals = {};
        walk_subtree(tree, folder, [&](NodeIndex i) {
            const Node& node = tree.nodes[i];
            if (!(node.flags & FLAG_DIR) && within_match(*search, i))
                app.kind_totals[node.kind & 7] += node.size;
        });
    } else {
        app.kind_totals = kind_totals(tree, folder);
    }
    app.node_rows.clear();
    app.extension_rows.clear();
    app.duplicate_rows.clear();
    app.change_rows.clear();
    switch (app.tab) {
        case Tab::Folders: app.node_rows = filtered_children(app); break;
        case Tab::LargestFiles: app.node_rows = largest_files(tree, folder); break;
        case Tab::ByType: app.extension_rows = extension_rows(tree, folder); break;
        case Tab::Duplicates: {
            if (tree.imported) break;  // nothing to compare: the status line says why
            start_duplicates(app);
            const auto found = app.duplicates.find(folder);
            if (found == app.duplicates.end()) break;
            const std::vector<DuplicateSet>& sets = found->second.sets;
            for (std::uint32_t i = 0; i < sets.size(); ++i) {
                app.duplicate_rows.push_back(DuplicateRow{i, NO_NODE});
                if (!app.expanded_sets.contains(sets[i].digest)) continue;
                for (const NodeIndex member : sets[i].members)
                    app.duplicate_rows.push_back(DuplicateRow{i, member});
            }
            break;
        }
        case Tab::Found: app.node_rows = found_rows(app); break;
        case Tab::Changes:
            // Every entry, the unchanged ones too: the list stays the folder's whole content, as its
            // treemap does, with what changed first.
            app.change_rows =
                change_rows(*app.comparison, *app.baseline, tree, folder, app.change_order, true);
            break;
    }
    // Picking an extension survives tab changes, but not a By type list that no longer has it.
    if (app.tab == Tab::ByType && app.selected_extension &&
        std::none_of(app.extension_rows.begin(), app.extension_rows.end(),
                     [&](const ExtensionRow& row) { return row.extension == *app.selected_extension; })) {
        app.selected_extension.reset();
    }
    keep_listed(app);
    ++app.view_generation;
}

bool row_selected(const App& app, std::size_t row) {
    if (app.tab == Tab::ByType)
        return row < app.extension_rows.size() && app.selected_extension == app.extension_rows[row].extension;
    return is_selected(app, row_node(app, row));
}

bool imported(const App& app) {
    return app.tree && app.tree->imported;
}

bool header_button_enabled(const App& app, HitKind kind) {
    if (kind == HitKind::Up) return app.current_folder != 0;
    if (kind == HitKind::Refresh) return !imported(app);
    return true;
}

std::size_t row_count(const App& app) {
    switch (app.tab) {
        case Tab::ByType: return app.extension_rows.size();
        case Tab::Duplicates: return app.duplicate_rows.size();
        case Tab::Changes: return app.change_rows.size();
        case Tab::Folders:
        case Tab::LargestFiles:
        case Tab::Found: break;
    }
    return app.node_rows.size();
}

NodeIndex row_node(const App& app, std::size_t row) {
    switch (app.tab) {
        case Tab::Folders:
        case Tab::LargestFiles:
        case Tab::Found: return row < app.node_rows.size() ? app.node_rows[row] : NO_NODE;
        case Tab::Changes:
            // An entry gone since the earlier scan has nothing on disk to act on.
            if (row >= app.change_rows.size() || app.change_rows[row].change == Change::Removed)
                return NO_NODE;
            return app.change_rows[row].after;
        case Tab::Duplicates:
            return row < app.duplicate_rows.size() ? app.duplicate_rows[row].member : NO_NODE;
        case Tab::ByType: break;
    }
    return NO_NODE;
}

std::optional<std::uint64_t> unaccounted_bytes(std::optional<VolumeSpace> space, std::uint64_t found) {
    if (!space || space->total >= SIZE_NOT_REPORTED) return std::nullopt;
    const std::uint64_t used = space->total - std::min(space->free, space->total);
    const std::uint64_t missing = used - std::min(found, used);
    // Up to 1% of the used space is noise (metadata, files changing during the scan), not worth a word.
    if (missing <= used / 100) return std::nullopt;
    return missing;
}

namespace {

std::optional<std::string> tab_status_line(const App& app) {
    if (app.tab == Tab::Changes) {
        std::string header = changes_header(app);
        if (header.empty()) return std::nullopt;
        return header;
    }
    if (app.tab == Tab::Found) {
        if (!shown_search(app)) return std::nullopt;
        return found_footer(app);
    }
    if (app.tab == Tab::Duplicates && imported(app)) return std::string(duplicates_need_files_text());
    if (app.tab == Tab::Duplicates) {
        const auto found = app.duplicates.find(app.current_folder);
        if (found == app.duplicates.end()) return std::nullopt;
        std::uint64_t freeable = 0;
        for (const DuplicateSet& set : found->second.sets)
            freeable += wasted_bytes(set);
        const std::size_t sets = found->second.sets.size();
        std::string text = substitute(with_counts(tr("중복 묶음 {0}개 · 아낄 수 있는 공간 {1}",
                                                     "{0} duplicate sets · {1} can be freed"),
                                                  {{0, sets}}),
                                      {format_count(sets), format_size(freeable)});
        if (found->second.failed != 0) {
            text += " · ";
            text += substitute(with_counts(tr("열지 못한 파일 {0}개", "{0} files could not be opened"),
                                           {{0, found->second.failed}}),
                               {format_count(found->second.failed)});
        }
        return text;
    }
    if (!app.tree || app.current_folder != 0) return std::nullopt;
    const FileTree& tree = *app.tree;
    std::string text = unreadable_text(tree.unreadable_folders);
    if (tree.left_out != 0) {  // the tree's 32-bit limits were reached: the figures are short
        if (!text.empty()) text += " · ";
        text += tr("항목이 너무 많아 일부를 담지 못했습니다", "Too many entries: some were left out");
    }
    if (is_drive_root(tree.root_path)) {
        if (const std::optional<std::uint64_t> missing =
                unaccounted_bytes(app.volume, node_at(tree, 0).size)) {
            if (!text.empty()) text += " · ";
            text += substitute(tr("찾지 못한 공간 약 {0} (시스템 파일 등)",
                                  "About {0} not accounted for (system files etc.)"),
                               {format_size(*missing)});
        }
    }
    if (text.empty()) return std::nullopt;
    return text;
}

}  // namespace

std::optional<std::string> status_line(const App& app) {
    // A folder being analysed again says so until it is done; changes on disk say when they last came.
    if (std::string progress = refresh_progress_text(app); !progress.empty()) return progress;
    std::optional<std::string> text = tab_status_line(app);
    const std::string updated = updated_text(app, Clock::now());
    if (updated.empty()) return text;
    return text ? *text + " · " + updated : updated;
}

}  // namespace spadrim
