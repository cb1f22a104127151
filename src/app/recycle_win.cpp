// Moving one item to the Recycle Bin (after refusing protected folders and asking), and emptying the
// Recycle Bin through the shell's own dialog. Nothing is deleted by the program itself.
#include <windows.h>

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <optional>

#include "app/input/selection.h"
#include "app/protect.h"
#include "app/recycle_win.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "scan/paths.h"
#include "strings/strings.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

// Whether anything is at path, looking at a link itself rather than where it points.
bool exists(const std::string& path) {
    return GetFileAttributesW(to_wide(to_long_path(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<SHQUERYRBINFO> query_recycle_bins() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(SHQueryRecycleBinW(nullptr, &info)) || info.i64Size < 0 || info.i64NumItems < 0)
        return std::nullopt;
    return info;
}

std::uint64_t query_recycle_bin() {
    const std::optional<SHQUERYRBINFO> info = query_recycle_bins();
    return info ? static_cast<std::uint64_t>(info->i64Size) : 0;
}

std::optional<std::int64_t> recycle_bin_items() {
    const std::optional<SHQUERYRBINFO> info = query_recycle_bins();
    if (!info) return std::nullopt;
    return info->i64NumItems;
}

// Hands one item to the shell for the Recycle Bin and records what can be seen of the result, for
// recycle_outcome to read.
RecycleObservation move_to_bin(HWND handle, const std::string& path) {
    std::wstring from = to_wide(path);
    from.push_back(L'\0');  // the list ends with two zeros
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = handle;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
    RecycleObservation seen;
    seen.bin_items_before = recycle_bin_items();
    seen.result = SHFileOperationW(&operation);
    seen.aborted = operation.fAnyOperationsAborted != FALSE;
    seen.still_there = exists(path);
    seen.bin_items_after = recycle_bin_items();
    return seen;
}

}  // namespace

std::vector<std::string> known_folders() {
    static constexpr const KNOWNFOLDERID* FOLDERS[] = {
        &FOLDERID_Desktop,      &FOLDERID_Documents,       &FOLDERID_Downloads,
        &FOLDERID_Pictures,     &FOLDERID_Music,           &FOLDERID_Videos,
        &FOLDERID_SavedGames,   &FOLDERID_Favorites,       &FOLDERID_Contacts,
        &FOLDERID_Links,        &FOLDERID_SavedSearches,   &FOLDERID_SkyDrive,
        &FOLDERID_Profile,      &FOLDERID_UserProfiles,    &FOLDERID_RoamingAppData,
        &FOLDERID_LocalAppData, &FOLDERID_Public,          &FOLDERID_Windows,
        &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesX64,
        &FOLDERID_ProgramData,  &FOLDERID_CameraRoll,      &FOLDERID_Objects3D};
    std::vector<std::string> folders;
    for (const KNOWNFOLDERID* id : FOLDERS) {
        PWSTR path = nullptr;
        // Not verified: a folder on a server that is away is still the user's.
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path && *path)
            folders.push_back(from_wide_exact(path));
        CoTaskMemFree(path);
    }
    return folders;
}

bool is_protected_here(std::string_view path) {
    return is_protected(path, environment_variable, known_folders());
}

void recycle_item(Window& window, NodeIndex node) {
    App& app = window.app;
    if (!app.tree || node >= app.tree->nodes.size()) return;
    const std::string path = real_path_of(*app.tree, node);  // what is moved
    const std::string shown = path_of(*app.tree, node);      // what the boxes say
    const Node item = node_at(*app.tree, node);
    const HWND handle = window.handle;
    const std::uint64_t generation = app.tree_generation;

    // The shell takes plain paths, which Windows rewrites: "report." would move "report".
    if (!plain_path_is_exact(path)) {
        show_notice(app, std::string(inexact_name_text()));
        state_changed(window);
        return;
    }
    if (node == 0 || is_protected_here(path)) {
        const std::string text =
            shown + "\n\n" +
            std::string(
                tr("Windows나 프로그램, 사용자 계정이 쓰는 폴더라서 Spadrim에서는 지울 수 없습니다. 안에 든 "
                   "파일이나 하위 폴더를 골라 주세요.",
                   "Windows, programs or your user account rely on this folder, so Spadrim will not delete "
                   "it. Choose the files or subfolders inside it instead."));
        MessageBoxW(handle, to_wide(text).c_str(), L"Spadrim", MB_ICONINFORMATION);
        return;
    }
    std::string question = shown + "\n\n" + format_size(item.size);
    if (item.flags & FLAG_DIR) question += " · " + files_text(item.file_count);
    question += "\n\n" + std::string(tr("휴지통으로 보낼까요?", "Move this to the Recycle Bin?"));
    if (MessageBoxW(handle, to_wide(question).c_str(), L"Spadrim",
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    Window* current = main_window();  // the message box's modal loop ran
    if (!current) return;
    // An item deleted since the scan is not there to move: checking afterwards alone would take its
    // absence for a successful move.
    if (!exists(path)) {
        show_notice(current->app, std::string(gone_item_text()));
        state_changed(*current);
        return;
    }
    const RecycleObservation seen = move_to_bin(handle, path);
    const RecycleOutcome outcome = recycle_outcome(seen);
    current = main_window();
    if (!current) return;
    if (outcome == RecycleOutcome::Recycled || outcome == RecycleOutcome::DeletedForGood) {
        // A scan that ended while the boxes were up brought a new tree, in which the item has another
        // index.
        App& now = current->app;
        const NodeIndex moved = now.tree_generation == generation ? node
                                : now.tree                        ? find_path(*now.tree, path)
                                                                  : NO_NODE;
        if (now.tree && moved != NO_NODE && moved != 0 && !is_removed(*now.tree, moved))
            remove_from_view(now, moved);
        now.recycle_bin_bytes = query_recycle_bin();
        refresh_volume(now);
    }
    if (const std::string notice = recycle_notice(outcome, item.size); !notice.empty())
        show_notice(current->app, notice);
    state_changed(*current);
}

void recycle_items(Window& window, const std::vector<NodeIndex>& nodes) {
    App& app = window.app;
    if (!app.tree) return;
    const HWND handle = window.handle;
    const std::uint64_t generation = app.tree_generation;
    struct Item {
        NodeIndex node;
        std::string path;  // what is moved
        std::uint64_t size;
    };
    std::vector<Item> items;
    std::vector<std::string> left_out;
    std::uint64_t total = 0;
    const std::vector<std::string> known = known_folders();
    for (const NodeIndex node : outermost(*app.tree, nodes)) {
        std::string path = real_path_of(*app.tree, node);
        if (node == 0 || is_protected(path, environment_variable, known)) {
            left_out.push_back(path_of(*app.tree, node));
        } else {
            total += node_at(*app.tree, node).size;
            items.push_back(Item{node, std::move(path), node_at(*app.tree, node).size});
        }
    }
    const std::string question = recycle_many_question(items.size(), total, left_out);
    if (items.empty()) {
        MessageBoxW(handle, to_wide(question).c_str(), L"Spadrim", MB_ICONINFORMATION);
        return;
    }
    if (MessageBoxW(handle, to_wide(question).c_str(), L"Spadrim",
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;

    RecycleTally tally;
    std::vector<std::string> moved;  // paths, to find in a tree that a scan replaced meanwhile
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        // The shell takes plain paths, which Windows rewrites: "report." would move "report".
        if (!plain_path_is_exact(item.path)) {
            ++tally.failed[static_cast<std::size_t>(MoveFailure::Other)];
            continue;
        }
        if (!exists(item.path)) {
            ++tally.failed[static_cast<std::size_t>(MoveFailure::Missing)];
            continue;
        }
        const RecycleObservation seen = move_to_bin(handle, item.path);
        switch (recycle_outcome(seen)) {
            case RecycleOutcome::Recycled:
                ++tally.recycled;
                tally.recycled_bytes += item.size;
                moved.push_back(item.path);
                break;
            case RecycleOutcome::DeletedForGood:
                ++tally.deleted;
                tally.deleted_bytes += item.size;
                moved.push_back(item.path);
                break;
            case RecycleOutcome::Failed:
                ++tally.failed[static_cast<std::size_t>(move_failure(seen.result, true))];
                break;
            case RecycleOutcome::Cancelled: tally.not_tried = items.size() - i; break;
        }
        if (tally.not_tried != 0 || !main_window()) break;  // the shell's dialog ran a modal loop
    }
    Window* current = main_window();
    if (!current) return;
    App& now = current->app;
    if (!moved.empty() && now.tree) {
        // A scan that ended while the boxes were up brought a new tree, in which the items have other
        // indices.
        std::vector<NodeIndex> gone;
        for (std::size_t i = 0, m = 0; i < items.size() && m < moved.size(); ++i) {
            if (items[i].path != moved[m]) continue;
            ++m;
            const NodeIndex node =
                now.tree_generation == generation ? items[i].node : find_path(*now.tree, items[i].path);
            if (node != NO_NODE && node != 0 && !is_removed(*now.tree, node)) gone.push_back(node);
        }
        remove_from_view(now, gone);
        now.recycle_bin_bytes = query_recycle_bin();
        refresh_volume(now);
    }
    if (const std::string notice = recycle_many_notice(tally); !notice.empty()) show_notice(now, notice);
    state_changed(*current);
}

void empty_recycle_bin(Window& window) {
    const HRESULT emptied = SHEmptyRecycleBinW(window.handle, nullptr, 0);
    Window* current = main_window();
    if (!current) return;
    request_drives(current->app);
    refresh_volume(current->app);
    if (SUCCEEDED(emptied))
        show_notice(current->app, std::string(tr("휴지통을 비웠습니다", "The Recycle Bin is empty")));
    state_changed(*current);
}

}  // namespace spadrim
