// Starting, cancelling and collecting Scans on the UI thread. See app.h.
#include "app/app.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "ncdu/ncdu.h"
#include "ntfs/mft.h"
#include "ntfs/source.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// Joins the scan threads that have already published; the others keep winding down.
void reap_runners(App& app) {
    std::erase_if(app.scan_runners, [](const JobRunner& runner) { return runner.finished->load(); });
}

// Ends what the running Scan and comparison were doing and numbers the Scan about to start.
std::uint64_t next_scan(App& app) {
    cancel_scan(app);
    cancel_duplicates(app);
    reap_runners(app);
    return ++app.scan_generation;
}

}  // namespace

App::App() = default;

App::~App() {
    cancel_scan(*this);
    cancel_duplicates(*this);
    if (baseline_progress) baseline_progress->cancel = true;
    if (refreshing) refreshing->progress->cancel = true;
    watch.reset();
    wait_for_save(*this);  // a scan being remembered as the window closes is still remembered
    scan_runners.clear();  // jthread joins
    refresh_runners.clear();
    duplicate_runners.clear();
    baseline_runners.clear();
}

void show_notice(App& app, std::string text) {
    app.notice = std::move(text);
    app.notice_shown = Clock::now();
    ++app.notice_serial;  // the window starts its expiry timer anew
}

void list_drives(App& app) {
    app.drives = query_drives();
    app.recycle_bin_bytes = recycle_bin_bytes();
    refresh_volume(app);
}

void refresh_volume(App& app) {
    // A scan file's root names a folder of another machine, or of this one at another time.
    app.volume = app.tree && !app.tree->imported ? volume_space(app.tree->root_path) : std::nullopt;
}

void cancel_scan(App& app) {
    if (app.scan_job) app.scan_job->progress->cancel = true;
}

bool start_scan(App& app, std::string_view folder, std::optional<std::string> restore_path) {
    std::string path = absolute_path(folder);
    if (!folder_exists(path)) {
        show_notice(app, std::string(tr("폴더를 찾을 수 없습니다", "Folder not found")) +
                             std::string(label_colon()) + path);
        return false;
    }
    const std::uint64_t generation = next_scan(app);
    auto progress = std::make_shared<ScanProgress>();
    const std::uint64_t expected =
        expected_bytes(path, is_drive_root(path) ? volume_space(path) : std::nullopt);
    const unsigned threads = app.scan_threads ? app.scan_threads : worker_count();
    // The thread holds its own references: it may outlive this job when a newer Scan replaces it.
    auto finished = std::make_shared<std::atomic<bool>>(false);
    app.scan_runners.push_back(JobRunner{
        finished,
        std::jthread([root = path, progress, generation, slot = app.scan_slot, wake = app.wake_scan_owner,
                      threads, lister = app.scan_lister, finished, volume = mft_volume_for(path)] {
            // A whole local NTFS drive, elevated: its MFT gives the same tree many times faster. Should
            // that fail for any reason, the walk takes over as if it had not been tried.
            if (volume) {
                std::string error;
                if (const std::optional<ReadAt> read = open_volume_source(*volume, error)) {
                    MftOutcome mft = read_mft(root, *read, *progress);
                    if (mft.tree || progress->cancel) {
                        put_outcome(*slot, ScanOutcome{generation, std::move(mft.tree)});
                        wake();
                        *finished = true;
                        return;
                    }
                    progress->files = 0;
                    progress->bytes = 0;
                    progress->folders = 0;
                }
            }
            run_scan(root, *progress, generation, *slot, wake, threads, lister);
            *finished = true;
        })});
    app.scan_job = ScanJob{
        std::move(path), std::move(restore_path), Clock::now(), std::move(progress), generation, expected};
    app.screen = Screen::Scanning;
    return true;
}

namespace {

// A Scan whose tree comes from one reader on a thread of its own instead of a walk: a volume's MFT, a
// scan file. `read` gives the tree, or why there is none.
void start_reading(App& app, std::string_view source, std::function<ScanOutcome(ScanProgress&)> read) {
    const std::uint64_t generation = next_scan(app);
    auto progress = std::make_shared<ScanProgress>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    app.scan_runners.push_back(
        JobRunner{finished, std::jthread([read = std::move(read), progress, generation, slot = app.scan_slot,
                                          wake = app.wake_scan_owner, finished] {
                      ScanOutcome outcome = read(*progress);
                      outcome.generation = generation;
                      if (progress->cancel) outcome.error.clear();  // a cancelled read says nothing
                      put_outcome(*slot, std::move(outcome));
                      wake();
                      *finished = true;
                  })});
    app.scan_job =
        ScanJob{std::string(source), std::nullopt, Clock::now(), std::move(progress), generation, 0};
    app.screen = Screen::Scanning;
}

}  // namespace

bool start_volume_scan(App& app, std::string_view source) {
    std::string error;
    std::optional<ReadAt> read = open_volume_source(std::string(source), error);
    if (!read) {
        show_notice(app, std::string(source) + ": " + error);
        return false;
    }
    start_reading(app, source, [root = std::string(source), read = std::move(*read)](ScanProgress& progress) {
        MftOutcome mft = read_mft(root, read, progress);
        return ScanOutcome{0, std::move(mft.tree), std::move(mft.error)};
    });
    return true;
}

bool start_import(App& app, std::string_view file) {
    start_reading(app, file, [path = std::string(file)](ScanProgress& progress) {
        ImportOutcome read = read_ncdu_file(path, progress);
        return ScanOutcome{0, std::move(read.tree), std::move(read.error)};
    });
    return true;
}

void finish_scan(App& app) {
    std::optional<ScanOutcome> outcome = take_outcome(*app.scan_slot);
    if (!outcome) return;
    if (!app.scan_job || app.scan_job->generation != outcome->generation) return;  // stale
    const ScanJob job = std::move(*app.scan_job);
    app.scan_job.reset();

    if (!outcome->tree) {
        app.compare_next.reset();  // it was for this Scan's tree
        app.screen = app.tree ? Screen::Results : Screen::Home;
        if (app.screen == Screen::Home) request_drives(app);
        if (!outcome->error.empty()) show_notice(app, job.root_path + ": " + outcome->error);
        return;
    }
    // A save of the old tree still reads it. Waiting costs at most a fraction of the scan it saves, which
    // cancelling would lose.
    wait_for_save(app);
    app.tree = std::move(outcome->tree);
    if (app.tree->when == 0 && !app.tree->imported) {
        // When the walk began: what the tree shows is the disk as found from then on.
        const auto began =
            std::chrono::system_clock::now() -
            std::chrono::duration_cast<std::chrono::system_clock::duration>(Clock::now() - job.started);
        app.tree->when = std::chrono::duration_cast<std::chrono::seconds>(began.time_since_epoch()).count();
    }
    app.screen = Screen::Results;
    app.selection = NO_NODE;
    app.selected.clear();
    app.selected_extension.reset();
    app.duplicates.clear();
    app.duplicates_stale.clear();
    app.expanded_sets.clear();
    drop_refreshes(app);  // they were for the old tree
    ++app.tree_generation;
    ++app.tree_numbering;
    NodeIndex target = job.restore_path ? find_path(*app.tree, *job.restore_path) : 0;
    // The folder on screen may have become a file since; the old current folder is an index into the
    // old tree and means nothing in the new one, so the root is shown then.
    if (!(node_at(*app.tree, target).flags & FLAG_DIR)) target = 0;
    app.current_folder = target;
    app.scroll = 0;
    refresh_volume(app);
    find_baseline(app);  // what this tree is compared with: the Changes tab goes until it is
    start_following(app);
    refresh_view(app);

    const std::chrono::duration<double> elapsed = Clock::now() - job.started;
    show_notice(app, walk_done_text(node_at(*app.tree, 0), elapsed.count()));
    remember_scan(app);
}

}  // namespace spadrim
