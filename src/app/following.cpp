// Following changes on disk while results are open. See app.h.
//
// The watch's thread only fills the inbox. The UI thread takes it, marks the folders that hold what
// changed, and hands the due ones to the refresh worker as listings; what those bring is spliced in by
// finish_refresh like any folder analysed again. Lost changes walk the whole root again, in the
// background.
#include <algorithm>
#include <utility>

#include "app/app.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

// "Updated 2 s ago" stays this long after the last change reached the tree: while changes arrive, and a
// little after. Each second it is shown costs a frame.
constexpr std::chrono::seconds UPDATED_SHOWN{10};

std::string joined(const std::string& root, std::string_view relative) {
    if (relative.empty()) return root;
    std::string path = root;
    if (path.back() != PATH_SEPARATOR) path += PATH_SEPARATOR;
    path += relative;
    return path;
}

// Whether a change lies in the Recycle Bin of a drive whose root is followed: the home screen's figure
// and the menu's follow it.
bool in_recycle_bin(const std::string& root, std::string_view relative) {
    if (!is_drive_root(root)) return false;
    const std::string_view first = relative.substr(0, relative.find(PATH_SEPARATOR));
    constexpr std::string_view BIN = "$recycle.bin";
    return first.size() == BIN.size() &&
           std::equal(first.begin(), first.end(), BIN.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

}  // namespace

void stop_following(App& app) {
    app.watch.reset();  // joins the watch's thread
    app.following.reset();
    app.change_inbox.reset();
    app.updated.reset();
    app.changed_folders.clear();
    app.change_marks.clear();
    app.refresh_queue.clear();
}

void start_following(App& app) {
    stop_following(app);
    if (!app.follow_changes || !app.tree || app.tree->imported || !app.watcher) return;
    auto inbox = std::make_shared<ChangeInbox>();
    WatchStart started = app.watcher(app.tree->root_path, inbox, app.wake_follow_owner, app.watch_buffer);
    // A watcher may hand back nothing to stop while it watches (the tests' stand-in); one that does not
    // watch says why.
    if (started.not_supported || !started.error.empty()) {
        if (started.not_supported)
            show_notice(app, std::string(tr("이 드라이브의 변경 사항은 따라가지 않습니다",
                                            "Changes on this drive are not followed")));
        return;
    }
    app.watch = std::move(started.watch);
    app.change_inbox = std::move(inbox);
    app.following.emplace();
    app.following->separator = PATH_SEPARATOR;
}

void advance_following(App& app, FollowClock::time_point now) {
    if (!app.following || !app.change_inbox || !app.tree) return;
    std::vector<DiskChange> changes;
    bool lost = false;
    bool ended = false;
    {
        const std::lock_guard hold(app.change_inbox->lock);
        changes.swap(app.change_inbox->changes);
        lost = std::exchange(app.change_inbox->lost, false);
        ended = app.change_inbox->ended;
    }
    Following& following = *app.following;
    note_changes(following, changes, now);
    if (lost) note_lost(following);
    if (std::ranges::any_of(changes, [&](const DiskChange& change) {
            return in_recycle_bin(app.tree->root_path, change.path);
        }))
        request_drives(app);
    // One job at a time: what is due waits marked, and is taken once the running job is done.
    if (!app.refreshing && !app.refresh_asked && app.refresh_queue.empty()) {
        const Relist relist = take_due(following, now);
        std::vector<RefreshTask> tasks;
        if (relist.whole_root) {
            tasks.push_back(RefreshTask{app.tree->root_path, true});
        } else {
            for (const std::string& folder : relist.folders)
                tasks.push_back(RefreshTask{joined(app.tree->root_path, folder), false});
        }
        if (!tasks.empty()) queue_refresh(app, std::move(tasks));
    }
    if (ended) {
        // The root itself went away, or the system stopped telling: what is shown stays as it was last.
        app.watch.reset();
        app.following.reset();
        app.change_inbox.reset();
    }
}

bool following_pending(const App& app) {
    return app.following && (!app.following->marked.empty() || app.following->lost);
}

std::string updated_text(const App& app, Clock::time_point now) {
    if (!app.updated || !app.following) return {};
    const auto ago = std::chrono::duration_cast<std::chrono::seconds>(now - *app.updated);
    if (ago >= UPDATED_SHOWN) return {};
    const auto seconds = static_cast<std::uint64_t>(std::max<std::int64_t>(ago.count(), 0));
    return substitute(with_counts(tr("{0}초 전에 갱신됨", "Updated {0} s ago"), {{0, seconds}}),
                      {format_count(seconds)});
}

bool carries_change_mark(const App& app, NodeIndex node) {
    return app.change_marks.contains(node);
}

}  // namespace spadrim
