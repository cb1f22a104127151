// Shell actions. See shell_win.h.
#include "app/shell_win.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <cstring>
#include <optional>
#include <span>

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

void choose_scan_file(Window& window) {
    const std::wstring kind = to_wide(tr("스캔 파일 (ncdu JSON)", "Scan files (ncdu JSON)"));
    const COMDLG_FILTERSPEC filters[] = {{kind.c_str(), L"*.json;*.json.gz"}};
    const std::optional<std::string> path =
        pick_path(window.handle, FOS_FILEMUSTEXIST, tr("열 스캔 파일", "Scan file to open"), filters);
    Window* current = main_window();
    if (path && current) {
        start_import(current->app, *path);
        state_changed(*current);
    }
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
