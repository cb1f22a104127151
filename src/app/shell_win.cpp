// Shell actions. See shell_win.h.
#include "app/shell_win.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "app/export.h"
#include "app/settings_win.h"
#include "app/startup.h"
#include "strings/strings.h"
#include "strings/wide_win.h"

namespace spadrim {

namespace {

// The real path the user picks in the shell's open dialog, with `options` added to its own; nothing when
// the dialog is cancelled or fails. Its modal loop runs: the window may be gone after it.
std::optional<std::string> pick_path(HWND owner, FILEOPENDIALOGOPTIONS wanted, std::string_view title,
                                     std::span<const COMDLG_FILTERSPEC> filters = {}) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options))) return std::nullopt;
    dialog->SetOptions(options | wanted | FOS_FORCEFILESYSTEM);
    if (!filters.empty()) dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
    dialog->SetTitle(to_wide(title).c_str());
    if (FAILED(dialog->Show(owner))) return std::nullopt;
    ComPtr<IShellItem> item;
    if (FAILED(dialog->GetResult(&item))) return std::nullopt;
    PWSTR chosen = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &chosen))) return std::nullopt;
    std::string path = from_wide_exact(chosen);  // a real path: the walk must reach it
    CoTaskMemFree(chosen);
    return path;
}

}  // namespace

void choose_folder(Window& window) {
    const std::optional<std::string> path =
        pick_path(window.handle, FOS_PICKFOLDERS, tr("검사할 폴더", "Folder to analyze"));
    Window* current = main_window();
    if (path && current) {
        start_scan(current->app, *path, std::nullopt);
        state_changed(*current);
    }
}

namespace {

std::optional<std::string> pick_scan_file(HWND owner, std::string_view title) {
    const std::wstring kind = to_wide(tr("스캔 파일 (ncdu JSON)", "Scan files (ncdu JSON)"));
    const COMDLG_FILTERSPEC filters[] = {{kind.c_str(), L"*.json;*.json.gz"}};
    return pick_path(owner, FOS_FILEMUSTEXIST, title, filters);
}

}  // namespace

void choose_scan_file(Window& window) {
    const std::optional<std::string> path =
        pick_scan_file(window.handle, tr("열 스캔 파일", "Scan file to open"));
    Window* current = main_window();
    if (path && current) {
        start_import(current->app, *path);
        state_changed(*current);
    }
}

void choose_baseline_file(Window& window) {
    const std::uint64_t generation = window.app.tree_generation;
    const std::optional<std::string> path =
        pick_scan_file(window.handle, tr("비교할 스캔 파일", "Scan file to compare with"));
    Window* current = main_window();
    // A scan that ended meanwhile put another tree on screen, which the file was not picked for.
    if (path && current && current->app.tree && current->app.tree_generation == generation) {
        start_baseline(current->app, *path);
        state_changed(*current);
    }
}

namespace {

// The system's sentence for an error code, without its line end.
std::string error_text(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "error " + std::to_string(error);
    return from_wide(text);
}

// Writes bytes beside path (path.part) and renames it over path, so that a write that fails midway leaves
// what was there intact; the error code when it fails (0 on success).
DWORD write_aside(const std::string& path, std::string_view bytes) {
    const std::wstring part = to_wide(path + ".part");
    const HANDLE file =
        CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD error = 0;
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            error = GetLastError();
        done += wrote;
    }
    if (!CloseHandle(file) && error == 0) error = GetLastError();
    if (error == 0 &&
        !MoveFileExW(part.c_str(), to_wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0) DeleteFileW(part.c_str());
    return error;
}

}  // namespace

void export_list(Window& window) {
    if (!window.app.tree) return;
    // Taken before the dialog: its modal loop may let a scan replace what is listed.
    const std::string csv = export_csv(window.app);
    const std::string name = export_file_name(window.app.tab);
    ComPtr<IFileSaveDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return;
    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(dialog->GetOptions(&options)))
        dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_OVERWRITEPROMPT);
    const std::wstring kind = to_wide(tr("CSV 파일", "CSV files"));
    const COMDLG_FILTERSPEC filters[] = {{kind.c_str(), L"*.csv"}};
    dialog->SetFileTypes(1, filters);
    dialog->SetDefaultExtension(L"csv");
    dialog->SetFileName(to_wide(name).c_str());
    dialog->SetTitle(to_wide(tr("목록 내보내기", "Export list")).c_str());
    if (FAILED(dialog->Show(window.handle))) return;
    ComPtr<IShellItem> item;
    if (FAILED(dialog->GetResult(&item))) return;
    PWSTR chosen = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &chosen))) return;
    const std::string path = from_wide_exact(chosen);
    CoTaskMemFree(chosen);
    const DWORD error = write_aside(path, csv);
    Window* current = main_window();
    if (!current) return;
    show_notice(current->app, error == 0
                                  ? substitute(tr("{0}에 내보냈습니다", "Exported to {0}"), {path})
                                  : substitute(tr("{0}에 쓰지 못했습니다: {1}", "Could not write {0}: {1}"),
                                               {path, error_text(error)}));
    state_changed(*current);
}

void open_item(const std::string& path) {
    ShellExecuteW(nullptr, L"open", to_wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void show_in_explorer(const std::string& path) {
    // By its full path: a bare "explorer.exe" is looked for in Spadrim's own folder and in the current
    // directory first, where anyone who could write a file there would have it run.
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring windows(folder, length);
    const std::wstring explorer = windows + L"\\explorer.exe";
    std::wstring command = L"\"" + explorer + L"\" /select,\"" + to_wide(path) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, windows.c_str(),
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

bool copy_path(HWND owner, const std::string& path) {
    const std::wstring text = to_wide(path);
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (!OpenClipboard(owner)) return false;
    bool copied = false;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* data = GlobalLock(memory)) {
            std::memcpy(data, text.c_str(), bytes);
            GlobalUnlock(memory);
            copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!copied) GlobalFree(memory);  // the clipboard owns it only once SetClipboardData succeeded
    }
    CloseClipboard();
    return copied;
}

std::optional<std::string> clipboard_text(HWND owner) {
    if (!OpenClipboard(owner)) return std::nullopt;
    std::optional<std::string> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Bounded by the block: a text without its terminating zero is not read past its end.
            const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
            text = from_wide(std::wstring_view(wide, wcsnlen(wide, units)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

bool run_as_administrator(HWND owner, const std::string& root) {
    const std::optional<std::string> exe = module_path();
    if (!exe) return false;
    const HINSTANCE started = ShellExecuteW(owner, L"runas", to_wide(*exe).c_str(),
                                            to_wide(elevated_argument(root)).c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

void open_web_page(const std::string& address) {
    ShellExecuteW(nullptr, L"open", to_wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace spadrim
