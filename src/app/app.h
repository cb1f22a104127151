// The application state: everything the window shows and the work it waits for.
//
// Owned by the UI thread and touched by no other. Workers reach the App only through mailboxes (the
// scan's ResultSlot) followed by a wake-up; the UI thread then collects (finish_scan). The same record
// drives the command-line front end, which plays the UI thread's part.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/hit.h"
#include "app/input/focus.h"
#include "app/input/text_field.h"
#include "app/summaries.h"
#include "compare/compare.h"
#include "dupes/dupes.h"
#include "follow/follow.h"
#include "follow/watch.h"
#include "query/query.h"
#include "remember/remember.h"
#include "scan/drives.h"
#include "scan/scan.h"
#include "scan/tree.h"

namespace spadrim {

enum class Screen {
    Home,
    Scanning,
    Results,
};

enum class Tab {
    Folders = 0,
    LargestFiles = 1,
    ByType = 2,
    Duplicates = 3,
    Found = 4,    // there only while a query is active
    Changes = 5,  // there only while the tree is compared with an earlier scan
};

// A line of the Duplicates tab: a set (member NO_NODE), or one member of an expanded set.
struct DuplicateRow {
    std::uint32_t set;
    NodeIndex member;
};

struct DuplicatesFound {
    std::vector<DuplicateSet> sets;
    std::uint32_t failed = 0;  // files that could not be opened or read
};

// The comparison running for one folder.
struct DuplicateJob {
    std::shared_ptr<CompareProgress> progress;
    std::uint64_t generation = 0;
    NodeIndex folder = 0;
    // Only these content lengths, whose sets replace those of the same lengths in the folder's result;
    // empty: every length, for a result of its own.
    std::set<std::uint64_t> lengths;
};

// What one query of a drive listing found, handed from its worker to the UI thread.
struct DriveAnswer {
    std::uint64_t generation = 0;  // of the listing that asked
    DriveKinds kinds = DriveKinds::Local;
    std::vector<DriveInfo> drives;
    std::optional<std::uint64_t> recycle_bin_bytes;  // measured with the local drives
};

// The answers of drive listings not yet taken, in the order they came.
struct DriveAnswers {
    std::mutex lock;
    std::vector<DriveAnswer> answers;
};

// A job thread, kept so that it is joined rather than left running.
struct JobRunner {
    std::shared_ptr<std::atomic<bool>> finished;
    std::jthread thread;
};

// The saving of a finished scan as a remembered one, on a thread of its own. It reads the tree, so the
// UI thread waits for it (wait_for_save) before it changes or replaces the tree.
struct SaveJob {
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::mutex> lock = std::make_shared<std::mutex>();
    std::shared_ptr<SaveOutcome> outcome = std::make_shared<SaveOutcome>();  // under lock, once finished
    JobRunner runner;
};

// An earlier scan read on a worker to compare the results with, handed to the UI thread.
struct BaselineRead {
    std::uint64_t generation = 0;  // of the BaselineJob that asked
    std::optional<FileTree> tree;
    std::string error;  // the reader's reason when there is no tree
    std::string file;   // the scan file read
};
struct BaselineSlot {
    std::mutex lock;
    std::optional<BaselineRead> read;
};

// Bringing folders of the tree on screen up to date (app/refresh.cpp): what one worker does for the UI
// thread, which splices what it brings into the tree.
struct RefreshTask {
    std::string path;   // a folder of the tree, as real_path_of gives it
    bool walk = false;  // walk it whole; else list its own entries only
};
struct RefreshResult {
    RefreshTask task;
    // What was found: a walk of task.path; or a listing of task.path, or of its nearest ancestor still
    // there (listed_path) when it is gone. Neither when the root itself is gone.
    std::optional<FileTree> walked;
    std::string listed_path;
    Listing listing = Listing::FAILED;
    std::vector<ListedEntry> entries;
};
struct RefreshOutcome {
    std::uint64_t generation = 0;
    std::vector<RefreshResult> results;  // as far as it got: fewer than the tasks when cancelled
};
struct RefreshSlot {
    std::mutex lock;
    std::vector<RefreshOutcome> outcomes;
};
struct RefreshJob {
    std::uint64_t generation = 0;
    std::shared_ptr<ScanProgress> progress;
    // Asked for by the user ("Analyze this folder again"): its progress is in the status line and Esc
    // cancels it. Else it follows changes on disk, unseen.
    bool asked = false;
    std::string shown;  // the folder asked for, as path_of shows it
    Clock::time_point started;
};

struct App {
    App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App();  // cancels the running Scan and comparison and waits for their threads

    Screen screen = Screen::Home;

    // Home screen.
    std::vector<DriveInfo> drives;
    std::uint64_t recycle_bin_bytes = 0;

    // Drive listings on workers (request_drives): the local drives answer first, the network ones when
    // their servers do, into drive_answers, each followed by wake_drives_owner (WM_APP+6 on Windows);
    // without one the drives are listed on the calling thread. One network query runs at a time: a
    // listing asked for meanwhile asks only the local drives, and the network ones once it has answered.
    std::shared_ptr<DriveAnswers> drive_answers = std::make_shared<DriveAnswers>();
    std::function<void()> wake_drives_owner;
    std::uint64_t drive_generation = 0;      // +1 per listing asked for
    std::uint64_t local_drives_shown = 0;    // the generation whose local drives are in `drives`
    std::uint64_t network_drives_shown = 0;  // and whose network drives are
    bool network_query_running = false;
    bool network_query_wanted = false;

    // The running Scan and its mailbox. wake_scan_owner is called on the scan thread once an outcome is
    // in the slot: on Windows it posts WM_APP+1 to the window.
    std::optional<ScanJob> scan_job;
    std::uint64_t scan_generation = 0;
    std::shared_ptr<ResultSlot> scan_slot = std::make_shared<ResultSlot>();
    std::function<void()> wake_scan_owner = [] {};
    unsigned scan_threads = 0;               // walker threads per Scan; 0 means worker_count()
    FolderLister scan_lister = list_folder;  // how walkers list a folder; tests put a gate here
    std::vector<JobRunner> scan_runners;     // finished ones are joined at the next start

    // The last finished Scan and the view of it.
    std::optional<FileTree> tree;
    std::uint64_t tree_generation = 0;  // +1 whenever the tree changes; keys caches of views
    // +1 whenever node indices change meaning (another tree, a compaction): what readers know an element
    // by, so that a change elsewhere in the tree is no change of what they are shown.
    std::uint64_t tree_numbering = 0;
    NodeIndex current_folder = 0;
    NodeIndex selection = NO_NODE;
    // More items picked with the selection (Ctrl, Shift, Ctrl+A) and where a Shift range starts: see
    // input/selection.h.
    std::vector<NodeIndex> selected;
    NodeIndex anchor = NO_NODE;
    std::optional<std::string> selected_extension;
    double scroll = 0;

    // The search field in the results header, and its text as set_query last took it: the query is
    // active while it is not empty. The search of its latest readable form runs in slices on the UI
    // thread (advance_query); the last finished one is what the Found tab and the filter show, until a
    // newer one finishes.
    TextField search;
    std::string query_text;
    std::string query_error;  // why the text could not be read, shown under the field
    std::optional<Search> searching;
    std::optional<Search> results;
    std::uint64_t results_generation = 0;  // +1 whenever other results are shown: keys the treemap
    // The tree numbering the running search and the results were made with: results of a tree changed in
    // place since (its numbering the same) stay shown until the search of the tree as it is now is done.
    std::uint64_t searching_numbering = 0;
    std::uint64_t results_numbering = 0;
    FoundOrder found_order = FoundOrder::Size;

    // Remembered scans: where they are kept (empty: nowhere, as in the command line and most tests),
    // whether the menu's "Remember scans" is on, and those the home screen lists, newest first. A finished
    // walk is saved on a worker (saving); wake_save_owner (WM_APP+8 on Windows) says it ended, and a
    // failure is noted once per run.
    std::string scans_folder;
    bool remember_scans = true;
    std::vector<RememberedScan> recent_scans;
    std::unordered_map<std::string, std::string> recent_roots;  // scan file -> the root its head names
    std::optional<SaveJob> saving;
    std::function<void()> wake_save_owner = [] {};
    bool save_failure_noted = false;

    // The earlier scan the results are compared with, and the comparison. The baseline is read on a
    // worker (its mailbox baseline_slot, then wake_baseline_owner: WM_APP+7 on Windows); the comparison
    // runs in slices on the UI thread and, once done, the Changes tab is there. compare_next names the
    // scan file the next finished Scan is compared with instead of its root's newest earlier one ("Compare
    // with now").
    std::optional<FileTree> baseline;
    std::string baseline_file;
    std::int64_t baseline_when = 0;         // seconds since 1970 UTC; 0 when the file does not say
    std::uint64_t baseline_generation = 0;  // +1 per baseline asked for; older reads are dropped
    bool baseline_reading = false;
    std::shared_ptr<BaselineSlot> baseline_slot = std::make_shared<BaselineSlot>();
    std::function<void()> wake_baseline_owner = [] {};
    std::vector<JobRunner> baseline_runners;
    std::shared_ptr<ScanProgress> baseline_progress;  // of the running read: a newer one cancels it
    std::optional<Comparison> comparison;
    // The tree changed in place: it is compared again while the older comparison stays shown.
    std::optional<Comparison> recomparing;
    std::uint64_t comparison_tree_generation = 0;  // the tree generation the comparison matched
    std::optional<std::string> compare_next;
    ChangeOrder change_order = ChangeOrder::Increase;
    std::vector<ChangeRow> change_rows;  // the Changes tab's rows of the current folder

    // The pointer: what lies under it, and the scroll bar's thumb while it is dragged (held at `grab`
    // pixels below the thumb's top).
    HitTarget hover;
    bool dragging = false;
    float grab = 0;

    // The keyboard's focus on the results, and whether its ring is drawn: from the first Tab until the
    // next click, as Windows shows focus rectangles only to those who use the keyboard.
    Focus focus;
    bool focus_visible = false;

    // What the current tab shows of the current folder, rebuilt by refresh_view.
    Tab tab = Tab::Folders;
    KindTotals kind_totals{};
    std::vector<NodeIndex> node_rows;  // Folders, Largest files and Found
    std::vector<ExtensionRow> extension_rows;
    std::vector<DuplicateRow> duplicate_rows;
    std::uint64_t view_generation = 0;  // +1 per refresh: whatever was laid out for the old rows is stale

    // The duplicate finder: the running comparison, finished ones per folder, expanded sets, and the
    // mailbox that job threads fill before calling wake_duplicates_owner (WM_APP+4 on Windows).
    std::optional<DuplicateJob> duplicate_job;
    std::uint64_t duplicate_generation = 0;
    std::unordered_map<NodeIndex, DuplicatesFound> duplicates;
    // Content lengths whose sets may have gained or lost members on disk since a folder's result: they are
    // compared again, alone, when that result is next shown.
    std::unordered_map<NodeIndex, std::set<std::uint64_t>> duplicates_stale;
    std::set<Digest> expanded_sets;
    std::shared_ptr<OutcomeList> duplicate_outcomes = std::make_shared<OutcomeList>();
    std::function<void()> wake_duplicates_owner = [] {};
    unsigned duplicate_workers = 0;  // 0: decided from the volume
    std::vector<JobRunner> duplicate_runners;

    // The text of the notice pill (empty when none), when it was shown, and a count of notices shown so
    // far, by which the window sees that a new one needs its expiry timer.
    std::string notice;
    Clock::time_point notice_shown{};
    std::uint64_t notice_serial = 0;

    // Folders brought up to date in place (app/refresh.cpp): one job on a worker at a time, its outcome
    // through refresh_slot and wake_refresh_owner (WM_APP+9 on Windows); what waits for its turn is
    // queued, the folder the user asked for first.
    std::optional<RefreshJob> refreshing;
    std::vector<RefreshTask> refresh_queue;
    std::optional<RefreshTask> refresh_asked;  // asked for while another job ran
    std::uint64_t refresh_generation = 0;
    std::shared_ptr<RefreshSlot> refresh_slot = std::make_shared<RefreshSlot>();
    std::function<void()> wake_refresh_owner = [] {};
    std::vector<JobRunner> refresh_runners;

    // Following changes on disk while the results of a local walk are open (app/following.cpp): the
    // menu's "Follow changes on disk", the watch over the root filling change_inbox (then
    // wake_follow_owner: WM_APP+10 on Windows), and the folders due for a new listing. watcher starts the
    // watch: the window puts start_watch here, tests their own; without one nothing is followed.
    // watch_buffer is the system's buffer size.
    bool follow_changes = true;
    std::optional<Following> following;
    std::shared_ptr<ChangeInbox> change_inbox;
    std::unique_ptr<WatchState, WatchStateDeleter> watch;
    std::function<WatchStart(const std::string&, std::shared_ptr<ChangeInbox>, std::function<void()>,
                             std::size_t)>
        watcher;
    std::size_t watch_buffer = DEFAULT_WATCH_BUFFER;
    std::function<void()> wake_follow_owner = [] {};
    std::optional<Clock::time_point> updated;  // when a change on disk last reached the tree
    // Folders whose content changed on disk while followed, until the user opens them, and every folder
    // above one (the marks in the list lead down to them).
    std::set<NodeIndex> changed_folders;
    std::set<NodeIndex> change_marks;

    // Free and total bytes of the scanned volume, asked when a scan ends, after space was freed and on
    // the home screen: never per message (the query can stall on a slow or network volume).
    std::optional<VolumeSpace> volume;
};

// Rebuilds the drive list and the Recycle Bin size, and asks the scanned volume's figures again, here and
// now (the command-line front end).
void list_drives(App& app);

// Lists the drives and measures the Recycle Bin again on a worker, when the UI thread waits for answers
// (wake_drives_owner is set); else as list_drives.
void request_drives(App& app);
// Takes the answers that came (UI thread, on the wake-up).
void take_drives(App& app);
// One answer taken: an answer older than the one shown for its kinds is dropped, a later one merged in.
void apply_drive_answer(App& app, DriveAnswer answer);

// Asks the scanned volume's free and total bytes again (nothing without a tree).
void refresh_volume(App& app);

// How many rows the current tab lists.
std::size_t row_count(const App& app);

// The node a row of the current tab stands for: a folder or file on Folders and Largest files, a member
// on Duplicates, an entry still there on Changes; NO_NODE for set rows, extension rows, entries gone since
// the earlier scan and rows past the end.
NodeIndex row_node(const App& app, std::size_t row);

// Whether a row of the current tab is drawn selected: its node is selected, or on By type its extension
// is the one picked.
bool row_selected(const App& app, std::size_t row);

// Whether the tree on screen was read from a scan file: its entries are not on this PC, so nothing that
// needs the files themselves (opening, showing in Explorer, the Recycle Bin, analysing again, comparing
// duplicates) can be done.
bool imported(const App& app);

// Whether a header button does something now; one that does not is drawn disabled. Up does nothing at
// the scanned folder, Analyze again nothing for a tree read from a scan file.
bool header_button_enabled(const App& app, HitKind kind);

// Starts scanning folder (UI thread). Shows "Folder not found: PATH" and returns false when it is not a
// folder; otherwise cancels the running Scan, records the new job and switches to the Scanning screen.
bool start_scan(App& app, std::string_view folder, std::optional<std::string> restore_path);

// A Scan of a whole NTFS volume read from its master file table instead of walked: `source` is a file
// holding an NTFS image, or on Windows a volume such as \\.\C: (an administrator's). The tree's root is
// named after source. False, with the reason as the notice, when source cannot be opened; a volume that
// turns out not to be readable ends the Scan with the reason as the notice.
bool start_volume_scan(App& app, std::string_view source);
// Reads a scan file in ncdu's format (plain or gzip-compressed; "-": standard input) as a Scan would
// walk, on a thread of its own; finish_scan takes the tree as it takes a walk's.
bool start_import(App& app, std::string_view file);

// Collects a finished Scan's outcome (UI thread, on the wake-up). Drops stale outcomes; installs a new
// tree and reports "{0} · {1} files · took {2} s"; after a cancellation returns to the earlier results
// or, when there are none, to the drive list.
void finish_scan(App& app);

// Sets the running Scan's cancel flag; its workers stop after their current folders.
void cancel_scan(App& app);

void show_notice(App& app, std::string text);

// The search field's text changed (UI thread): the query is read again and the results follow it.
// Empty text ends the query. A readable one starts a search of the whole tree, replacing an older
// search, and does its first slice at once; an unreadable one leaves the last results on screen and its
// reason in query_error.
void set_query(App& app, std::string_view text);

// Works on the running search for about `budget` (UI thread, from a timer); once it is done its results
// are shown. True while there is more to do.
bool advance_query(App& app, Clock::duration budget);

// After the tree changed: results of the older tree name nodes that may be gone or be others now, so
// they go, and the search runs again on the tree as it is (refresh_view).
void follow_tree(App& app);

// Whether a query is active: the Found tab is there and, once a search has finished, the filter is on.
bool query_active(const App& app);
// How many tabs the results show: shown_tabs' count.
int tab_count(const App& app);

// The finished search the view shows, or nothing while the filter is off.
const Search* shown_search(const App& app);

// What a node counts for on screen: with the filter on, its matching content (all of it inside a
// matched folder); else its own size and files.
MatchTotals shown_totals(const App& app, NodeIndex node);

// The matches below the current folder, in the chosen order.
std::vector<NodeIndex> found_rows(const App& app);

// The Found list's footer: "312 files · 48.2 GB" for the matches below the current folder.
std::string found_footer(const App& app);

// Recomputes the kind totals and the current tab's rows for the current folder; on the Duplicates tab
// starts a comparison when the folder has no result yet. Does nothing without a finished tree.
void refresh_view(App& app);

// Starts comparing the current folder's candidates, unless a result or a job for it exists.
void start_duplicates(App& app);
void cancel_duplicates(App& app);
// Takes finished comparisons (UI thread, on the wake-up); keeps only the running job's.
void finish_duplicates(App& app);
// After items were moved to the Recycle Bin: drops removed members and sets left with one.
void prune_duplicates(App& app);

// Corrects the view after node went to the Recycle Bin: its size comes off every folder above it, it
// leaves every list and duplicate set, and the treemap is laid out anew.
void remove_from_view(App& app, NodeIndex node);
// The same for many nodes at once, with one refresh.
void remove_from_view(App& app, std::span<const NodeIndex> nodes);

// Remembered scans (app/remember.cpp). After a walk or an MFT read finished: saves the tree on a worker
// when scans are remembered (never for a tree read from a scan file).
void remember_scan(App& app);
// Waits for a running save to end: before the tree is changed or replaced (UI thread).
void wait_for_save(App& app);
// Stops a running save, which then leaves nothing, and waits for it: the remembered scans are about to
// be forgotten.
void cancel_save(App& app);
// Takes a finished save's outcome (UI thread, on the wake-up): the recent scans are listed again; a
// failure is shown once per run.
void finish_save(App& app);
// Deletes every remembered scan ("Forget remembered scans…", once confirmed).
void forget_scans(App& app);

// The recent scans of the home screen (app/recent.cpp). Lists them again and reads the roots of those
// the home screen can show from their files' first bytes, each file once.
void show_recent_scans(App& app);
// A recent scan's root as its file names it; nothing when its head could not be read.
std::optional<std::string> recent_root(const App& app, std::size_t index);
// What its row shows: the root (else the file's name) and "2026-12-10 14:03  ·  12.4 GB".
struct RecentScanText {
    std::string root;
    std::string details;
};
RecentScanText recent_scan_text(const App& app, std::size_t index);

// Comparing with an earlier scan (app/changes.cpp). After a tree was installed: reads compare_next, or
// else the newest remembered scan of its root made before it, on a worker; with neither, the Changes tab
// goes.
void find_baseline(App& app);
// Reads a scan file on a worker to compare the results with ("Compare with…"). Until it is read the
// results stay as they are; one that cannot be read is refused with the reader's reason.
void start_baseline(App& app, std::string file);
// Takes a read baseline (UI thread, on the wake-up) and starts comparing.
void finish_baseline(App& app);
// Compares for about `budget` (UI thread, from a timer); true while there is more to do.
bool advance_changes(App& app, Clock::duration budget);
// The tree changed in place (a folder brought up to date): compares it again in slices, the comparison
// before it shown meanwhile.
void recompare(App& app);
// Whether the Changes tab is there: a comparison of the tree on screen has finished.
bool changes_shown(const App& app);
// The tabs shown, in order: the four, then Changes and Found when they are there. A tab's place in the
// strip is its index here.
std::vector<Tab> shown_tabs(const App& app);
// What happened to a node of the tree on screen since the earlier scan, as a row of the Changes list would
// say it; nothing while the Changes tab is not there.
std::optional<ChangeRow> change_row_of(const App& app, NodeIndex node);
// The Changes tab's header line: "+12.4 GB since 3 Dec 2026 (7 days) · 1,204 new files · 87 removed";
// empty while the Changes tab is not there. The date is the earlier scan's day on this machine's calendar,
// the days the whole days between the two scans.
std::string changes_header(const App& app);
// The same in its two parts, as drawn on two lines: the change of size since when, and the counts (with
// the earlier root when it differs from the later one).
struct ChangesHeader {
    std::string change;
    std::string counts;
};
ChangesHeader changes_header_parts(const App& app);

// Bringing folders up to date in place (app/refresh.cpp). "Analyze this folder again": walks `folder` (a
// live folder of the tree on screen) on a worker while the results stay usable, then splices the walk in.
// False when there is nothing to walk (a scan file, a file, a node gone).
bool start_refresh(App& app, NodeIndex folder);
// Stops the walk the user asked for; what the tree shows stays as it was.
void cancel_refresh(App& app);
// Whether a walk the user asked for is running or waiting: the status line shows it and Esc cancels it.
bool refresh_asked(const App& app);
// The status line meanwhile: "Analyzing Downloads again… 12,345 files"; empty when none is asked for.
std::string refresh_progress_text(const App& app);
// A new tree came: what was running or waiting for the old one is dropped.
void drop_refreshes(App& app);
// Queues walks or listings of folders, run on a worker after the one running, unseen.
void queue_refresh(App& app, std::vector<RefreshTask> tasks);
// Takes a finished job's outcome (UI thread, on the wake-up), splices it in keeping the user's place
// (the folder shown, the selection and the items picked, by path; scroll and expanded sets), brings the
// lists, summaries, search, comparison and duplicate sets along, and starts what is queued.
void finish_refresh(App& app);

// Following changes on disk (app/following.cpp). Starts watching the root of the tree just installed
// when it was walked here and following is on; stops watching otherwise.
void start_following(App& app);
void stop_following(App& app);
// Takes the changes the watch found and hands due folders to a worker (UI thread, on the watch's wake-up
// and from a timer while some are marked). `now` is the caller's clock.
void advance_following(App& app, FollowClock::time_point now);
// Whether advance_following has more to do later: folders marked but not yet due.
bool following_pending(const App& app);
// The status line's "Updated 2 s ago" while changes arrive; empty otherwise.
std::string updated_text(const App& app, Clock::time_point now);
// Whether a row of a folder carries the mark of changes on disk not yet seen.
bool carries_change_mark(const App& app, NodeIndex node);

// Used space of a volume that a scan of its root did not find, when it is more than 1% of the used space.
std::optional<std::uint64_t> unaccounted_bytes(std::optional<VolumeSpace> space, std::uint64_t found);

// The warning line of the results screen, or nothing (from the volume figures last asked).
std::optional<std::string> status_line(const App& app);

}  // namespace spadrim
