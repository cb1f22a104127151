// spadrim-cli: the scan engine from a console. It plays the window's part: starts a Scan with the same
// start_scan / finish_scan as the window, redraws a progress line on a terminal every 120 ms, and prints
// the root's folder list (or the matches of --find) as text, JSON or CSV. Exit codes: 0 done; 1 folder not
// found, a volume or scan file not read, or an export, a picture or the report not written; 2 bad usage
// or a query that cannot be read; 130 cancelled with Ctrl+C.
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/app.h"
#include "app/texts.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/svg.h"
#include "cli/text.h"
#include "config.h"
#include "kinds/kinds.h"
#include "kinds/times.h"
#include "ncdu/ncdu.h"
#include "ncdu/zfile.h"
#include "query/query.h"
#include "scan/folder.h"
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
                                   const std::optional<Found>& matches) {
    const FileTree& tree = *app.tree;
    const Node& root = node_at(tree, 0);
    // Rows of a folder's entries; with --depth, a folder's row holds its own entries, level by level
    // (iteratively: a deep tree must not exhaust the stack).
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
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    struct Level {
        NodeIndex node;
        nlohmann::ordered_json* into;
        unsigned depth;
    };
    std::vector<Level> levels;
    for (const NodeIndex i : children) {
        rows.push_back(entry_row(i));
        if (options.depth > 0) levels.push_back(Level{i, nullptr, 1});
    }
    for (std::size_t k = 0; k < levels.size(); ++k) {
        if (levels[k].into == nullptr) levels[k].into = &rows[k];
    }
    while (!levels.empty()) {
        const Level level = levels.back();
        levels.pop_back();
        if (!(node_at(tree, level.node).flags & FLAG_DIR)) continue;
        nlohmann::ordered_json& entries = (*level.into)["children"] = nlohmann::ordered_json::array();
        std::vector<NodeIndex> below = sorted_children(tree, level.node);
        if (options.top != 0 && below.size() > options.top) below.resize(options.top);
        for (const NodeIndex i : below)
            entries.push_back(entry_row(i));
        if (level.depth >= options.depth) continue;
        for (std::size_t k = 0; k < below.size(); ++k)
            levels.push_back(Level{below[k], &entries[k], level.depth + 1});
    }
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

std::string report_text(const CliOptions& options, const App& app, const std::vector<NodeIndex>& children,
                        const std::optional<DuplicatesFound>& duplicates,
                        const std::optional<std::string>& duplicate_status,
                        const std::optional<Found>& matches) {
    const FileTree& tree = *app.tree;
    const Node& root = node_at(tree, 0);
    std::string out;
    add_line(out, path_of(tree, 0));
    // With --find its matches stand in the folder list's place, largest first, then their total.
    for (const NodeIndex i : matches ? matches->items : std::vector<NodeIndex>{}) {
        const Node& node = node_at(tree, i);
        std::string line = pad_left(format_size(node.size), 10) + "  " + path_of(tree, i);
        if (node.flags & FLAG_DIR) line += separator_of(tree);
        add_line(out, line);
    }
    if (matches) add_line(out, files_text(matches->files) + "  ·  " + format_size(matches->size));
    for (const NodeIndex i : matches ? std::vector<NodeIndex>{} : children) {
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
    if (options.json) {
        write(stdout, dump(report_json(options, app, *progress, elapsed, children, duplicates, matches)));
    } else if (options.csv) {
        write(stdout, report_csv(options, app, children, matches));
    } else {
        write(stdout, report_text(options, app, children, duplicates, duplicate_status, matches));
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
