// Watching a subtree on Linux with inotify, which watches one folder at a time: a watch per folder of
// the subtree, placed by start_watch and then by the watch's thread as folders are made or moved in. The
// thread polls the inotify descriptor together with an eventfd that stops it. See watch.h for the
// contract.
//
// buffer_bytes is not used here: inotify's queue is the kernel's (fs.inotify.max_queued_events), and
// however little is read at once nothing is lost before that queue overflows, which IN_Q_OVERFLOW says.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <utility>

#include "follow/watch.h"
#include "scan/folder.h"
#include "scan/open_posix.h"

namespace spadrim {

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Names, sizes and write times: what a listing of the holding folder would show differently. IN_ATTRIB
// also catches a write time set by hand (touch, an archiver restoring its files).
constexpr std::uint32_t MASK = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                               IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                               IN_EXCL_UNLINK;

std::string joined(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    path += '/';
    path += name;
    return path;
}

void add_change(std::vector<DiskChange>& batch, DiskChangeKind kind, std::string path) {
    // A write is reported again and again while it lasts; one mark is enough.
    if (!batch.empty() && batch.back().kind == kind && batch.back().path == path) return;
    batch.push_back({kind, std::move(path)});
}

}  // namespace

struct WatchState {
    std::string root;  // as the walk addresses it
    Descriptor notify;
    Descriptor stop;                               // an eventfd, written by the deleter
    std::unordered_map<int, std::string> folders;  // watch descriptor -> folder relative to root
    int root_watch = -1;
    dev_t device = 0;  // the root's
    std::shared_ptr<ChangeInbox> inbox;
    std::function<void()> wake;
    std::thread thread;

    std::string full_path(const std::string& relative) const {
        if (relative.empty()) return root;
        return root == "/" ? "/" + relative : root + "/" + relative;
    }

    // Watches the folder and every folder below it. With `found`, each entry met is reported as added:
    // a new folder's entries may have been made before its watch existed, and no event will tell of
    // them. The watch is placed before the folder is read, so an entry made meanwhile is reported
    // twice at worst, never missed. Folders that are gone or cannot be read are passed over, as the walk
    // passes them over. Returns 0, or the error when the system has no watch left to give
    // (ENOSPC: fs.inotify.max_user_watches) or the root cannot be watched.
    int watch_tree(const std::string& top, std::vector<DiskChange>* found) {
        std::vector<std::string> pending{top};
        while (!pending.empty()) {
            const std::string relative = std::move(pending.back());
            pending.pop_back();
            const bool is_root = relative.empty();
            // Opened first and watched through the descriptor, so a path of any length can be watched,
            // and a link that took a folder's place is not followed.
            Descriptor folder(open_path(AT_FDCWD, full_path(relative),
                                        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (is_root ? 0 : O_NOFOLLOW)));
            struct stat info {};
            if (folder.get() < 0 || fstat(folder.get(), &info) != 0) {
                if (is_root) return errno;
                continue;
            }
            // The walk does not go into other file systems mounted below the root; nor does the watch.
            if (is_root) device = info.st_dev;
            if (info.st_dev != device) continue;
            const std::string by_descriptor = "/proc/self/fd/" + std::to_string(folder.get());
            int watch = inotify_add_watch(notify.get(), by_descriptor.c_str(), MASK);
            if (watch < 0 && errno == ENOENT)
                watch = inotify_add_watch(notify.get(), full_path(relative).c_str(), MASK);
            if (watch < 0) {
                if (is_root || errno == ENOSPC) return errno;
                continue;
            }
            folders[watch] = relative;
            if (is_root) root_watch = watch;
            std::unique_ptr<DIR, DirCloser> listing(fdopendir(folder.get()));
            if (!listing) continue;
            folder.release();
            while (const dirent* entry = readdir(listing.get())) {
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..") continue;
                std::string path = joined(relative, name);
                bool is_folder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat entry_info {};
                    is_folder =
                        fstatat(dirfd(listing.get()), entry->d_name, &entry_info, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISDIR(entry_info.st_mode);
                }
                if (found) add_change(*found, DiskChangeKind::Added, path);
                if (is_folder) pending.push_back(std::move(path));
            }
        }
        return 0;
    }

    // A folder moved away or removed takes its watches' paths with it: they are dropped, and a folder
    // moved within the subtree is watched again under its new path when its arrival is read.
    void forget_tree(const std::string& relative) {
        const std::string below = relative + '/';
        for (auto at = folders.begin(); at != folders.end();) {
            if (at->first != root_watch && (at->second == relative || at->second.starts_with(below))) {
                inotify_rm_watch(notify.get(), at->first);
                at = folders.erase(at);
            } else {
                ++at;
            }
        }
    }

    void publish(std::vector<DiskChange>& batch, bool lost, bool ended) {
        spadrim::publish(*inbox, batch, lost, ended, wake);
    }

    // One event into the batch; false when the watch has ended.
    bool take(const inotify_event& event, std::vector<DiskChange>& batch, bool& lost) {
        if (event.mask & IN_Q_OVERFLOW) {
            lost = true;
            return true;
        }
        const auto folder = folders.find(event.wd);
        if (folder == folders.end()) return true;  // a watch already dropped
        if (event.wd == root_watch &&
            (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)))
            return false;
        if (event.mask & IN_IGNORED) {  // the folder is gone and its watch with it
            folders.erase(folder);
            return true;
        }
        if (event.len == 0 || event.name[0] == 0) return true;  // a folder's own change: its parent says it
        std::string path = joined(folder->second, event.name);
        const bool is_folder = event.mask & IN_ISDIR;
        if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
            add_change(batch, event.mask & IN_CREATE ? DiskChangeKind::Added : DiskChangeKind::RenamedTo,
                       path);
            if (is_folder && watch_tree(path, &batch) == ENOSPC) return false;  // it cannot all be followed
        } else if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
            if (is_folder) forget_tree(path);
            add_change(batch, event.mask & IN_DELETE ? DiskChangeKind::Removed : DiskChangeKind::RenamedFrom,
                       std::move(path));
        } else if (event.mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB)) {
            add_change(batch, DiskChangeKind::Modified, std::move(path));
        }
        return true;
    }

    void run() {
        alignas(inotify_event) char buffer[64 * 1024];
        std::vector<DiskChange> batch;
        pollfd waits[] = {{stop.get(), POLLIN, 0}, {notify.get(), POLLIN, 0}};
        for (;;) {
            if (poll(waits, 2, -1) < 0) {
                if (errno == EINTR) continue;
                publish(batch, false, true);
                return;
            }
            if (waits[0].revents != 0) return;
            bool lost = false;
            bool ended = false;
            // Everything queued now, as one batch.
            for (;;) {
                const ssize_t bytes = read(notify.get(), buffer, sizeof buffer);
                if (bytes < 0 && errno == EINTR) continue;
                if (bytes <= 0) {
                    ended = bytes == 0 || errno != EAGAIN;
                    break;
                }
                for (ssize_t at = 0; at < bytes && !ended;) {
                    const auto& event = *reinterpret_cast<const inotify_event*>(buffer + at);
                    ended = !take(event, batch, lost);
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
                }
                if (ended) break;
            }
            publish(batch, lost, ended);
            if (ended) return;
        }
    }
};

void WatchStateDeleter::operator()(WatchState* state) const {
    if (state->thread.joinable()) {
        const std::uint64_t one = 1;
        while (write(state->stop.get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
        state->thread.join();
    }
    delete state;
}

WatchStart start_watch(const std::string& root, std::shared_ptr<ChangeInbox> inbox,
                       std::function<void()> wake, std::size_t /*buffer_bytes*/) {
    WatchStart start;
    std::unique_ptr<WatchState, WatchStateDeleter> state(new WatchState);
    state->root = walk_root_path(root);
    state->notify.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (state->notify.get() < 0) {
        start.error = std::strerror(errno);
        return start;
    }
    state->stop.reset(eventfd(0, EFD_CLOEXEC));
    if (state->stop.get() < 0) {
        start.error = std::strerror(errno);
        return start;
    }
    // The whole subtree is watched before this returns: a change made after it is reported.
    if (const int error = state->watch_tree("", nullptr); error != 0) {
        start.error = std::strerror(error);
        return start;
    }
    state->inbox = std::move(inbox);
    state->wake = std::move(wake);
    state->thread = std::thread([raw = state.get()] { raw->run(); });
    start.watch = std::move(state);
    return start;
}

}  // namespace spadrim
