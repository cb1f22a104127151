// Watching a subtree on Windows: one ReadDirectoryChangesW over the root with bWatchSubtree, kept
// pending on a thread of the watch's own, which waits for it or for the stop event and issues it again
// after each batch. See watch.h for the contract.
#include <windows.h>

#include <cstring>
#include <future>
#include <thread>
#include <utility>

#include "follow/watch.h"
#include "scan/folder.h"
#include "strings/wide_win.h"

namespace spadrim {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Names, sizes and write times: what a listing of the holding folder would show differently. Attribute
// and security changes leave sizes alone and are not asked for.
constexpr DWORD FILTER = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                         FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

// What a drive says when it cannot report changes at all: a file system without notifications
// (ERROR_INVALID_FUNCTION), and network redirectors whose server does not notify (ERROR_NOT_SUPPORTED, or
// ERROR_INVALID_PARAMETER from some).
bool cannot_notify(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER;
}

// The system names a change as the program that made it named the entry, and that may be with a short
// (8.3) name for a folder on the way, which the tree does not know. What is changed is its holding
// folder, which still exists but for a removed folder's own entries: that part is given its long form.
void lengthen_holder(const std::wstring& root, std::wstring& name) {
    const std::size_t last = name.rfind(L'\\');
    if (last == std::wstring::npos || name.find(L'~') >= last) return;
    const std::wstring holder = root + L'\\' + name.substr(0, last);
    std::wstring long_form(32768, L'\0');
    const DWORD length =
        GetLongPathNameW(holder.c_str(), long_form.data(), static_cast<DWORD>(long_form.size()));
    if (length == 0 || length >= long_form.size()) return;
    long_form.resize(length);
    if (long_form.size() > root.size() && long_form.starts_with(root) && long_form[root.size()] == L'\\')
        name.replace(0, last, long_form.substr(root.size() + 1));
}

// The records of one completed read, appended to out. Each name is relative to the root as the system
// gives it, in the exact form (an unpaired surrogate kept, as the walk keeps it), so that the changed
// path names the same entry as the tree's. A record that does not fit in the bytes ends the parse.
void parse_records(const std::wstring& root, const std::byte* data, std::size_t bytes,
                   std::vector<DiskChange>& out) {
    constexpr std::size_t HEADER = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    std::size_t at = 0;
    while (at + HEADER <= bytes) {
        FILE_NOTIFY_INFORMATION record;
        std::memcpy(&record, data + at, HEADER);
        const std::size_t length = record.FileNameLength / sizeof(wchar_t);
        if (at + HEADER + length * sizeof(wchar_t) > bytes) break;
        if (record.Action >= FILE_ACTION_ADDED && record.Action <= FILE_ACTION_RENAMED_NEW_NAME) {
            std::wstring name(length, L'\0');
            std::memcpy(name.data(), data + at + HEADER, length * sizeof(wchar_t));
            lengthen_holder(root, name);
            DiskChange change{static_cast<DiskChangeKind>(record.Action), from_wide_exact(name)};
            // A write is reported again and again while it lasts; one mark is enough.
            const bool repeated =
                !out.empty() && out.back().kind == change.kind && out.back().path == change.path;
            if (!repeated) out.push_back(std::move(change));
        }
        if (record.NextEntryOffset == 0) break;
        at += record.NextEntryOffset;
    }
}

}  // namespace

struct WatchState {
    std::wstring root;  // in the long-path form the walk uses
    UniqueHandle folder;
    UniqueHandle stop;  // set by the deleter
    UniqueHandle done;  // the overlapped read's event
    OVERLAPPED overlapped{};
    std::vector<DWORD> buffer;  // DWORD-aligned, as the call requires
    std::shared_ptr<ChangeInbox> inbox;
    std::function<void()> wake;
    std::thread thread;

    // Issues the read; false with the last error set when it could not be.
    bool read() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = done.get();
        ResetEvent(done.get());
        return ReadDirectoryChangesW(folder.get(), buffer.data(),
                                     static_cast<DWORD>(buffer.size() * sizeof(DWORD)), TRUE, FILTER, nullptr,
                                     &overlapped, nullptr);
    }

    void publish(std::vector<DiskChange>& batch, bool lost, bool ended) {
        spadrim::publish(*inbox, batch, lost, ended, wake);
    }

    // The thread: issues every read (the system cancels a thread's reads when the thread exits, so they
    // are never issued by start_watch's caller), says through `started` how the first one went, and
    // never leaves one pending behind it.
    void run(std::promise<DWORD>& started) {
        if (!read()) {
            started.set_value(GetLastError());
            return;
        }
        started.set_value(ERROR_SUCCESS);
        const HANDLE waits[] = {stop.get(), done.get()};
        std::vector<DiskChange> batch;
        for (;;) {
            const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (woken != WAIT_OBJECT_0 + 1) {  // stopped, or the wait itself failed
                CancelIoEx(folder.get(), &overlapped);
                DWORD ignored = 0;
                GetOverlappedResult(folder.get(), &overlapped, &ignored, TRUE);
                if (woken != WAIT_OBJECT_0) publish(batch, false, true);
                return;
            }
            DWORD bytes = 0;
            bool lost = false;
            if (GetOverlappedResult(folder.get(), &overlapped, &bytes, FALSE)) {
                // No bytes: more changed than the buffer could hold, and the system dropped them all.
                if (bytes == 0) lost = true;
                parse_records(root, reinterpret_cast<const std::byte*>(buffer.data()), bytes, batch);
            } else if (const DWORD error = GetLastError(); error == ERROR_NOTIFY_ENUM_DIR) {
                lost = true;
            } else {  // the root went away, its drive or share with it
                publish(batch, false, true);
                return;
            }
            // Issued again before the owner hears of the batch, so that nothing done in between is missed.
            const bool reading = read();
            publish(batch, lost, !reading);
            if (!reading) return;
        }
    }
};

void WatchStateDeleter::operator()(WatchState* state) const {
    if (state->thread.joinable()) {
        SetEvent(state->stop.get());
        state->thread.join();
    }
    delete state;
}

WatchStart start_watch(const std::string& root, std::shared_ptr<ChangeInbox> inbox,
                       std::function<void()> wake, std::size_t buffer_bytes) {
    WatchStart start;
    std::unique_ptr<WatchState, WatchStateDeleter> state(new WatchState);
    state->root = to_wide(walk_root_path(root));  // without a trailing separator
    // A drive's root is opened as "\\?\C:\"; "\\?\C:" would be the volume.
    const std::wstring opened = state->root.ends_with(L':') ? state->root + L'\\' : state->root;
    state->folder.reset(CreateFileW(
        opened.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (state->folder.get() == INVALID_HANDLE_VALUE) {
        start.error = system_error_text(GetLastError());
        return start;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(state->folder.get(), &info)) {
        start.error = system_error_text(GetLastError());
        return start;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {  // a read on a file would look unsupported
        start.error = system_error_text(ERROR_DIRECTORY);
        return start;
    }
    state->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state->stop || !state->done) {
        start.error = system_error_text(GetLastError());
        return start;
    }
    const std::size_t bytes = buffer_bytes == 0 ? DEFAULT_WATCH_BUFFER : buffer_bytes;
    state->buffer.assign((bytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    state->inbox = std::move(inbox);
    state->wake = std::move(wake);
    // The first read is issued before this returns, so that a drive that cannot notify says so now.
    std::promise<DWORD> started;
    std::future<DWORD> first = started.get_future();
    state->thread =
        std::thread([raw = state.get(), started = std::move(started)]() mutable { raw->run(started); });
    const DWORD error = first.get();
    if (error != ERROR_SUCCESS) {
        state->thread.join();
        start.not_supported = cannot_notify(error);
        start.error = system_error_text(error);
        return start;
    }
    start.watch = std::move(state);
    return start;
}

}  // namespace spadrim
