// Navigation and keyboard selection. See navigation.h.
#include "app/input/navigation.h"

#include <algorithm>
#include <cmath>

#include "app/input/selection.h"
#include "scan/folder.h"
#include "scan/paths.h"

namespace spadrim {
namespace {

double max_scroll_of(const App& app, const ListGeometry& list) {
    const std::size_t rows = row_count(app);
    return std::max(list.row_height * static_cast<double>(rows) - list.viewport_height, 0.0);
}

}  // namespace

void navigate(App& app, NodeIndex folder, NodeIndex reveal, const ListGeometry& list) {
    if (!app.tree || folder >= app.tree->nodes.size() || !(node_at(*app.tree, folder).flags & FLAG_DIR))
        return;
    app.current_folder = folder;
    app.selection = reveal;
    app.anchor = reveal;
    app.selected.clear();
    app.scroll = 0;
    refresh_view(app);
    if (reveal == NO_NODE || (app.tab != Tab::Folders && app.tab != Tab::LargestFiles)) return;
    const auto row = std::find(app.node_rows.begin(), app.node_rows.end(), reveal);
    if (row == app.node_rows.end()) return;
    const double top = static_cast<double>(row - app.node_rows.begin()) * list.row_height;
    app.scroll = std::min(max_scroll_of(app, list), std::max(0.0, top - 0.5 * list.viewport_height));
}

void go_to_parent(App& app, const ListGeometry& list) {
    if (!app.tree) return;
    const NodeIndex parent = node_at(*app.tree, app.current_folder).parent;
    if (parent != NO_NODE) navigate(app, parent, app.current_folder, list);
}

bool move_selection(App& app, Key key, const ListGeometry& list) {
    // The node of every row of the current tab; set rows, extension rows and removed entries hold none.
    const std::vector<NodeIndex> rows = listed_nodes(app);
    const auto count = static_cast<std::ptrdiff_t>(rows.size());
    if (count == 0) return false;
    const auto page =
        static_cast<std::ptrdiff_t>(std::max(1.0, std::floor(list.viewport_height / list.row_height)));
    std::optional<std::ptrdiff_t> current;
    if (app.selection != NO_NODE) {
        const auto found = std::find(rows.begin(), rows.end(), app.selection);
        if (found != rows.end()) current = found - rows.begin();
    }

    std::ptrdiff_t target = 0;
    switch (key) {
        case Key::Home: target = 0; break;
        case Key::End: target = count - 1; break;
        case Key::Up: target = current ? *current - 1 : 0; break;
        case Key::Down: target = current ? *current + 1 : 0; break;
        case Key::PageUp: target = current ? *current - page : 0; break;
        case Key::PageDown: target = current ? *current + page : 0; break;
        default: return false;
    }
    target = std::clamp<std::ptrdiff_t>(target, 0, count - 1);

    const bool forward_first = key == Key::Down || key == Key::PageDown || key == Key::Home;
    const auto is_node = [&](std::ptrdiff_t i) { return rows[static_cast<std::size_t>(i)] != NO_NODE; };
    std::optional<std::ptrdiff_t> hit;
    const auto search_forward = [&](std::ptrdiff_t from) {
        for (std::ptrdiff_t i = from; !hit && i < count; ++i) {
            if (is_node(i)) hit = i;
        }
    };
    const auto search_backward = [&](std::ptrdiff_t from) {
        for (std::ptrdiff_t i = from; !hit && i >= 0; --i) {
            if (is_node(i)) hit = i;
        }
    };
    if (forward_first) {
        search_forward(target);
        search_backward(target - 1);
    } else {
        search_backward(target);
        search_forward(target);
    }
    if (!hit) return false;
    const bool guarded = key != Key::Home && key != Key::End;
    if (guarded && current && ((forward_first && *hit < *current) || (!forward_first && *hit > *current)))
        return false;

    app.selection = rows[static_cast<std::size_t>(*hit)];
    const double max_scroll =
        std::max(list.row_height * static_cast<double>(count) - list.viewport_height, 0.0);
    const double top = static_cast<double>(*hit) * list.row_height;
    if (app.scroll > top) {
        app.scroll = top;
    } else if (top + list.row_height > app.scroll + list.viewport_height) {
        app.scroll = std::min(max_scroll, top + list.row_height - list.viewport_height);
    }
    return true;
}

std::string window_title(const App& app) {
    if (app.screen == Screen::Results && app.tree)
        return path_of(*app.tree, app.current_folder) + " - Spadrim";
    if (app.screen == Screen::Scanning) {
        return (app.scan_job ? app.scan_job->root_path : std::string()) + " - Spadrim";
    }
    return "Spadrim";
}

}  // namespace spadrim
