// The description of the current screen. See access.h.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "app/access/access.h"
#include "app/input/navigation.h"
#include "app/input/selection.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "scan/drives.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// Appends elements under the one currently open, keeping the links between siblings.
struct Builder {
    ScreenDescription screen;
    std::vector<std::uint32_t> open;

    std::uint32_t add(Element element) {
        const auto index = static_cast<std::uint32_t>(screen.elements.size());
        if (!open.empty()) {
            Element& parent = screen.elements[open.back()];
            element.parent = open.back();
            element.previous = parent.last_child;
            if (parent.last_child != NO_ELEMENT) screen.elements[parent.last_child].next = index;
            if (parent.first_child == NO_ELEMENT) parent.first_child = index;
            parent.last_child = index;
        }
        screen.elements.push_back(std::move(element));
        return index;
    }
    void enter(std::uint32_t index) { open.push_back(index); }
    void leave() { open.pop_back(); }
};

Element element(Piece piece, Role role, std::string name, Box box, std::uint64_t item = 0,
                std::uint64_t era = 0) {
    Element made;
    made.key = ElementKey{piece, item, era};
    made.role = role;
    made.name = std::move(name);
    made.box = box;
    return made;
}

Element pressable(Piece piece, Role role, std::string name, Box box, HitTarget target, std::uint64_t item = 0,
                  std::uint64_t era = 0) {
    Element made = element(piece, role, std::move(name), box, item, era);
    made.abilities = CAN_INVOKE;
    made.target = target;
    return made;
}

// A drive card's identity: its index alone would pass the element on to another drive after the list
// changed.
std::uint64_t name_hash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

float measure(const ViewInput& in, std::string_view text, TextStyle style) {
    return in.measure ? in.measure(text, style) : 0.0f;
}

std::string_view button_name(HitKind kind) {
    switch (kind) {
        case HitKind::Home: return tr("홈", "Home");
        case HitKind::Up: return tr("위로", "Up");
        case HitKind::Refresh: return tr("다시 검사", "Analyze again");
        case HitKind::Menu: return tr("메뉴", "Menu");
        default: return {};
    }
}

// What sits between the header's left buttons and its right ones: the path while scanning, the
// breadcrumb on the results.
void describe_header_middle(Builder& b, const App& app, const ViewInput& in) {
    if (app.screen == Screen::Scanning && app.scan_job) {
        b.add(
            element(Piece::ScanFolder, Role::Text, shown_form(app.scan_job->root_path), header_path_box(in)));
    }
    if (app.screen != Screen::Results || !app.tree) return;
    const std::vector<Crumb> crumbs = breadcrumb(in);
    for (std::size_t c = 0; c < crumbs.size(); ++c) {
        const Crumb& crumb = crumbs[c];
        if (crumb.link && c + 1 != crumbs.size()) {
            b.add(pressable(Piece::Crumb, Role::Link, crumb.label, crumb.box,
                            HitTarget{HitKind::Crumb, crumb.node}, crumb.node, app.tree_numbering));
        } else {
            // The current folder, or the ellipsis standing for folders left out.
            b.add(element(Piece::Crumb, Role::Text, crumb.label, crumb.box, crumb.link ? crumb.node : c,
                          crumb.link ? app.tree_numbering : UINT64_MAX));
        }
    }
    if (const std::optional<Box> field = search_box(in)) {
        Element made = element(Piece::SearchField, Role::Edit, std::string(tr("검색", "Search")), *field);
        made.value = app.search.text;
        made.abilities = CAN_EDIT;
        made.target = HitTarget{HitKind::SearchField, 0};
        if (app.focus.area == FocusArea::Search) made.states |= FOCUSED;
        b.add(std::move(made));
    }
}

void describe_header(Builder& b, const App& app, const ViewInput& in) {
    const std::vector<HeaderButton> buttons = header_buttons(in);
    const bool header_focus = app.screen == Screen::Results && app.focus.area == FocusArea::Header;
    const std::size_t focused_button = buttons.empty() ? 0 : std::min(app.focus.button, buttons.size() - 1);
    const auto right = std::find_if(buttons.begin(), buttons.end(),
                                    [&](const HeaderButton& button) { return button.box.x > in.width / 2; });
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttons.begin() + static_cast<std::ptrdiff_t>(i) == right) describe_header_middle(b, app, in);
        const HeaderButton& button = buttons[i];
        Element made =
            pressable(Piece::HeaderButton, Role::Button, std::string(button_name(button.kind)), button.box,
                      HitTarget{button.kind, 0}, static_cast<std::uint64_t>(button.kind));
        if (!header_button_enabled(app, button.kind)) made.states |= DISABLED;
        if (header_focus && i == focused_button) made.states |= FOCUSED;
        b.add(std::move(made));
    }
    if (right == buttons.end()) describe_header_middle(b, app, in);
}

void describe_home(Builder& b, const App& app, const ViewInput& in) {
    const HomeCards home = home_cards(in);
    b.add(element(Piece::Heading, Role::Text,
                  std::string(tr("무엇이 디스크를 차지하고 있을까요?", "What is taking up your disk space?")),
                  home.title));
    b.add(
        element(Piece::Tagline, Role::Text,
                std::string(tr("드라이브나 폴더를 고르면 큰 것부터 보여 드립니다. 이 PC 밖으로는 아무것도 "
                               "나가지 않습니다.",
                               "Pick a drive or folder and the biggest things show up first. Nothing leaves "
                               "this PC.")),
                home.tagline));
    for (std::size_t i = 0; i < home.cards.size(); ++i) {
        const HitTarget target{HitKind::DriveCard, i};
        if (i < app.drives.size()) {
            const DriveInfo& drive = app.drives[i];
            b.add(pressable(Piece::DriveCard, Role::Button,
                            drive_title(drive) + ", " + drive_space_text(drive), home.cards[i], target, i,
                            name_hash(drive.root)));
        } else {
            Element card =
                pressable(Piece::FolderCard, Role::Button,
                          std::string(tr("폴더 고르기…", "Choose a folder…")), home.cards[i], target);
            card.help = tr("폴더 하나만 빠르게 분석하기", "Analyze just one folder, quickly");
            b.add(std::move(card));
        }
    }
    if (home.recycle_line && in.recycle_bin) {
        b.add(
            element(Piece::RecycleFigure, Role::Text, recycle_bin_text(*in.recycle_bin), *home.recycle_line));
        if (home.recycle_button) {
            Element button = pressable(Piece::RecycleButton, Role::Button,
                                       std::string(tr("휴지통 비우기", "Empty the Recycle Bin")),
                                       *home.recycle_button, HitTarget{HitKind::EmptyRecycleBin, 0});
            if (*in.recycle_bin == 0) button.states |= DISABLED;
            b.add(std::move(button));
        }
    }
    if (home.recent_heading) {
        b.add(element(Piece::RecentHeading, Role::Text, std::string(tr("최근 검사", "Recent scans")),
                      *home.recent_heading));
    }
    for (std::size_t i = 0; i < home.recent.size() && i < app.recent_scans.size(); ++i) {
        // A row stands for its file: another file in its place is another element.
        const std::uint64_t era = name_hash(app.recent_scans[i].file);
        RecentScanText text = recent_scan_text(app, i);
        Element row = pressable(Piece::RecentScan, Role::Button, text.root, home.recent[i].row,
                                HitTarget{HitKind::RecentScan, i}, i, era);
        row.help = std::move(text.details);
        b.add(std::move(row));
        Element compare =
            pressable(Piece::CompareWithNow, Role::Button, std::string(tr("지금과 비교", "Compare with now")),
                      home.recent[i].compare, HitTarget{HitKind::CompareWithNow, i}, i, era);
        compare.help = std::move(text.root);
        b.add(std::move(compare));
    }
}

void describe_progress(Builder& b, const App& app, const ViewInput& in) {
    if (!app.scan_job) return;
    const ScanJob& job = *app.scan_job;
    const ScanProgress& progress = *job.progress;
    const ProgressBoxes boxes = progress_boxes(in);
    const std::string heading(tr("분석하는 중…", "Analyzing…"));
    b.add(element(Piece::Heading, Role::Text, heading, boxes.heading));
    b.add(element(Piece::Figures, Role::Text, progress_text(progress.bytes, progress.files, progress.folders),
                  boxes.figures));
    Element bar = element(Piece::ScanBar, Role::ProgressBar, heading, boxes.track);
    bar.fraction = scan_share(job);
    b.add(std::move(bar));
    std::string path;
    {
        std::lock_guard hold(app.scan_job->progress->lock);
        path = progress.current_path;
    }
    b.add(element(Piece::ScanPath, Role::Text, std::move(path), boxes.path));
    b.add(element(Piece::Elapsed, Role::Text,
                  elapsed_text(std::chrono::duration<double>(Clock::now() - job.started).count()),
                  boxes.elapsed));
    b.add(pressable(Piece::Cancel, Role::Button, std::string(tr("취소", "Cancel")), cancel_button(in),
                    HitTarget{HitKind::CancelScan, 0}));
}

// A list is one tab of one folder of one tree. Its rows are what they stand for, a node, an extension or a
// duplicate set, so a row keeps its identity while the list scrolls, grows or has a set opened.
std::uint64_t list_era(const App& app) {
    return (app.tree_numbering << 35) | (static_cast<std::uint64_t>(app.current_folder) << 3) |
           static_cast<std::uint64_t>(app.tab);
}

std::uint64_t row_identity(const App& app, std::size_t row, const RowText& text) {
    if (text.node != NO_NODE) return text.node;
    if (text.change) return (3ull << 62) | text.change->before;  // gone: known by its earlier node
    if (app.tab == Tab::ByType) return (1ull << 62) | (name_hash(app.extension_rows[row].extension) >> 2);
    return (2ull << 62) | app.duplicate_rows[row].set;
}

void describe_list(Builder& b, const App& app, const ViewInput& in) {
    const Box strip = tab_strip(in);
    b.enter(b.add(element(Piece::Tabs, Role::TabList, {}, strip)));
    const std::vector<Box> tabs = tab_boxes(in);
    for (int t = 0; t < static_cast<int>(tabs.size()); ++t) {
        // Known by what it is, pressed at its place: Found moves along when Changes comes.
        const Tab tab = in.tabs[static_cast<std::size_t>(t)];
        Element made = pressable(
            Piece::Tab, Role::TabItem, std::string(tab_label(tab)), tabs[static_cast<std::size_t>(t)],
            HitTarget{HitKind::Tab, static_cast<std::uint64_t>(t)}, static_cast<std::uint64_t>(tab));
        made.abilities |= CAN_SELECT;
        if (tab == Tab::Duplicates && imported(app)) {  // greyed: a scan file holds no contents
            made.states |= DISABLED;
            made.help = std::string(duplicates_need_files_text());
        }
        if (tab == app.tab) {
            made.states |= SELECTED;
            if (app.focus.area == FocusArea::Tabs) made.states |= FOCUSED;
        }
        b.add(std::move(made));
    }
    b.leave();

    const Box view = list_viewport(in);
    const float row = row_height(in);
    const std::uint64_t folder_size = shown_totals(app, app.current_folder).size;
    Element listed =
        element(Piece::List, Role::List, std::string(tab_label(app.tab)), view, 0, list_era(app));
    if (app.tab != Tab::ByType) listed.abilities |= CAN_SELECT_MANY;  // By type picks one extension
    const std::uint32_t list = b.add(std::move(listed));
    b.enter(list);
    bool focus_on_row = false;
    const std::size_t first =
        row > 0 ? static_cast<std::size_t>(std::max(0.0, std::floor(app.scroll / row))) : 0;
    for (std::size_t i = first; i < in.row_count && row > 0; ++i) {
        const float y = view.y + static_cast<float>(i) * row - static_cast<float>(app.scroll);
        if (y > view.y + view.height) break;
        const std::optional<RowText> text = row_text(app, i);
        if (!text) continue;
        std::string name = text->label + ", ";
        if (text->change) {
            name += change_reading(*text->change);
        } else {
            name += format_size(text->size);
            if (const std::string share = share_text(text->size, folder_size); !share.empty())
                name += ", " + share;
        }
        const float top = std::max(y, view.y);
        Element made = element(Piece::Row, Role::ListItem, std::move(name),
                               Box{view.x, top, view.width, std::min(y + row, view.y + view.height) - top},
                               row_identity(app, i, *text), list_era(app));
        made.help = text->change ? std::string(change_help(text->change->change))
                                 : text->location.value_or(std::string());
        if (!text->modified.empty()) {
            made.help +=
                (made.help.empty() ? "" : ", ") + modified_text(node_at(*app.tree, text->node).mtime);
        }
        made.target = HitTarget{HitKind::Row, i};
        if (text->expanded) {
            made.abilities = CAN_INVOKE | CAN_EXPAND;
            if (*text->expanded) made.states |= EXPANDED;
        } else {
            made.abilities = CAN_INVOKE | CAN_SELECT;
        }
        if (row_selected(app, i)) {
            made.states |= SELECTED;
            // Of many selected rows the focused one is the selection itself.
            const NodeIndex node = row_node(app, i);
            if (app.focus.area == FocusArea::List && (node == NO_NODE || node == app.selection)) {
                made.states |= FOCUSED;
                focus_on_row = true;
            }
        }
        b.add(std::move(made));
    }
    if (in.row_count == 0) {
        const ListMessage message = list_message(in);
        if (app.tab == Tab::Duplicates && app.duplicate_job) {
            Element made = element(Piece::ListMessage, Role::Text,
                                   compare_progress_text(*app.duplicate_job->progress), message.heading);
            made.help = compare_note_text();
            b.add(std::move(made));
        } else if (app.tab == Tab::Duplicates && imported(app)) {
            b.add(element(Piece::ListMessage, Role::Text, std::string(duplicates_need_files_text()),
                          message.nothing_found));
        } else if (app.tab == Tab::Duplicates && app.duplicates.contains(app.current_folder)) {
            b.add(element(Piece::ListMessage, Role::Text, no_duplicates_text(), message.nothing_found));
        } else if (app.tab != Tab::Duplicates) {
            b.add(element(Piece::ListMessage, Role::Text, std::string(tr("비어 있음", "Empty")), view));
        }
    }
    b.leave();
    if (app.focus.area == FocusArea::List && !focus_on_row) b.screen.elements[list].states |= FOCUSED;

    if (const std::optional<std::string> warning = status_line(app)) {
        if (app.tab == Tab::Changes) {
            b.add(element(Piece::Warning, Role::Text, *warning, warning_text_box(in)));
            b.add(pressable(Piece::ChangesSort, Role::Button, change_order_text(app.change_order),
                            changes_sort_box(in), HitTarget{HitKind::ChangesSort, 0}));
        } else if (app.tab == Tab::Found) {
            b.add(element(Piece::Warning, Role::Text, *warning, found_footer_box(in)));
            b.add(pressable(Piece::FoundSort, Role::Button, found_order_text(app.found_order),
                            found_sort_box(in), HitTarget{HitKind::FoundSort, 0}));
        } else {
            b.add(element(Piece::Warning, Role::Text, *warning, warning_text_box(in)));
        }
    }
}

void describe_treemap(Builder& b, const App& app, const ViewInput& in) {
    const FileTree& tree = *app.tree;
    const std::uint64_t era = app.tree_numbering;
    Element group =
        element(Piece::Treemap, Role::Group, std::string(tr("트리맵", "Treemap")), treemap_box(in), 0, era);
    group.help = path_of(tree, app.current_folder);
    const std::uint32_t map = b.add(std::move(group));
    const bool treemap_focus = app.focus.area == FocusArea::Treemap;
    bool focus_on_tile = false;
    b.enter(map);
    if (in.tiles) {
        // Tiles come a folder before its contents, so a folder's element is there for its tiles to join.
        std::unordered_map<NodeIndex, std::uint32_t> folders;
        for (const TreemapRect& tile : *in.tiles) {
            if (tile.node >= tree.nodes.size()) continue;
            const Node& node = node_at(tree, tile.node);
            std::string name(name_of(tree, tile.node));
            name += ", ";
            // On the Changes tab a tile is heard as its row is.
            const std::optional<ChangeRow> change =
                app.tab == Tab::Changes ? change_row_of(app, tile.node) : std::nullopt;
            name += change ? change_reading(*change)
                           : format_size(tile.is_folder ? shown_totals(app, tile.node).size : node.size);
            Element made = pressable(Piece::Tile, tile.is_folder ? Role::Group : Role::ListItem,
                                     std::move(name), Box{tile.x, tile.y, tile.width, tile.height},
                                     HitTarget{HitKind::Tile, tile.node}, tile.node, era);
            made.abilities |= CAN_SELECT;
            if (is_selected(app, tile.node)) made.states |= SELECTED;
            if (tile.node == app.selection && treemap_focus) {
                made.states |= FOCUSED;
                focus_on_tile = true;
            }
            const auto parent = folders.find(node.parent);
            b.open.push_back(parent != folders.end() ? parent->second : map);
            const std::uint32_t index = b.add(std::move(made));
            b.open.pop_back();
            if (tile.is_folder) folders.emplace(tile.node, index);
        }
        if (in.tiles->empty()) {
            b.add(element(Piece::TreemapMessage, Role::Text,
                          std::string(tr("크기가 있는 항목이 없습니다", "Nothing with a size to show")),
                          treemap_box(in)));
        }
    }
    int chip = 0;
    if (!app.query_error.empty()) {
        Element error = element(Piece::QueryError, Role::Text, app.query_error,
                                highlight_chip(in, measure(in, app.query_error, TextStyle::Small), chip++), 0,
                                name_hash(app.query_error));
        error.abilities = LIVE;  // said as it appears, while the keyboard stays in the field
        b.add(std::move(error));
    }
    if (const Search* search = shown_search(app)) {
        const std::string text = showing_text(search->query.text);
        b.add(element(Piece::Highlight, Role::Text, text,
                      highlight_chip(in, measure(in, text, TextStyle::Small), chip)));
    }
    b.leave();
    if (treemap_focus && !focus_on_tile) b.screen.elements[map].states |= FOCUSED;

    if (app.tab == Tab::Changes && changes_shown(app)) {
        // The growth colours' legend in place of the kinds'.
        const std::vector<SwatchEntry> entries = swatch_row(in, growth_legend());
        const Box area = treemap_box(in);
        const float top = area.y + area.height + 8 * in.scale;
        const Box legend_box{
            area.x, top, area.width,
            entries.empty() ? 6 * in.scale : entries.front().text.y + entries.front().text.height - top};
        b.enter(b.add(element(Piece::Legend, Role::Group, std::string(tab_label(Tab::Changes)), legend_box)));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Box& text = entries[i].text;
            b.add(element(
                Piece::LegendEntry, Role::Text, entries[i].label,
                Box{entries[i].swatch.x, text.y, text.x + text.width - entries[i].swatch.x, text.height},
                100 + i));
        }
        b.leave();
    } else {
        const Legend drawn = legend(in, kinds_list(app.kind_totals));
        Box legend_box{};
        if (!drawn.bar.empty()) {
            const Box bar = drawn.bar.front().second;
            const float bottom = drawn.entries.empty()
                                     ? bar.y + bar.height
                                     : drawn.entries.front().text.y + drawn.entries.front().text.height;
            legend_box = Box{bar.x, bar.y, treemap_box(in).width, bottom - bar.y};
        }
        b.enter(b.add(element(Piece::Legend, Role::Group, std::string(tab_label(Tab::ByType)), legend_box)));
        for (const LegendEntry& entry : drawn.entries) {
            const Box& text = entry.text;
            b.add(element(Piece::LegendEntry, Role::Text, entry.label,
                          Box{entry.swatch.x, text.y, text.x + text.width - entry.swatch.x, text.height},
                          static_cast<std::uint64_t>(entry.kind)));
        }
        b.leave();
    }

    const StatusDetails details = status_details(app);
    const float status = status_height(in);
    Element line = element(Piece::Status, Role::StatusBar, details.first + details.second,
                           Box{0, std::max(in.height, 0.0f) - status, std::max(in.width, 0.0f), status});
    if (app.volume) line.help = free_space_text(*app.volume);
    b.add(std::move(line));
}

}  // namespace

ScreenDescription describe(const App& app, const ViewInput& in) {
    Builder b;
    // Tiles are most of a large screen: growing the vector would move every element again.
    b.screen.elements.reserve(96 + (in.tiles ? in.tiles->size() : 0));
    b.enter(b.add(element(Piece::Window, Role::Window, window_title(app),
                          Box{0, 0, std::max(in.width, 0.0f), std::max(in.height, 0.0f)})));
    describe_header(b, app, in);
    if (app.screen == Screen::Home) {
        describe_home(b, app, in);
        const std::vector<FocusStop> stops = home_stops(in);
        if (!stops.empty()) {
            const HitTarget focused = stops[std::min(app.focus.home, stops.size() - 1)].target;
            for (Element& made : b.screen.elements) {
                if (made.abilities & CAN_INVOKE && made.target == focused) made.states |= FOCUSED;
            }
        }
    }
    if (app.screen == Screen::Scanning) describe_progress(b, app, in);
    if (app.screen == Screen::Results && app.tree) {
        describe_list(b, app, in);
        describe_treemap(b, app, in);
    }
    if (!app.notice.empty()) {
        Element notice =
            element(Piece::Notice, Role::Text, app.notice,
                    notice_pill(in, measure(in, app.notice, TextStyle::Body)), 0, app.notice_serial);
        notice.abilities = LIVE;
        b.add(std::move(notice));
    }
    return std::move(b.screen);
}

std::uint32_t find_element(const ScreenDescription& screen, const ElementKey& key) {
    for (std::size_t i = 0; i < screen.elements.size(); ++i) {
        if (screen.elements[i].key == key) return static_cast<std::uint32_t>(i);
    }
    return NO_ELEMENT;
}

std::uint32_t focused_element(const ScreenDescription& screen) {
    for (std::size_t i = 0; i < screen.elements.size(); ++i) {
        if (screen.elements[i].states & FOCUSED) return static_cast<std::uint32_t>(i);
    }
    return NO_ELEMENT;
}

ScreenChanges changes_between(const ScreenDescription& before, const ScreenDescription& after) {
    ScreenChanges changes;
    changes.structure = !std::equal(
        before.elements.begin(), before.elements.end(), after.elements.begin(), after.elements.end(),
        [](const Element& a, const Element& b) { return a.key == b.key && a.parent == b.parent; });
    const std::uint32_t was = focused_element(before);
    const std::uint32_t now = focused_element(after);
    if (now != NO_ELEMENT && (was == NO_ELEMENT || before.elements[was].key != after.elements[now].key))
        changes.focus = after.elements[now].key;
    for (const Element& element : after.elements) {
        if ((element.abilities & LIVE) && find_element(before, element.key) == NO_ELEMENT)
            changes.notice = element.key;
    }
    return changes;
}

}  // namespace spadrim
