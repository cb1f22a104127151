// The query of the search field and what the results show of it. See app.h.
//
// The whole tree is searched once per query, whatever folder is open: the Found list and the filter then
// only look up the part below the current folder, so drilling down costs no new search.
#include <algorithm>
#include <chrono>

#include "app/app.h"
#include "kinds/kinds.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// Nodes examined between two looks at the clock: well under a millisecond of matching.
constexpr std::size_t SLICE_NODES = 4096;
// What a keystroke spends on its search before the window draws again; the rest runs from the timer.
constexpr Clock::duration FIRST_SLICE = std::chrono::milliseconds(8);

std::string_view trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

QueryContext query_context() {
    QueryContext context;
    context.now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    for (int kind = 0; kind < KIND_COUNT; ++kind)
        context.kind_labels[static_cast<std::size_t>(kind)] = kind_label(static_cast<FileKind>(kind));
    return context;
}

void start_query(App& app, Query query) {
    app.searching.reset();
    if (!app.tree) return;  // searched once a tree is there (refresh_view)
    app.searching = start_search(std::move(query), *app.tree, 0, app.tree_generation);
    app.searching_numbering = app.tree_numbering;
}

// Whether results of another tree generation still name the same nodes: the tree only changed in place
// (a folder brought up to date, items moved to the Recycle Bin), so they may stay shown meanwhile.
bool still_readable(const App& app, const Search& results) {
    return results.done && app.results_numbering == app.tree_numbering &&
           results.tree_generation <= app.tree_generation;
}

void show_results(App& app);

}  // namespace

void follow_tree(App& app) {
    if (!app.tree) return;
    std::optional<Query> again;
    if (app.searching && app.searching->tree_generation != app.tree_generation)
        again = std::move(app.searching->query);
    if (app.results && app.results->tree_generation != app.tree_generation) {
        if (!again && !app.searching) again = app.results->query;
        // Kept on screen, without flicker, while they still name the same nodes.
        if (!still_readable(app, *app.results)) {
            app.results.reset();
            ++app.results_generation;
        }
    }
    if (!again && !app.searching && !app.results && query_active(app) && app.query_error.empty()) {
        if (QueryParse parsed = parse_query(app.query_text, query_context()); parsed.query)
            again = std::move(*parsed.query);
    }
    if (again) start_query(app, std::move(*again));
}

namespace {

void show_results(App& app) {
    app.results_numbering = app.searching_numbering;
    app.results = std::move(app.searching);
    app.searching.reset();
    ++app.results_generation;
    refresh_view(app);
}

// Whether node lies below folder: parents have smaller indices than their children, so the climb
// stops as soon as it passes folder's index.
bool below(const FileTree& tree, NodeIndex node, NodeIndex folder) {
    NodeIndex at = node_at(tree, node).parent;
    while (at != NO_NODE && at > folder)
        at = node_at(tree, at).parent;
    return at == folder;
}

}  // namespace

void set_query(App& app, std::string_view text) {
    // The field shows a query set elsewhere too (a By type pick, Esc in the list).
    if (app.search.text != text) set_field_text(app.search, text);
    app.query_text = text;
    app.searching.reset();
    if (app.selected_extension && text != "ext:" + *app.selected_extension) app.selected_extension.reset();
    if (trimmed(text).empty()) {
        app.query_error.clear();
        app.results.reset();
        ++app.results_generation;
        if (app.tab == Tab::Found) app.tab = Tab::Folders;
        app.scroll = 0;
        refresh_view(app);
        return;
    }
    QueryParse parsed = parse_query(text, query_context());
    app.query_error = std::move(parsed.error);
    if (parsed.query) {
        app.query_error.clear();
        start_query(app, std::move(*parsed.query));
        advance_query(app, FIRST_SLICE);
    }
    refresh_view(app);
}

bool advance_query(App& app, Clock::duration budget) {
    follow_tree(app);
    if (!app.searching || !app.tree) return false;
    const Clock::time_point until = Clock::now() + budget;
    do {
        if (advance_search(*app.searching, *app.tree, SLICE_NODES)) {
            show_results(app);
            return false;
        }
    } while (Clock::now() < until);
    return true;
}

bool query_active(const App& app) {
    return !trimmed(app.query_text).empty();
}

int tab_count(const App& app) {
    return static_cast<int>(shown_tabs(app).size());
}

const Search* shown_search(const App& app) {
    if (!app.tree || !app.results || !app.results->done) return nullptr;
    if (app.results->tree_generation != app.tree_generation && !still_readable(app, *app.results))
        return nullptr;
    return &*app.results;
}

MatchTotals shown_totals(const App& app, NodeIndex node) {
    const Node& item = node_at(*app.tree, node);
    const MatchTotals own{item.size, item.file_count};
    const Search* search = shown_search(app);
    return search ? match_totals(*search, node) : own;
}

// What matches below the current folder when that folder matched or lies inside one that did: the
// search counted it whole, but opened it lists what matches inside. Paths are read below the searched
// root, so a query with a path is not read again from elsewhere.
std::optional<Found> found_inside_match(const App& app, const Search& search) {
    const NodeIndex folder = app.current_folder;
    if (folder == search.root || !within_match(search, folder)) return std::nullopt;
    for (const std::string& word : search.query.words) {
        if (word.find_first_of("/\\") != std::string::npos) return std::nullopt;
    }
    return find_all(search.query, *app.tree, folder);
}

std::vector<NodeIndex> found_rows(const App& app) {
    std::vector<NodeIndex> rows;
    const Search* search = shown_search(app);
    if (!search) return rows;
    const FileTree& tree = *app.tree;
    const NodeIndex folder = app.current_folder;
    if (std::optional<Found> inside = found_inside_match(app, *search)) {
        rows = std::move(inside->items);
        if (app.found_order != FoundOrder::Size) sort_found(rows, tree, app.found_order);
        return rows;
    }
    for (const NodeIndex item : search->found.items) {
        if (item != folder && !is_removed(tree, item) &&
            (folder == search->root || below(tree, item, folder)))
            rows.push_back(item);
    }
    if (app.found_order != FoundOrder::Size) sort_found(rows, tree, app.found_order);
    return rows;
}

std::string found_footer(const App& app) {
    const Search* search = shown_search(app);
    MatchTotals totals = search ? shown_totals(app, app.current_folder) : MatchTotals{};
    if (search) {
        if (const std::optional<Found> inside = found_inside_match(app, *search))
            totals = MatchTotals{inside->size, inside->files};
    }
    return substitute(with_counts(tr("파일 {0}개 · {1}", "{0} files · {1}"), {{0, totals.files}}),
                      {format_count(totals.files), format_size(totals.size)});
}

}  // namespace spadrim
