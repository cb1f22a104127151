// Comparing the results with an earlier scan. See app.h.
//
// The earlier scan is read on a worker like an imported one; the comparison itself runs in slices on the
// UI thread, as a search does, since it only reads the two trees the UI thread owns.
#include <algorithm>
#include <chrono>

#include "app/app.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "kinds/times.h"
#include "ncdu/ncdu.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// Entries compared between two looks at the clock: well under a millisecond.
constexpr std::size_t SLICE_ENTRIES = 8192;
// What a baseline's arrival spends comparing before the window draws again; the rest runs from the timer.
constexpr Clock::duration FIRST_SLICE = std::chrono::milliseconds(8);
constexpr std::int64_t DAY_SECONDS = 86'400;

// Forgets the earlier scan and its comparison: they matched a tree that is no longer the one shown.
void drop_comparison(App& app) {
    app.baseline.reset();
    app.baseline_file.clear();
    app.baseline_when = 0;
    app.comparison.reset();
    app.recomparing.reset();
    app.change_rows.clear();
    if (app.tab == Tab::Changes) app.tab = Tab::Folders;
}

// Stops the running read of a baseline, if any; its outcome, should it still come, is dropped.
void stop_reading(App& app) {
    if (app.baseline_progress) app.baseline_progress->cancel = true;
    app.baseline_progress.reset();
    app.baseline_reading = false;
    ++app.baseline_generation;
    std::erase_if(app.baseline_runners, [](const JobRunner& runner) { return runner.finished->load(); });
}

std::string_view month_text(unsigned month) {
    switch (month) {
        case 1: return tr("1월", "Jan");
        case 2: return tr("2월", "Feb");
        case 3: return tr("3월", "Mar");
        case 4: return tr("4월", "Apr");
        case 5: return tr("5월", "May");
        case 6: return tr("6월", "Jun");
        case 7: return tr("7월", "Jul");
        case 8: return tr("8월", "Aug");
        case 9: return tr("9월", "Sep");
        case 10: return tr("10월", "Oct");
        case 11: return tr("11월", "Nov");
        default: return tr("12월", "Dec");
    }
}

// "3 Dec 2026" on this machine's calendar, in each language's order.
std::string date_text(std::int64_t when) {
    const auto at = static_cast<std::uint32_t>(std::clamp<std::int64_t>(when, 1, UINT32_MAX));
    const std::int64_t local = when + local_offset(at);
    const std::chrono::year_month_day day{
        std::chrono::floor<std::chrono::days>(std::chrono::sys_seconds{std::chrono::seconds(local)})};
    return substitute(
        tr("{0}년 {1} {2}일", "{2} {1} {0}"),
        {std::to_string(static_cast<int>(day.year())), month_text(static_cast<unsigned>(day.month())),
         std::to_string(static_cast<unsigned>(day.day()))});
}

}  // namespace

void find_baseline(App& app) {
    stop_reading(app);
    drop_comparison(app);
    std::optional<std::string> file = std::move(app.compare_next);
    app.compare_next.reset();
    if (!app.tree) return;
    if (!file && !app.scans_folder.empty()) {
        const std::vector<RememberedScan> remembered = list_remembered(app.scans_folder);
        if (const std::optional<RememberedScan> earlier = earlier_scan(remembered, *app.tree, app.tree->when))
            file = earlier->file;
    }
    if (file) start_baseline(app, std::move(*file));
}

void start_baseline(App& app, std::string file) {
    stop_reading(app);
    const std::uint64_t generation = app.baseline_generation;
    auto progress = std::make_shared<ScanProgress>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    app.baseline_runners.push_back(JobRunner{
        finished, std::jthread([file, progress, generation, slot = app.baseline_slot,
                                wake = app.wake_baseline_owner, finished] {
            ImportOutcome read = read_ncdu_file(file, *progress);
            if (!progress->cancel) {
                std::lock_guard hold(slot->lock);
                // An older read that ends late never takes the place of a newer one not yet collected.
                if (!slot->read || slot->read->generation < generation)
                    slot->read = BaselineRead{generation, std::move(read.tree), std::move(read.error), file};
            }
            wake();
            *finished = true;
        })});
    app.baseline_progress = std::move(progress);
    app.baseline_reading = true;
}

void finish_baseline(App& app) {
    std::optional<BaselineRead> read;
    {
        std::lock_guard hold(app.baseline_slot->lock);
        read = std::move(app.baseline_slot->read);
        app.baseline_slot->read.reset();
    }
    if (!read || read->generation != app.baseline_generation || !app.baseline_reading) return;  // stale
    app.baseline_reading = false;
    app.baseline_progress.reset();
    if (!read->tree) {
        // The results and whatever they were compared with stay as they are.
        show_notice(app, read->file + ": " + (read->error.empty() ? std::string("?") : read->error));
        return;
    }
    if (!app.tree) return;
    const bool on_changes = app.tab == Tab::Changes;
    drop_comparison(app);
    app.baseline = std::move(read->tree);
    app.baseline_file = std::move(read->file);
    app.baseline_when = app.baseline->when;
    app.comparison = start_compare(*app.baseline, *app.tree);
    app.comparison_tree_generation = app.tree_generation;
    // A small pair is compared at once; a large one goes on from the timer.
    advance_changes(app, FIRST_SLICE);
    if (on_changes && changes_shown(app)) {
        app.tab = Tab::Changes;
        refresh_view(app);
    }
}

void recompare(App& app) {
    if (!app.comparison || !app.baseline || !app.tree) return;
    app.recomparing = start_compare(*app.baseline, *app.tree);
    app.comparison_tree_generation = app.tree_generation;
}

bool advance_changes(App& app, Clock::duration budget) {
    if (!app.baseline || !app.tree) return false;
    // The comparison of the tree as it is now, once the first is done: the first stays shown till then.
    const bool again = app.recomparing.has_value();
    Comparison* running = again ? &*app.recomparing : app.comparison ? &*app.comparison : nullptr;
    if (!running || running->done) return false;
    const Clock::time_point until = Clock::now() + budget;
    do {
        if (advance_compare(*running, *app.baseline, *app.tree, SLICE_ENTRIES)) {
            if (again) {
                app.comparison = std::move(app.recomparing);
                app.recomparing.reset();
            }
            refresh_view(app);
            return false;
        }
    } while (Clock::now() < until);
    return true;
}

bool changes_shown(const App& app) {
    return app.tree && app.baseline && app.comparison && app.comparison->done;
}

std::vector<Tab> shown_tabs(const App& app) {
    std::vector<Tab> tabs{Tab::Folders, Tab::LargestFiles, Tab::ByType, Tab::Duplicates};
    if (changes_shown(app)) tabs.push_back(Tab::Changes);
    if (query_active(app)) tabs.push_back(Tab::Found);
    return tabs;
}

std::optional<ChangeRow> change_row_of(const App& app, NodeIndex node) {
    if (!changes_shown(app) || node >= app.tree->nodes.size()) return std::nullopt;
    const Comparison& comparison = *app.comparison;
    ChangeRow row;
    row.after = node;
    row.before = node < comparison.before_of.size() ? comparison.before_of[node] : NO_NODE;
    row.change = change_of(comparison, *app.baseline, *app.tree, node);
    row.before_size = row.before == NO_NODE ? 0 : node_at(*app.baseline, row.before).size;
    row.after_size = row.change == Change::Removed ? 0 : node_at(*app.tree, node).size;
    return row;
}

ChangesHeader changes_header_parts(const App& app) {
    ChangesHeader header;
    if (!changes_shown(app)) return header;
    const std::int64_t delta = static_cast<std::int64_t>(node_at(*app.tree, 0).size) -
                               static_cast<std::int64_t>(node_at(*app.baseline, 0).size);
    const std::string size = signed_size(delta);
    if (app.baseline_when == 0) {
        header.change = substitute(tr("이전 검사 이후 {0}", "{0} since the earlier scan"), {size});
    } else if (app.tree->when == 0 || app.tree->when < app.baseline_when) {
        header.change = substitute(tr("{1} 이후 {0}", "{0} since {1}"), {size, date_text(app.baseline_when)});
    } else {
        const std::int64_t days = (app.tree->when - app.baseline_when) / DAY_SECONDS;
        header.change =
            substitute(with_counts(tr("{1} 이후 {0} ({2}일)", "{0} since {1} ({2} days)"),
                                   {{2, static_cast<std::uint64_t>(days)}}),
                       {size, date_text(app.baseline_when), format_count(static_cast<std::uint64_t>(days))});
    }
    const std::uint64_t added = app.comparison->new_files;
    const std::uint64_t removed = app.comparison->removed_files;
    header.counts =
        substitute(with_counts(tr("새 파일 {0}개", "{0} new files"), {{0, added}}), {format_count(added)}) +
        " · " + substitute(tr("사라진 파일 {0}개", "{0} removed"), {format_count(removed)});
    // Roots that differ (a copy, a drive that moved letter) are both named: the breadcrumb shows the
    // later one, the header the earlier.
    if (app.baseline->root_path != app.tree->root_path) {
        header.counts += " · ";
        header.counts += substitute(tr("이전: {0}", "before: {0}"), {app.baseline->root_path});
    }
    return header;
}

std::string changes_header(const App& app) {
    const ChangesHeader header = changes_header_parts(app);
    if (header.change.empty()) return {};
    return header.change + " · " + header.counts;
}

}  // namespace spadrim
