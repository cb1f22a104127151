// Input turned into changes of the App. See actions.h.
#include "app/input/actions.h"

#include <algorithm>

#include "app/input/scrolling.h"
#include "app/input/selection.h"

namespace spadrim {
namespace {

constexpr Reaction CHANGED{true, std::nullopt, false, false};

Reaction asking(Command command) {
    return Reaction{false, command, false, false};
}

// The tab after the current one, or before it, round the strip.
Tab next_tab(const App& app, bool back) {
    const std::vector<Tab> tabs = shown_tabs(app);
    const auto count = static_cast<std::ptrdiff_t>(tabs.size());
    const std::ptrdiff_t at = std::find(tabs.begin(), tabs.end(), app.tab) - tabs.begin();
    return tabs[static_cast<std::size_t>((at + (back ? count - 1 : 1)) % count)];
}

Reaction set_tab(App& app, const Surface& surface, Tab tab) {
    if (app.tab == tab) return {};
    app.tab = tab;
    app.scroll = 0;
    app.selected.clear();  // what was picked among another list's rows
    refresh_view(app);
    clamp_scroll(app, surface);
    return CHANGED;
}

Reaction to_parent(App& app, const Surface& surface) {
    go_to_parent(app, list_geometry(app, surface));
    clamp_scroll(app, surface);
    return CHANGED;
}

// Opens folder, revealing a child; the list is measured for the tab in force at that moment.
Reaction open_folder(App& app, const Surface& surface, NodeIndex folder, NodeIndex reveal) {
    navigate(app, folder, reveal, list_geometry(app, surface));
    clamp_scroll(app, surface);
    return CHANGED;
}

void toggle_set(App& app, std::uint32_t set) {
    const auto found = app.duplicates.find(app.current_folder);
    if (found == app.duplicates.end() || set >= found->second.sets.size()) return;
    const Digest& digest = found->second.sets[set].digest;
    if (!app.expanded_sets.erase(digest)) app.expanded_sets.insert(digest);
    refresh_view(app);
}

Reaction click_row(App& app, const Surface& surface, std::size_t row, Modifiers modifiers) {
    if (app.tab == Tab::ByType) {
        // Picking an extension filters the folders and the treemap by it, as the query ext:jpg does; a
        // second click undoes it.
        if (row >= app.extension_rows.size()) return {};
        const std::string extension = app.extension_rows[row].extension;
        if (app.selected_extension == extension) {
            set_query(app, {});
        } else {
            // No query names files without an extension: that row is only marked.
            set_query(app, extension.empty() ? std::string() : "ext:" + extension);
            app.selected_extension = extension;
        }
        return CHANGED;
    }
    if (const NodeIndex node = row_node(app, row); node != NO_NODE) {
        pick(app, node, modifiers.control ? Pick::Toggle : modifiers.shift ? Pick::Range : Pick::One);
        return CHANGED;
    }
    if (app.tab == Tab::Duplicates && row < app.duplicate_rows.size()) {
        toggle_set(app, app.duplicate_rows[row].set);
        clamp_scroll(app, surface);  // collapsing a set near the end shortens the list
        return CHANGED;
    }
    return {};
}

std::function<float(std::string_view)> body_width(const Surface& surface) {
    return [&surface](std::string_view text) { return surface.measure(text, TextStyle::Body); };
}

// A click in the search field puts the caret at the nearest boundary between the code points drawn there.
Reaction click_search(App& app, const Surface& surface, float x) {
    app.focus = Focus{FocusArea::Search};
    const std::optional<Box> field = search_box(view_input(app, surface));
    if (!field || !surface.measure) return CHANGED;
    const auto width = body_width(surface);
    const Box room = search_text_box(*field, surface.scale);
    const std::string& text = app.search.text;
    const float shift = search_text_shift(width(std::string_view(text).substr(0, app.search.caret)), room);
    place_caret(app.search, offset_at(text, x - room.x + shift, width), false);
    return CHANGED;
}

// Keys while the search field has the focus: its editing keys, and none of the list's (Backspace must not
// go up, Delete must not move the selection to the Recycle Bin). Esc clears the text, then gives the
// focus back to the list; Enter and Down take it there too.
Reaction search_key(App& app, const Surface& surface, Key key, Modifiers modifiers) {
    TextField& field = app.search;
    const bool control = modifiers.control;
    const bool shift = modifiers.shift;
    const auto edit = [&](FieldKey field_key_pressed) {
        return search_edited(app, surface, field_key(field, field_key_pressed, control, shift));
    };
    switch (key) {
        case Key::Left: return edit(FieldKey::Left);
        case Key::Right: return edit(FieldKey::Right);
        case Key::Home: return edit(FieldKey::Home);
        case Key::End: return edit(FieldKey::End);
        case Key::Backspace: return edit(FieldKey::Backspace);
        case Key::Delete:
            if (shift && !control) return asking(Command{CommandKind::CutFieldText});
            return edit(FieldKey::Delete);
        case Key::Escape:
            if (!field.text.empty()) return search_edited(app, surface, set_field_text(field, ""));
            app.focus = Focus{FocusArea::List};
            return CHANGED;
        case Key::Enter:
        case Key::Down: app.focus = Focus{FocusArea::List}; return CHANGED;
        case Key::F5: return asking(Command{CommandKind::AnalyzeAgain});
        case Key::A: return control ? edit(FieldKey::SelectAll) : Reaction{};
        case Key::Z: return control ? edit(shift ? FieldKey::Redo : FieldKey::Undo) : Reaction{};
        case Key::Y: return control ? edit(FieldKey::Redo) : Reaction{};
        case Key::C: return control ? asking(Command{CommandKind::CopyFieldText}) : Reaction{};
        case Key::X: return control ? asking(Command{CommandKind::CutFieldText}) : Reaction{};
        case Key::V: return control ? asking(Command{CommandKind::PasteIntoField}) : Reaction{};
        default: return {};
    }
}

// A recent scan's second action: its root scanned again, and compared with it once scanned.
Reaction compare_with_now(App& app, std::size_t index) {
    const std::optional<std::string> root = recent_root(app, index);
    if (!root) return {};  // its file could not be read: nothing tells what to scan
    app.compare_next = app.recent_scans[index].file;
    if (!start_scan(app, *root, std::nullopt)) app.compare_next.reset();
    return CHANGED;
}

Reaction crumb(App& app, const Surface& surface, NodeIndex node) {
    if (!app.tree) return {};
    // Going up the path reveals the folder we came through.
    const std::vector<NodeIndex> chain = chain_to(*app.tree, app.current_folder);
    const auto at = std::find(chain.begin(), chain.end(), node);
    const NodeIndex reveal = at != chain.end() && at + 1 != chain.end() ? *(at + 1) : NO_NODE;
    return open_folder(app, surface, node, reveal);
}

}  // namespace

ViewInput view_input(const App& app, const Surface& surface) {
    ViewInput in;
    in.width = surface.width;
    in.height = surface.height;
    in.scale = surface.scale;
    in.screen = app.screen;
    in.tab = app.tab;
    in.tabs = shown_tabs(app);
    in.current_folder = app.current_folder;
    in.scroll = app.scroll;
    in.row_count = row_count(app);
    in.drive_count = app.drives.size();
    in.recycle_bin = app.recycle_bin_bytes;
    in.recent_count = app.recent_scans.size();
    in.warning = app.screen == Screen::Results && status_line(app).has_value();
    in.tree = app.tree ? &*app.tree : nullptr;
    in.tiles = surface.tiles;
    in.measure = surface.measure;
    return in;
}

ListGeometry list_geometry(const App& app, const Surface& surface) {
    const ViewInput in = view_input(app, surface);
    return ListGeometry{list_viewport(in).height, row_height(in)};
}

void clamp_scroll(App& app, const Surface& surface) {
    app.scroll = std::clamp(app.scroll, 0.0, max_scroll(view_input(app, surface)));
}

void go_home(App& app) {
    cancel_scan(app);
    app.scan_job.reset();      // its outcome, when it comes, belongs to no job and is dropped
    app.compare_next.reset();  // and so does the comparison asked for with it
    cancel_duplicates(app);
    app.screen = Screen::Home;
    app.dragging = false;
    request_drives(app);
}

Reaction click(App& app, const Surface& surface, HitTarget target, float x, float y, Modifiers modifiers) {
    app.focus_visible = false;
    if (app.screen == Screen::Home) {
        const std::vector<FocusStop> stops = home_stops(view_input(app, surface));
        const auto stop =
            std::find_if(stops.begin(), stops.end(), [&](const FocusStop& s) { return s.target == target; });
        if (stop != stops.end()) app.focus.home = static_cast<std::size_t>(stop - stops.begin());
    }
    if (target.kind == HitKind::Row || target.kind == HitKind::ScrollBar) app.focus = Focus{FocusArea::List};
    if (target.kind == HitKind::Tile) app.focus = Focus{FocusArea::Treemap};
    if (target.kind == HitKind::Tab) app.focus = Focus{FocusArea::Tabs};
    switch (target.kind) {
        case HitKind::None: return {};
        case HitKind::RecentScan:
            // Opened as any scan file is: its entries are not taken for what is on the disk now.
            if (target.payload >= app.recent_scans.size()) return {};
            start_import(app, app.recent_scans[target.payload].file);
            return CHANGED;
        case HitKind::CompareWithNow: return compare_with_now(app, target.payload);
        case HitKind::SearchField: return click_search(app, surface, x);
        case HitKind::Home: go_home(app); return CHANGED;
        case HitKind::Up: return to_parent(app, surface);
        case HitKind::Crumb: return crumb(app, surface, static_cast<NodeIndex>(target.payload));
        case HitKind::DriveCard:
            if (target.payload < app.drives.size()) {
                start_scan(app, app.drives[target.payload].root, std::nullopt);
                return CHANGED;
            }
            return asking(Command{CommandKind::ChooseFolder});
        case HitKind::Refresh:
            if (!header_button_enabled(app, target.kind)) return {};  // drawn disabled
            return asking(Command{CommandKind::AnalyzeAgain});
        case HitKind::Menu: return asking(Command{CommandKind::ShowMenu, NO_NODE, x, y});
        case HitKind::EmptyRecycleBin:
            // Drawn disabled while the bin is empty, as the menu item is.
            if (app.recycle_bin_bytes == 0) return {};
            return asking(Command{CommandKind::EmptyRecycleBin});
        case HitKind::CancelScan: cancel_scan(app); return {};
        case HitKind::Tab: {
            // The payload is the tab's place in the strip.
            const std::vector<Tab> tabs = shown_tabs(app);
            return set_tab(app, surface, tabs[std::min<std::size_t>(target.payload, tabs.size() - 1)]);
        }
        case HitKind::ChangesSort:
            app.change_order = static_cast<ChangeOrder>((static_cast<int>(app.change_order) + 1) % 3);
            refresh_view(app);
            return CHANGED;
        case HitKind::FoundSort:
            app.found_order = static_cast<FoundOrder>((static_cast<int>(app.found_order) + 1) % 3);
            refresh_view(app);
            return CHANGED;
        case HitKind::Row: return click_row(app, surface, target.payload, modifiers);
        case HitKind::ScrollBar: {
            const ViewInput in = view_input(app, surface);
            const std::optional<ScrollThumb> thumb = scroll_thumb(in);
            if (!thumb) return {};
            app.grab = grab_offset(*thumb, x, y, in.scale);
            app.dragging = true;
            app.scroll = drag_scroll(in, *thumb, y, app.grab);
            return Reaction{true, std::nullopt, true, false};
        }
        case HitKind::Tile: pick(app, static_cast<NodeIndex>(target.payload), Pick::One); return CHANGED;
    }
    return {};
}

Reaction double_click(App& app, const Surface& surface, HitTarget target, float x, float y) {
    NodeIndex node = NO_NODE;
    if (app.tree && target.kind == HitKind::Tile) node = static_cast<NodeIndex>(target.payload);
    if (app.tree && target.kind == HitKind::Row) node = row_node(app, target.payload);
    if (node == NO_NODE || node >= app.tree->nodes.size()) return click(app, surface, target, x, y);
    const Node& item = node_at(*app.tree, node);
    if (target.kind == HitKind::Row && app.tab == Tab::Duplicates) {
        // A copy is shown where it lives, among its folder's entries.
        if (item.parent == NO_NODE) return {};
        app.tab = Tab::Folders;
        return open_folder(app, surface, item.parent, node);
    }
    if (item.flags & FLAG_DIR) return open_folder(app, surface, node, NO_NODE);
    if (item.parent != NO_NODE && item.parent != app.current_folder)
        return open_folder(app, surface, item.parent, node);
    return {};
}

namespace {

// Keys on the home screen: Tab and Shift+Tab go round its stops, the arrows step through them, and
// Enter or Space presses the focused one as a click would. F5 reads the drives again.
Reaction home_key(App& app, const Surface& surface, Key key, Modifiers modifiers) {
    if (key == Key::F5) {
        request_drives(app);
        return CHANGED;
    }
    const std::vector<FocusStop> stops = home_stops(view_input(app, surface));
    if (stops.empty()) return {};
    const std::size_t at = std::min(app.focus.home, stops.size() - 1);
    const std::size_t last = stops.size() - 1;
    switch (key) {
        case Key::Tab:
            if (modifiers.control) return {};
            app.focus.home = modifiers.shift ? (at == 0 ? last : at - 1) : (at == last ? 0 : at + 1);
            break;
        case Key::Left:
        case Key::Up: app.focus.home = at == 0 ? 0 : at - 1; break;
        case Key::Right:
        case Key::Down: app.focus.home = std::min(at + 1, last); break;
        case Key::Enter:
        case Key::Space: {
            const FocusStop& stop = stops[at];
            return click(app, surface, stop.target, stop.box.x, stop.box.y + stop.box.height);
        }
        default: return {};
    }
    app.focus_visible = true;
    return CHANGED;
}

// What a key does where the focus is, before the list's own keys: a header button is pressed with Enter
// or Space, the arrows choose a tab on the tab strip and move between tiles in the treemap. Nothing when
// the key means nothing there.
std::optional<Reaction> focused_key(App& app, const Surface& surface, Key key) {
    switch (app.focus.area) {
        case FocusArea::Header: {
            if (key != Key::Enter && key != Key::Space) return std::nullopt;
            const std::vector<HeaderButton> buttons = header_buttons(view_input(app, surface));
            if (buttons.empty()) return std::nullopt;
            const HeaderButton& button = buttons[std::min(app.focus.button, buttons.size() - 1)];
            if (!header_button_enabled(app, button.kind)) return Reaction{};  // drawn disabled
            return click(app, surface, HitTarget{button.kind, 0}, button.box.x,
                         button.box.y + button.box.height);
        }
        case FocusArea::Tabs:
            if (key != Key::Left && key != Key::Right) return std::nullopt;
            return set_tab(app, surface, next_tab(app, key == Key::Left));
        case FocusArea::Search:
        case FocusArea::List: return std::nullopt;
        case FocusArea::Treemap: break;
    }
    const std::vector<TreemapRect>* tiles = surface.tiles;
    std::optional<Direction> direction;
    if (key == Key::Left) direction = Direction::Left;
    if (key == Key::Right) direction = Direction::Right;
    if (key == Key::Up) direction = Direction::Up;
    if (key == Key::Down) direction = Direction::Down;
    if (!direction || !tiles || tiles->empty()) return std::nullopt;
    const auto here = std::find_if(tiles->begin(), tiles->end(),
                                   [&](const TreemapRect& tile) { return tile.node == app.selection; });
    if (here == tiles->end()) {
        pick(app, tiles->front().node, Pick::One);  // the first arrow picks a tile to start from
        return CHANGED;
    }
    const std::optional<std::size_t> next =
        nearest_tile(*tiles, static_cast<std::size_t>(here - tiles->begin()), *direction);
    if (!next) return Reaction{};
    pick(app, (*tiles)[*next].node, Pick::One);
    return CHANGED;
}

}  // namespace

Reaction key_down(App& app, const Surface& surface, Key key, Modifiers modifiers) {
    if (modifiers.alt) {
        if (key == Key::Left && app.screen == Screen::Results) return to_parent(app, surface);
        return {};
    }
    if (modifiers.control && key == Key::O) return asking(Command{CommandKind::ChooseFolder});
    switch (app.screen) {
        case Screen::Home: return home_key(app, surface, key, modifiers);
        case Screen::Scanning:
            if (key == Key::Escape) cancel_scan(app);
            return {};
        case Screen::Results: break;
    }
    // Shift+F5 analyses the selected folder again, else the one shown; Esc first stops that walk.
    if (key == Key::F5 && modifiers.shift && !modifiers.control) {
        const bool folder = app.tree && app.selection < app.tree->nodes.size() &&
                            (node_at(*app.tree, app.selection).flags & FLAG_DIR);
        return start_refresh(app, folder ? app.selection : app.current_folder) ? CHANGED : Reaction{};
    }
    if (key == Key::Escape && refresh_asked(app)) {
        cancel_refresh(app);
        return CHANGED;
    }
    if (key == Key::Tab && !modifiers.control) {
        app.focus = next_focus(app.focus, header_buttons(view_input(app, surface)).size(), modifiers.shift);
        app.focus_visible = true;
        return CHANGED;
    }
    if (key == Key::F && modifiers.control) {
        // As in a browser: the field takes the focus with its text selected, to be typed over.
        app.focus = Focus{FocusArea::Search};
        field_key(app.search, FieldKey::SelectAll, false, false);
        return CHANGED;
    }
    if (app.focus.area == FocusArea::Search) return search_key(app, surface, key, modifiers);
    if (const std::optional<Reaction> reaction = focused_key(app, surface, key)) return *reaction;
    const bool selected = app.selection != NO_NODE;
    switch (key) {
        case Key::Backspace: return to_parent(app, surface);
        case Key::Tab: return set_tab(app, surface, next_tab(app, modifiers.shift));
        case Key::Escape:
            if (query_active(app) || app.selected_extension) {
                set_query(app, {});
                clamp_scroll(app, surface);
            } else if (selected) {
                app.selection = NO_NODE;
                app.selected.clear();
            } else {
                return {};
            }
            return CHANGED;
        case Key::Enter:
            if (!selected) return {};
            if (app.tree && app.selection < app.tree->nodes.size() &&
                (node_at(*app.tree, app.selection).flags & FLAG_DIR))
                return open_folder(app, surface, app.selection, NO_NODE);
            return asking(Command{CommandKind::OpenItem, app.selection});
        case Key::F5: return asking(Command{CommandKind::AnalyzeAgain});
        case Key::A:
            if (!modifiers.control || listed_nodes(app).empty()) return {};
            select_all(app);
            return CHANGED;
        case Key::C:
            if (!modifiers.control || !selected) return {};
            return asking(Command{CommandKind::CopyPath, app.selection});
        case Key::Delete:
            if (!selected) return {};
            return asking(Command{CommandKind::RecycleItem, app.selection});
        case Key::Up:
        case Key::Down:
        case Key::PageUp:
        case Key::PageDown:
        case Key::Home:
        case Key::End: {
            const NodeIndex from = app.selection;
            if (!move_selection(app, key, list_geometry(app, surface))) return {};
            if (modifiers.shift) {
                extend_selection(app, from);
            } else {
                pick(app, app.selection, Pick::One);
            }
            return CHANGED;
        }
        case Key::Left:
        case Key::Right:
        case Key::Space:
        case Key::O:
        case Key::F:
        case Key::V:
        case Key::X:
        case Key::Y:
        case Key::Z:
        case Key::Other: return {};
    }
    return {};
}

Reaction search_edited(App& app, const Surface& surface, FieldChange change) {
    if (change == FieldChange::Nothing) return {};
    if (app.search.text != app.query_text) {
        set_query(app, app.search.text);
        clamp_scroll(app, surface);
    }
    return CHANGED;
}

Reaction type_text(App& app, const Surface& surface, std::string_view text) {
    if (app.screen != Screen::Results || text.empty()) return {};
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return {};
    if (app.focus.area != FocusArea::Search) {
        // A space in the list is no search: it would only start the query with a blank.
        if (app.focus.area != FocusArea::List || text == " ") return {};
        app.focus = Focus{FocusArea::Search};
        place_caret(app.search, app.search.text.size(), false);
    }
    return search_edited(app, surface, insert_text(app.search, text, Clock::now()));
}

bool compose(App& app, std::string_view composition) {
    if (app.screen != Screen::Results) return false;
    if (app.focus.area != FocusArea::Search) {
        if (app.focus.area != FocusArea::List) return false;
        app.focus = Focus{FocusArea::Search};
        place_caret(app.search, app.search.text.size(), false);
    }
    app.search.composition = composition;
    return true;
}

std::optional<Box> search_caret(const App& app, const Surface& surface) {
    const std::optional<Box> field = search_box(view_input(app, surface));
    if (!field || !surface.measure) return std::nullopt;
    const auto width = body_width(surface);
    const Box room = search_text_box(*field, surface.scale);
    const std::string shown = shown_text(app.search);
    const std::size_t caret = std::min(app.search.caret + app.search.composition.size(), shown.size());
    const float x = width(std::string_view(shown).substr(0, caret));
    return Box{room.x + x - search_text_shift(x, room), field->y, 1, field->height};
}

Reaction right_click(App& app, HitTarget target, float x, float y) {
    NodeIndex node = NO_NODE;
    if (target.kind == HitKind::Tile) node = static_cast<NodeIndex>(target.payload);
    if (target.kind == HitKind::Row) node = row_node(app, target.payload);
    if (node == NO_NODE || !app.tree || node >= app.tree->nodes.size()) return {};
    if (is_selected(app, node)) {
        app.selection = node;  // within the set: the menu acts on all of it
    } else {
        pick(app, node, Pick::One);
    }
    return Reaction{true, Command{CommandKind::ItemMenu, node, x, y}, false, false};
}

Reaction menu_key(App& app, const Surface& surface) {
    const NodeIndex node = app.selection;
    if (app.screen != Screen::Results || !app.tree || node >= app.tree->nodes.size()) return {};
    const ViewInput in = view_input(app, surface);
    const Box view = list_viewport(in);
    const float indent = scaled(16, in.scale);
    std::optional<std::pair<float, float>> row_point;
    for (std::size_t row = 0; row < in.row_count; ++row) {
        if (row_node(app, row) != node) continue;
        // Below the row's middle, so the menu leaves the row itself in sight.
        const double y = view.y + (static_cast<double>(row) + 0.5) * row_height(in) - app.scroll;
        const auto middle = static_cast<float>(
            std::clamp(y, static_cast<double>(view.y), static_cast<double>(view.y + view.height)));
        row_point = std::pair{view.x + indent, middle};
        break;
    }
    std::optional<std::pair<float, float>> tile_point;
    if (in.tiles) {
        for (const TreemapRect& tile : *in.tiles) {
            if (tile.node == node) tile_point = std::pair{tile.x + tile.width / 2, tile.y + tile.height / 2};
        }
    }
    const bool in_treemap = app.focus.area == FocusArea::Treemap;
    const std::pair<float, float> at = in_treemap && tile_point ? *tile_point
                                       : row_point              ? *row_point
                                       : tile_point             ? *tile_point
                                                                : std::pair{view.x + indent, view.y};
    return Reaction{false, Command{CommandKind::ItemMenu, node, at.first, at.second}, false, false};
}

Reaction side_button(App& app, const Surface& surface) {
    if (!app.tree) return {};
    return to_parent(app, surface);
}

Reaction wheel(App& app, const Surface& surface, int delta, float x, float y) {
    if (app.screen != Screen::Results) return {};
    const ViewInput in = view_input(app, surface);
    if (!list_viewport(in).contains(x, y)) return {};
    app.scroll = wheel_scroll(in, delta);
    // The rows moved under a still pointer.
    app.hover = hit_test(view_input(app, surface), x, y);
    return CHANGED;
}

Reaction pointer_moved(App& app, const Surface& surface, float x, float y) {
    const ViewInput in = view_input(app, surface);
    if (app.dragging) {
        const std::optional<ScrollThumb> thumb = scroll_thumb(in);
        if (!thumb) return {};
        app.scroll = drag_scroll(in, *thumb, y, app.grab);
        return CHANGED;
    }
    const HitTarget target = hit_test(in, x, y);
    if (target == app.hover) return {};
    app.hover = target;
    return CHANGED;
}

Reaction pointer_left(App& app) {
    if (app.hover == HitTarget{}) return {};
    app.hover = HitTarget{};
    return CHANGED;
}

Reaction button_released(App& app) {
    if (!app.dragging) return {};
    app.dragging = false;
    return Reaction{true, std::nullopt, false, true};
}

Reaction capture_lost(App& app) {
    if (!app.dragging) return {};
    app.dragging = false;
    return CHANGED;
}

bool can_recycle(const App& app, NodeIndex node, const EnvironmentLookup& environment,
                 std::span<const std::string> known_folders) {
    if (!app.tree || app.tree->imported || node == 0 || node >= app.tree->nodes.size()) return false;
    return !is_protected(real_path_of(*app.tree, node), environment, known_folders);
}

}  // namespace spadrim
