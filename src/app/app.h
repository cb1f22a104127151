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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/drives.h"
#include "scan/scan.h"
#include "scan/tree.h"

namespace spadrim {

enum class Screen {
    Home,
    Scanning,
    Results,
};

// A scan thread, kept so that it is joined rather than left running; older ones may still be winding
// down after a cancellation while a newer Scan runs.
struct ScanRunner {
    std::shared_ptr<std::atomic<bool>> finished;
    std::jthread thread;
};

struct App {
    App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App();  // cancels the running Scan and waits for every scan thread

    Screen screen = Screen::Home;

    // Home screen.
    std::vector<DriveInfo> drives;
    std::uint64_t recycle_bin_bytes = 0;

    // The running Scan and its mailbox. wake_scan_owner is called on the scan thread once an outcome is
    // in the slot: on Windows it posts WM_APP+1 to the window.
    std::optional<ScanJob> scan_job;
    std::uint64_t scan_generation = 0;
    std::shared_ptr<ResultSlot> scan_slot = std::make_shared<ResultSlot>();
    std::function<void()> wake_scan_owner = [] {};
    unsigned scan_threads = 0;               // walker threads per Scan; 0 means worker_count()
    FolderLister scan_lister = list_folder;  // how walkers list a folder; tests put a gate here
    std::vector<ScanRunner> scan_runners;    // finished ones are joined at the next start

    // The last finished Scan and the view of it.
    std::optional<FileTree> tree;
    std::uint64_t tree_generation = 0;  // +1 whenever the tree changes; keys caches of views
    NodeIndex current_folder = 0;
    NodeIndex selection = NO_NODE;
    std::string selected_extension;
    double scroll = 0;

    // The text of the notice pill; empty when no notice is shown.
    std::string notice;
};

// Rebuilds the drive list and the Recycle Bin size.
void list_drives(App& app);

// Starts scanning folder (UI thread). Shows "Folder not found: PATH" and returns false when it is not a
// folder; otherwise cancels the running Scan, records the new job and switches to the Scanning screen.
bool start_scan(App& app, std::string_view folder, std::optional<std::string> restore_path);

// Collects a finished Scan's outcome (UI thread, on the wake-up). Drops stale outcomes; installs a new
// tree and reports "{0} · {1} files · took {2} s"; after a cancellation returns to the earlier results
// or, when there are none, to the drive list.
void finish_scan(App& app);

// Sets the running Scan's cancel flag; its workers stop after their current folders.
void cancel_scan(App& app);

void show_notice(App& app, std::string text);

}  // namespace spadrim
