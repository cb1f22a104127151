// spadrim-cli: the scan engine from a console. It plays the window's part: starts a Scan with the same
// start_scan / finish_scan as the window, redraws a progress line on a terminal every 120 ms, and prints
// the root's folder list as text or JSON. Exit codes: 0 done, 1 folder not found, 2 bad usage,
// 130 cancelled with Ctrl+C.
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/app.h"
#include "app/texts.h"
#include "cli/console.h"
#include "cli/options.h"
#include "config.h"
#include "kinds/kinds.h"
#include "scan/folder.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

void write(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
}

// At most `columns` code points of text, padded to that width. Callers leave room for the "^C" that a
// terminal echoes, so that the line never wraps and the next redraw or the clean-up overwrites it.
std::string fit(std::string_view text, std::size_t columns) {
    std::size_t points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++points > columns) {
            return std::string(text.substr(0, i));
        }
    }
    return std::string(text) + std::string(columns - points, ' ');
}

void draw_progress(ScanProgress& progress) {
    std::string line = progress_text(progress.bytes, progress.files, progress.folders);
    {
        std::lock_guard hold(progress.lock);
        if (!progress.current_path.empty()) line += "  " + progress.current_path;
    }
    write(stderr, "\r" + fit(line, terminal_columns() - 3));
    std::fflush(stderr);
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
    for (const DriveInfo& drive : app.drives) {
        std::string line = drive_title(drive) + "  ·  " + drive_space_text(drive);
        if (drive_usage(drive)) {  // no share for a volume that does not report its size
            line += "  ·  " + share_text(drive.total - std::min(drive.free, drive.total), drive.total);
        }
        write(stdout, line + "\n");
    }
    return 0;
}

void print_tree(const CliOptions& options, const FileTree& tree, const ScanProgress& progress, double elapsed,
                const std::string& finish_text) {
    const Node& root = node_at(tree, 0);
    std::vector<NodeIndex> children = sorted_children(tree, 0);
    if (options.top != 0 && children.size() > options.top) children.resize(options.top);

    if (options.json) {
        nlohmann::ordered_json rows = nlohmann::ordered_json::array();
        for (NodeIndex i : children) {
            const Node& node = node_at(tree, i);
            rows.push_back({{"name", name_of(tree, i)},
                            {"size", node.size},
                            {"files", node.file_count},
                            {"dir", (node.flags & FLAG_DIR) != 0},
                            {"link", (node.flags & FLAG_LINK) != 0},
                            {"cloud_only", (node.flags & FLAG_CLOUD_ONLY) != 0},
                            {"unreadable", (node.flags & FLAG_UNREADABLE) != 0}});
        }
        const nlohmann::ordered_json document = {{"version", VERSION},
                                                 {"root", tree.root_path},
                                                 {"size", root.size},
                                                 {"files", root.file_count},
                                                 {"folders", progress.folders.load()},
                                                 {"unreadable_folders", tree.unreadable_folders},
                                                 {"elapsed_s", elapsed},
                                                 {"children", rows}};
        write(stdout, dump(document));
        return;
    }
    std::string out = tree.root_path + "\n";
    for (NodeIndex i : children) {
        const Node& node = node_at(tree, i);
        out += pad_left(format_size(node.size), 10) + "  " + pad_left(share_text(node.size, root.size), 6) +
               "  ";
        out += name_of(tree, i);
        if (node.flags & FLAG_DIR) out += PATH_SEPARATOR;
        if ((node.flags & FLAG_DIR) && !(node.flags & (FLAG_LINK | FLAG_UNREADABLE))) {
            out += "   " + files_text(node.file_count);
        }
        if (const std::string_view badge = badge_text(node.flags); !badge.empty()) {
            out += "  (" + std::string(badge) + ")";
        }
        out += "\n";
    }
    out += "\n" + finish_text + "\n";
    if (const std::string unreadable = unreadable_text(tree.unreadable_folders); !unreadable.empty()) {
        out += unreadable + "\n";
    }
    write(stdout, out);
}

int scan_command(const CliOptions& options) {
    // Declared before the App: the scan threads it joins on destruction may still call wake.
    std::mutex lock;
    std::condition_variable woken;
    bool outcome_ready = false;
    std::atomic<bool> interrupted{false};
    watch_interrupt(interrupted);

    App app;
    app.scan_threads = options.threads;
    app.wake_scan_owner = [&] {
        {
            std::lock_guard hold(lock);
            outcome_ready = true;
        }
        woken.notify_one();
    };
    const Clock::time_point started = Clock::now();
    if (!start_scan(app, options.folder, std::nullopt)) {
        write(stderr, app.notice + "\n");
        return 1;
    }
    const std::shared_ptr<ScanProgress> progress = app.scan_job->progress;
    const bool show_progress = stderr_is_terminal();
    {
        std::unique_lock hold(lock);
        while (!woken.wait_for(hold, std::chrono::milliseconds(120), [&] { return outcome_ready; })) {
            if (interrupted) cancel_scan(app);
            if (show_progress) draw_progress(*progress);
        }
    }
    if (show_progress) write(stderr, "\r" + std::string(terminal_columns() - 3, ' ') + "\r");
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    finish_scan(app);
    if (app.screen != Screen::Results) return 130;
    print_tree(options, *app.tree, *progress, elapsed, app.notice);
    return 0;
}

int run(int argc, char** argv) {
    prepare_console();
    const ParsedOptions parsed = parse_options(utf8_arguments(argc, argv));
    if (!parsed.options) {
        write(stderr, "spadrim-cli: " + parsed.error + "\n" + std::string(CLI_USAGE));
        return 2;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        write(stdout, CLI_USAGE);
        return 0;
    }
    if (!options.language.empty()) choose_language(options.language);
    return options.drives ? list_drives_command(options) : scan_command(options);
}

}  // namespace
}  // namespace spadrim

int main(int argc, char** argv) {
    return spadrim::run(argc, argv);
}
