// spadrim-cli: the scan engine from a console. It plays the window's part: starts a Scan with the same
// start_scan / finish_scan as the window, redraws a progress line on a terminal every 120 ms, and prints
// the root's folder list (or the matches of --find, or its changes since an earlier scan file) as text, JSON
// or CSV. Exit codes: 0 done; 1 folder not found, a volume or scan file not read, or an export, a picture or
// the report not written; 2 bad usage or a query that cannot be read; 130 cancelled with Ctrl+C.
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/app.h"
#include "app/texts.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/svg.h"
#include "cli/text.h"
#include "compare/compare.h"
#include "config.h"
#include "kinds/kinds.h"
#include "kinds/times.h"
#include "ncdu/ncdu.h"
#include "ncdu/zfile.h"
#include "query/query.h"
#include "scan/folder.h"
#include "scan/paths.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

int output_error = 0;  // the first error writing standard output, told when the program ends

void write(std::FILE* to, std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), to) != text.size() && to == stdout && output_error == 0)
        output_error = errno;
}

// One line of text output. Names, paths and volume labels come from outside and may hold control
// characters; the whole line is escaped, as nothing of ours needs a control character inside a line.
void add_line(std::string& out, std::string_view line) {
    out += terminal_text(line);
    out += '\n';
}

// Writes a whole file beside its destination and renames it into place, so that a write that fails
// midway (a full disk) leaves the destination as it was rather than cut.
bool write_aside(const std::string& path, std::string_view bytes) {
    const std::string part = path + ".part";
    std::ofstream file(std::filesystem::path(std::u8string(part.begin(), part.end())), std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (file && replace_file(part, path)) return true;
    remove_file(part);
    return false;
}

// Standard output is buffered: what could not be written shows when the rest is pushed out. A report
// that never reached its reader (a full disk, a closed pipe) is a failure, not a success.
int finish_output(int code) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
    if (output_error == 0) output_error = errno;
    std::string message = "spadrim-cli: could not write the standard output";
    if (output_error != 0) message += std::string(": ") + std::strerror(output_error);
    write(stderr, message + "\n");
    return code == 0 ? 1 : code;
}

std::string pad_left(std::string text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string pad_right(std::string text, std::size_t width) {
    return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
}

nlohmann::ordered_json drives_json(const App& app) {
    nlohmann::ordered_json drives = nlohmann::ordered_json::array();
    for (const DriveInfo& drive : app.drives) {
        drives.push_back({{"root", drive.root},
                          {"title", drive_title(drive)},
                          {"label", drive.label},
                          {"total", drive.total},
                          {"free", drive.free},
                          {"removable", drive.removable},
                          {"network", drive.network}});
    }
    return {{"version", VERSION}, {"drives", drives}, {"recycle_bin_bytes", app.recycle_bin_bytes}};
}

std::string dump(const nlohmann::ordered_json& document) {
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int list_drives_command(const CliOptions& options) {
    App app;
    list_drives(app);
    if (options.json) {
        write(stdout, dump(drives_json(app)));
        return 0;
    }
    std::string out;
    for (const DriveInfo& drive : app.drives) {
        std::string line = drive_title(drive) + "  ·  " + drive_space_text(drive);
        if (drive_usage(drive)) {  // no share for a volume that does not report its size
            line += "  ·  " + share_text(drive.total - std::min(drive.free, drive.total), drive.total);
        }
        add_line(out, line);
    }
    write(stdout, out);
    return 0;
}

// When an entry was last written, in ISO 8601 UTC; null where the source did not say.
nlohmann::ordered_json modified_json(std::uint32_t mtime) {
    return mtime == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(iso_8601_utc(mtime));
}

// Visits the rows of a listing in the order they are shown and, down to --depth levels, each folder's
// entries right after its row, at most --top of them (0: all): visit(entry, level, opened), where opened
// says that the entry's own entries follow (a folder within the depth, even an empty one). below(entry)
// gives a folder's entries in their order, or nothing for a file. Iterative: a deep tree must not exhaust
// the stack.
template <typename Entry, typename Below, typename Visit>
void visit_nested(const std::vector<Entry>& rows, const CliOptions& options, Below below, Visit visit) {
    struct Pending {
        Entry entry;
        unsigned level;
    };
    std::vector<Pending> stack;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        stack.push_back(Pending{*it, 0});
    while (!stack.empty()) {
        Pending next = std::move(stack.back());
        stack.pop_back();
        std::optional<std::vector<Entry>> inside;
        if (next.level < options.depth) inside = below(next.entry);
        visit(next.entry, next.level, inside.has_value());
        if (!inside) continue;
        if (options.top != 0 && inside->size() > options.top) inside->resize(options.top);
        for (auto it = inside->rbegin(); it != inside->rend(); ++it)
            stack.push_back(Pending{std::move(*it), next.level + 1});
    }
}

// The rows as a JSON array (visit_nested's), an opened folder's row holding its entries as "children".
template <typename Entry, typename Below, typename Row>
nlohmann::ordered_json nested_json(const std::vector<Entry>& rows, const CliOptions& options, Below below,
                                   Row row) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    // The array each open level adds to: an entry's row is the last of its level until the next one at
    // that level or above comes, which closes the levels below it.
    std::vector<nlohmann::ordered_json*> into{&all};
    visit_nested(rows, options, below, [&](const Entry& entry, unsigned level, bool opened) {
        into.resize(level + 1);
        into[level]->push_back(row(entry));
        if (opened) into.push_back(&(into[level]->back()["children"] = nlohmann::ordered_json::array()));
    });
    return all;
}

// An earlier scan and how the scan compares with it.
struct Compared {
    FileTree before;
    Comparison comparison;
};

// A row of the changes with its path, which is under the later scan's root also for what is gone.
struct ChangeEntry {
    ChangeRow row;
    std::string path;
};

bool is_folder(const Compared& compared, const FileTree& after, const ChangeRow& row) {
    return row.after != NO_NODE ? (node_at(after, row.after).flags & FLAG_DIR) != 0
                                : (node_at(compared.before, row.before).flags & FLAG_DIR) != 0;
}

// What changed in a folder given by its row (nothing for a file), largest increase first, unchanged
// entries left out. A folder that is gone lists its entries as gone.
std::optional<std::vector<ChangeEntry>> changes_in(const Compared& compared, const FileTree& after,
                                                   const ChangeEntry& folder) {
    const ChangeRow& row = folder.row;
    if (!is_folder(compared, after, row)) return std::nullopt;
    std::vector<ChangeRow> rows;
    if (row.after != NO_NODE) {
        rows =
            change_rows(compared.comparison, compared.before, after, row.after, ChangeOrder::Increase, false);
    } else {
        // Everything in it is gone: largest decrease last, equal ones by name, as change_rows orders them.
        for (const NodeIndex gone : sorted_children(compared.before, row.before))
            rows.push_back(ChangeRow{NO_NODE, gone, node_at(compared.before, gone).size, 0, Change::Removed});
        std::stable_sort(rows.begin(), rows.end(), [](const ChangeRow& a, const ChangeRow& b) {
            return a.before_size < b.before_size;
        });
    }
    std::vector<ChangeEntry> entries;
    entries.reserve(rows.size());
    for (const ChangeRow& change : rows) {
        const std::string_view name =
            change.after != NO_NODE ? name_of(after, change.after) : name_of(compared.before, change.before);
        entries.push_back(ChangeEntry{change, folder.path});
        append_path(entries.back().path, name, separator_of(after));
    }
    return entries;
}

// The comparison's first level: what changed in the root.
std::vector<ChangeEntry> root_changes(const CliOptions& options, const Compared& compared,
                                      const FileTree& after) {
    const ChangeRow root{0, 0, 0, 0, Change::Unchanged};
    std::vector<ChangeEntry> rows = *changes_in(compared, after, ChangeEntry{root, path_of(after, 0)});
    if (options.top != 0 && rows.size() > options.top) rows.resize(options.top);
    return rows;
}

// When a scan was made, in ISO 8601 UTC; null where its source did not say.
nlohmann::ordered_json when_json(std::int64_t when) {
    return when == 0 ? nlohmann::ordered_json(nullptr) : modified_json(mtime_from_unix(when));
}

nlohmann::ordered_json totals_json(const FileTree& tree) {
    const CompareTotals totals = totals_of(tree);
    return {{"root", path_of(tree, 0)},
            {"size", totals.size},
            {"files", totals.files},
            {"folders", totals.folders},
            {"when", when_json(tree.when)}};
}

// The comparison, as the JSON document's "compare".
nlohmann::ordered_json compare_json(const CliOptions& options, const Compared& compared,
                                    const FileTree& after) {
    const auto row_json = [&](const ChangeEntry& entry) {
        return nlohmann::ordered_json{{"path", entry.path},
                                      {"before", entry.row.before_size},
                                      {"after", entry.row.after_size},
                                      {"delta", entry.row.delta()},
                                      {"status", change_word(entry.row.change)},
                                      {"dir", is_folder(compared, after, entry.row)}};
    };
    const auto below = [&](const ChangeEntry& entry) { return changes_in(compared, after, entry); };
    return {{"before", totals_json(compared.before)},
            {"after", totals_json(after)},
            {"new_files", compared.comparison.new_files},
            {"removed_files", compared.comparison.removed_files},
            {"changes", nested_json(root_changes(options, compared, after), options, below, row_json)}};
}

// What --find found, as the JSON document's "found".
nlohmann::ordered_json found_json(const CliOptions& options, const FileTree& tree, const Found& matches) {
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    for (const NodeIndex i : matches.items) {
        const Node& node = node_at(tree, i);
        const bool dir = (node.flags & FLAG_DIR) != 0;
        items.push_back({{"path", path_of(tree, i)},
                         {"size", node.size},
                         {"modified", modified_json(node.mtime)},
                         {"kind", dir ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(node.kind)},
                         {"dir", dir}});
    }
    return {{"query", *options.find}, {"count", matches.items.size()}, {"size", matches.size},
            {"files", matches.files}, {"folders", matches.folders},    {"items", items}};
}

// Everything the scan produced, as one JSON document.
nlohmann::ordered_json report_json(const CliOptions& options, const App& app, const ScanProgress& progress,
                                   double elapsed, const std::vector<NodeIndex>& children,
                                   const std::optional<DuplicatesFound>& duplicates,
                                   const std::optional<Found>& matches,
                                   const std::optional<Compared>& compared) {
    const FileTree& tree = *app.tree;
    const Node& root = node_at(tree, 0);
    const auto entry_row = [&](NodeIndex i) {
        const Node& node = node_at(tree, i);
        return nlohmann::ordered_json{{"name", name_of(tree, i)},
                                      {"size", node.size},
                                      {"files", node.file_count},
                                      {"dir", (node.flags & FLAG_DIR) != 0},
                                      {"link", (node.flags & FLAG_LINK) != 0},
                                      {"cloud_only", (node.flags & FLAG_CLOUD_ONLY) != 0},
                                      {"unreadable", (node.flags & FLAG_UNREADABLE) != 0},
                                      {"modified", modified_json(node.mtime)}};
    };
    const auto entries_below = [&](NodeIndex i) -> std::optional<std::vector<NodeIndex>> {
        if (!(node_at(tree, i).flags & FLAG_DIR)) return std::nullopt;
        return sorted_children(tree, i);
    };
    const nlohmann::ordered_json rows = nested_json(children, options, entries_below, entry_row);
    nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
    for (const KindTotal& kind : kinds_list(app.kind_totals)) {
        kinds.push_back(
            {{"kind", static_cast<int>(kind.kind)}, {"label", kind_label(kind.kind)}, {"size", kind.total}});
    }
    // The reports that cost a walk of their own are there when asked for, as in the text output.
    nlohmann::ordered_json largest = nullptr;
    if (options.largest) {
        largest = nlohmann::ordered_json::array();
        for (const NodeIndex i : largest_files(tree, 0, options.largest)) {
            largest.push_back({{"path", path_of(tree, i)},
                               {"size", node_at(tree, i).size},
                               {"modified", modified_json(node_at(tree, i).mtime)}});
        }
    }
    nlohmann::ordered_json by_type = nullptr;
    if (options.by_type) {
        by_type = nlohmann::ordered_json::array();
        for (const ExtensionRow& row : extension_rows(tree, 0)) {
            by_type.push_back(
                {{"ext", row.extension}, {"kind", row.kind}, {"size", row.total}, {"count", row.count}});
        }
    }
    nlohmann::ordered_json found = nullptr;
    if (duplicates) {
        nlohmann::ordered_json sets = nlohmann::ordered_json::array();
        for (const DuplicateSet& set : duplicates->sets) {
            nlohmann::ordered_json paths = nlohmann::ordered_json::array();
            for (const NodeIndex member : set.members)
                paths.push_back(path_of(tree, member));
            sets.push_back({{"size", set.size},
                            {"digest", digest_hex(set.digest)},
                            {"wasted", wasted_bytes(set)},
                            {"paths", paths}});
        }
        found = {{"sets", sets}, {"could_not_open", duplicates->failed}};
    }
    const std::optional<std::string> status = status_line(app);
    return {{"version", VERSION},
            {"root", path_of(tree, 0)},
            {"size", root.size},
            {"files", root.file_count},
            {"folders", progress.folders.load()},
            {"unreadable_folders", tree.unreadable_folders},
            {"incomplete", tree.left_out != 0},  // the walk filled the tree: entries are missing
            {"entries_left_out", tree.left_out},
            {"elapsed_s", elapsed},
            {"children", rows},
            {"kinds", kinds},
            {"largest", largest},
            {"by_type", by_type},
            {"duplicates", found},
            {"found", matches ? found_json(options, tree, *matches) : nlohmann::ordered_json(nullptr)},
            {"compare", compared ? compare_json(options, *compared, tree) : nlohmann::ordered_json(nullptr)},
            {"status", status ? nlohmann::ordered_json(*status) : nlohmann::ordered_json(nullptr)}};
}

// The report as CSV for a spreadsheet: UTF-8 with a BOM (without one Excel reads it in the system's
// code page), a header row, then one row per item with its full path. With --find the matches; else the
// folder list's entries and, when asked for, the largest files, told apart by the first column. Paths
// are full, so no cell starts with a character a spreadsheet would take for a formula.
std::string report_csv(const CliOptions& options, const App& app, const std::vector<NodeIndex>& children,
                       const std::optional<Found>& matches) {
    const FileTree& tree = *app.tree;
    std::string out = "\xEF\xBB\xBF";
    out += csv_record({"list", "path", "size", "size_shown", "files", "modified", "kind", "dir"});
    const auto row = [&](std::string_view list, NodeIndex i) {
        const Node& node = node_at(tree, i);
        const bool dir = (node.flags & FLAG_DIR) != 0;
        out += csv_record({list, path_of(tree, i), std::to_string(node.size), format_size(node.size),
                           std::to_string(node.file_count), iso_8601_utc(node.mtime),
                           dir ? std::string_view() : kind_label(static_cast<FileKind>(node.kind & 7)),
                           dir ? "true" : "false"});
    };
    if (matches) {
        for (const NodeIndex i : matches->items)
            row("found", i);
        return out;
    }
    for (const NodeIndex i : children)
        row("folders", i);
    if (options.largest) {
        for (const NodeIndex i : largest_files(tree, 0, options.largest))
            row("largest", i);
    }
    return out;
}

// A change of size with an ASCII sign, which a script reading the text takes for a number's: "+3.20 GB",
// "-512 B".
std::string delta_text(std::int64_t delta) {
    const std::uint64_t magnitude =
        delta < 0 ? 0 - static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(delta);
    return (delta < 0 ? "-" : "+") + format_size(magnitude);
}

// The comparison as text: each scan's root, time and totals, the earlier first, then what changed,
// largest increase first, each with its change and its size before and after ("-" where it was not);
// with --depth a folder's changes follow it, indented.
void add_compare_text(std::string& out, const CliOptions& options, const Compared& compared,
                      const FileTree& after) {
    for (const FileTree* tree : {&compared.before, &after}) {
        std::string line = path_of(*tree, 0);
        if (tree->when != 0) line += "  ·  " + format_time(mtime_from_unix(tree->when));
        add_line(out, line);
        const CompareTotals totals = totals_of(*tree);
        add_line(out, "    " + progress_text(totals.size, totals.files, totals.folders));
    }
    out += "\n";
    const auto below = [&](const ChangeEntry& entry) { return changes_in(compared, after, entry); };
    visit_nested(
        root_changes(options, compared, after), options, below,
        [&](const ChangeEntry& entry, unsigned level, bool) {
            const ChangeRow& row = entry.row;
            std::string line =
                pad_left(delta_text(row.delta()), 10) + "  " +
                pad_left(row.change == Change::New ? "-" : format_size(row.before_size), 10) + " → " +
                pad_right(row.change == Change::Removed ? "-" : format_size(row.after_size), 10) +
                std::string(2 * level, ' ');
            line += row.after != NO_NODE ? name_of(after, row.after) : name_of(compared.before, row.before);
            if (is_folder(compared, after, row)) line += separator_of(after);
            add_line(out, line);
        });
}

std::string report_text(const CliOptions& options, const App& app, const std::vector<NodeIndex>& children,
                        const std::optional<DuplicatesFound>& duplicates,
                        const std::optional<std::string>& duplicate_status,
                        const std::optional<Found>& matches, const std::optional<Compared>& compared) {
    const FileTree& tree = *app.tree;
    const Node& root = node_at(tree, 0);
    std::string out;
    // With --compare the comparison stands in the folder list's place.
    if (compared) add_compare_text(out, options, *compared, tree);
    if (!compared) add_line(out, path_of(tree, 0));
    // With --find its matches stand in the folder list's place, largest first, then their total.
    for (const NodeIndex i : matches ? matches->items : std::vector<NodeIndex>{}) {
        const Node& node = node_at(tree, i);
        std::string line = pad_left(format_size(node.size), 10) + "  " + path_of(tree, i);
        if (node.flags & FLAG_DIR) line += separator_of(tree);
        add_line(out, line);
    }
    if (matches) add_line(out, files_text(matches->files) + "  ·  " + format_size(matches->size));
    for (const NodeIndex i : matches || compared ? std::vector<NodeIndex>{} : children) {
        const Node& node = node_at(tree, i);
        std::string line = pad_left(format_size(node.size), 10) + "  " +
                           pad_left(share_text(node.size, root.size), 6) + "  ";
        line += name_of(tree, i);
        if (node.flags & FLAG_DIR) line += separator_of(tree);
        if ((node.flags & FLAG_DIR) && !(node.flags & (FLAG_LINK | FLAG_UNREADABLE))) {
            line += "   " + files_text(node.file_count);
        }
        if (const std::string_view badge = badge_text(node.flags); !badge.empty()) {
            line += "  (" + std::string(badge) + ")";
        }
        add_line(out, line);
    }
    if (options.largest) {
        out += "\n";
        add_line(out, tab_label(Tab::LargestFiles));
        for (const NodeIndex i : largest_files(tree, 0, options.largest)) {
            add_line(out, pad_left(format_size(node_at(tree, i).size), 10) + "  " + path_of(tree, i));
        }
    }
    if (options.by_type) {
        out += "\n";
        add_line(out, tab_label(Tab::ByType));
        for (const KindTotal& kind : kinds_list(app.kind_totals)) {
            add_line(out, pad_left(format_size(kind.total), 10) + "  " +
                              pad_left(share_text(kind.total, root.size), 6) + "  " +
                              std::string(kind_label(kind.kind)));
        }
        out += "\n";
        for (const ExtensionRow& row : extension_rows(tree, 0)) {
            add_line(out, pad_left(format_size(row.total), 10) + "  " +
                              pad_left(share_text(row.total, root.size), 6) + "  " +
                              extension_text(row.extension) + "   " +
                              std::string(kind_label(static_cast<FileKind>(row.kind & 7))) + "  " +
                              files_text(row.count));
        }
    }
    if (duplicates) {
        out += "\n";
        add_line(out, tab_label(Tab::Duplicates));
        if (duplicates->sets.empty()) add_line(out, no_duplicates_text());
        for (const DuplicateSet& set : duplicates->sets) {
            add_line(out, duplicate_set_text(set));
            for (const NodeIndex member : set.members)
                add_line(out, "    " + path_of(tree, member));
        }
    }
    out += "\n";
    add_line(out, app.notice);
    if (const std::optional<std::string> status = status_line(app)) add_line(out, *status);
    if (duplicate_status) add_line(out, *duplicate_status);
    return out;
}

// Waits on the owner's wake-ups, redrawing a progress line on a terminal every 120 ms; cancels what
// runs when the user presses Ctrl+C. Returns once woken.
struct Waiter {
    std::mutex lock;
    std::condition_variable woken;
    int wakes = 0;
    std::atomic<bool> interrupted{false};

    std::function<void()> wake() {
        return [this] {
            {
                std::lock_guard hold(lock);
                ++wakes;
            }
            woken.notify_one();
        };
    }
    template <typename Draw, typename Cancel>
    void wait(Draw draw, Cancel cancel) {
        const bool show = stderr_is_terminal();
        std::size_t drawn = 0;  // the width of the line on screen, for the clean-up
        std::unique_lock hold(lock);
        while (!woken.wait_for(hold, std::chrono::milliseconds(120), [&] { return wakes > 0; })) {
            if (interrupted) cancel();
            // Measured at each redraw: the user may resize the terminal meanwhile. No line at all on
            // a terminal too narrow for one.
            const std::size_t width = show ? progress_width(terminal_columns()) : 0;
            if (width != 0) {
                write(stderr, "\r" + fit(terminal_text(draw()), width));
                std::fflush(stderr);
                drawn = std::max(drawn, width);
            }
        }
        --wakes;
        if (drawn != 0) {
            write(stderr,
                  "\r" + std::string(std::min(drawn, progress_width(terminal_columns())), ' ') + "\r");
        }
    }
};

std::string scan_progress_line(ScanProgress& progress) {
    std::string line = progress_text(progress.bytes, progress.files, progress.folders);
    std::lock_guard hold(progress.lock);
    if (!progress.current_path.empty()) line += "  " + progress.current_path;
    return line;
}

int scan_command(const CliOptions& options, const std::optional<Query>& query) {
    // Declared before the App: the threads it joins on destruction may still call wake.
    Waiter waiter;
    watch_interrupt(waiter.interrupted);

    // The earlier scan is read first: one that cannot be read is told before the scan is waited for.
    std::optional<FileTree> before;
    if (!options.compare_file.empty()) {
        ScanProgress reading;
        ImportOutcome read;
        {
            std::jthread reader([&] {
                read = read_ncdu_file(options.compare_file, reading);
                waiter.wake()();
            });
            waiter.wait([&] { return scan_progress_line(reading); }, [&] { reading.cancel = true; });
        }
        if (reading.cancel) return 130;
        if (!read.tree) {
            write(stderr, terminal_text("spadrim-cli: " + options.compare_file + ": " + read.error) + "\n");
            return 1;
        }
        before = std::move(read.tree);
    }

    App app;
    app.scan_threads = options.threads;
    app.wake_scan_owner = waiter.wake();
    app.wake_duplicates_owner = waiter.wake();
    const Clock::time_point started = Clock::now();
    const bool started_scan = !options.import_file.empty() ? start_import(app, options.import_file)
                              : !options.volume.empty()    ? start_volume_scan(app, options.volume)
                                                           : start_scan(app, options.folder, std::nullopt);
    if (!started_scan) {
        write(stderr, terminal_text(app.notice) + "\n");
        return 1;
    }
    const std::shared_ptr<ScanProgress> progress = app.scan_job->progress;
    waiter.wait([&] { return scan_progress_line(*progress); }, [&] { cancel_scan(app); });
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    finish_scan(app);
    if (app.screen != Screen::Results) {
        if (progress->cancel) return 130;
        write(stderr, terminal_text(app.notice) + "\n");  // a volume or scan file that could not be read
        return 1;
    }
    if (!options.export_file.empty()) {
        if (const std::optional<std::string> error = write_ncdu_file(*app.tree, options.export_file)) {
            write(stderr, terminal_text("spadrim-cli: " + *error) + "\n");
            return 1;
        }
        if (options.export_file == "-") return 0;
    }
    const std::string finish_text = app.notice;

    std::optional<DuplicatesFound> duplicates;
    std::optional<std::string> duplicate_status;
    if (options.duplicates) {
        app.tab = Tab::Duplicates;
        refresh_view(app);
        if (app.duplicate_job) {
            const std::shared_ptr<CompareProgress> compare = app.duplicate_job->progress;
            waiter.wait([&] { return compare_progress_text(*compare); }, [&] { compare->cancel = true; });
            if (compare->cancel) return 130;
            finish_duplicates(app);
        }
        if (const auto found = app.duplicates.find(0); found != app.duplicates.end())
            duplicates = found->second;
        duplicate_status = status_line(app);
        app.tab = Tab::Folders;
        refresh_view(app);
    }
    app.notice = finish_text;

    std::vector<NodeIndex> children = app.node_rows;
    if (options.top != 0 && children.size() > options.top) children.resize(options.top);
    if (!options.svg.empty()) {
        const std::string picture =
            treemap_svg(*app.tree, 0, app.kind_totals, options.svg_width, options.svg_height);
        if (!write_aside(options.svg, picture)) {
            write(stderr, terminal_text("spadrim-cli: could not write " + options.svg) + "\n");
            return 1;
        }
    }
    std::optional<Found> matches;
    if (query) matches = find_all(*query, *app.tree, 0);
    std::optional<Compared> compared;
    if (before) {
        Comparison comparison = compare_all(*before, *app.tree);
        compared = Compared{std::move(*before), std::move(comparison)};
    }
    if (options.json) {
        write(stdout,
              dump(report_json(options, app, *progress, elapsed, children, duplicates, matches, compared)));
    } else if (options.csv) {
        write(stdout, report_csv(options, app, children, matches));
    } else {
        write(stdout, report_text(options, app, children, duplicates, duplicate_status, matches, compared));
    }
    return 0;
}

int run(int argc, char** argv) {
    prepare_console();
    const ParsedOptions parsed = parse_options(utf8_arguments(argc, argv));
    if (!parsed.options) {
        write(stderr, terminal_text("spadrim-cli: " + parsed.error) + "\n" + std::string(CLI_USAGE));
        return 2;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        write(stdout, CLI_USAGE);
        return finish_output(0);
    }
    if (!options.language.empty()) choose_language(options.language);
    // The query is read before anything is scanned: one that cannot be read is bad usage.
    std::optional<Query> query;
    if (options.find) {
        QueryContext context;
        context.now = static_cast<std::int64_t>(std::time(nullptr));
        for (int k = 0; k < KIND_COUNT; ++k)
            context.kind_labels[static_cast<std::size_t>(k)] = kind_label(static_cast<FileKind>(k));
        QueryParse read = parse_query(*options.find, context);
        if (!read.query) {
            write(stderr, terminal_text("spadrim-cli: " + read.error) + "\n");
            return 2;
        }
        query = std::move(read.query);
    }
    return finish_output(options.drives ? list_drives_command(options) : scan_command(options, query));
}

}  // namespace
}  // namespace spadrim

int main(int argc, char** argv) {
    return spadrim::run(argc, argv);
}
