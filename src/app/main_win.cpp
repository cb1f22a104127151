// Spadrim's entry: the command line, the Explorer verb, the main window and its state, the placement,
// the first scan and the daily update check, then the message loop until the window is gone.
#include <windows.h>

#include <dwmapi.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/messages_win.h"
#include "app/settings_win.h"
#include "app/startup.h"
#include "app/updater/updater.h"
#include "app/window_win.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

// Restores the saved placement, or centres the window at 80 % × 85 % of the primary work area; returns
// the show command.
int place(HWND window) {
    const std::optional<std::vector<unsigned char>> saved = read_placement();
    if (saved && saved->size() == sizeof(WINDOWPLACEMENT)) {
        WINDOWPLACEMENT placement;
        std::memcpy(&placement, saved->data(), sizeof placement);
        const bool maximised = placement.showCmd == SW_SHOWMAXIMIZED;
        placement.flags = 0;
        placement.showCmd = 0;
        SetWindowPlacement(window, &placement);
        SetWindowPlacement(window, &placement);
        return maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT work = monitor.rcWork;
    const LONG work_width = work.right - work.left;
    const LONG work_height = work.bottom - work.top;
    const auto width = static_cast<LONG>(0.8 * work_width);
    const auto height = static_cast<LONG>(0.85 * work_height);
    SetWindowPos(window, nullptr, work.left + (work_width - width) / 2, work.top + (work_height - height) / 2,
                 width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return SW_SHOWNORMAL;
}

std::uint64_t unix_now() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr std::uint64_t EPOCH = 116444736000000000ull;
    return ticks < EPOCH ? 0 : (ticks - EPOCH) / 10000000;
}

// A folder named relative to the directory Spadrim was started in, made full; full paths are kept as
// given (making them full again would strip a trailing dot or space from a name).
std::optional<std::string> full_folder(std::optional<std::string> folder) {
    if (!folder || (folder->size() >= 3 && (*folder)[1] == ':' && (*folder)[2] == '\\') ||
        folder->starts_with("\\\\")) {
        return folder;
    }
    const std::wstring relative = to_wide(*folder);
    const DWORD size = GetFullPathNameW(relative.c_str(), 0, nullptr, nullptr);
    if (size == 0) return folder;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(relative.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return folder;
    full.resize(length);
    return from_wide_exact(full);
}

// Leaves whatever directory Spadrim was started in (the folder the Explorer verb was used on, a
// download's folder, a USB stick) for the system folder, so that nothing started by a bare name is
// looked for there.
void leave_start_directory() {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) SetCurrentDirectoryW(system);
}

struct BusyRecord {
    std::chrono::steady_clock::duration painting{};  // the longest frame
    std::chrono::steady_clock::duration drawn{};     // all frames
    std::uint64_t frames = 0;
    std::chrono::steady_clock::duration other{};
    UINT other_message = 0;
};

void note_busy(BusyRecord& busy, const std::string& file, UINT message,
               std::chrono::steady_clock::duration took) {
    if (message == WM_PAINT) {
        busy.drawn += took;
        ++busy.frames;
        busy.painting = std::max(busy.painting, took);
    } else if (took > busy.other) {
        busy.other = took;
        busy.other_message = message;
    } else {
        return;
    }
    const auto ms = [](std::chrono::steady_clock::duration d) {
        return std::to_string(std::chrono::duration<double, std::milli>(d).count());
    };
    const std::string text = "painting " + ms(busy.painting) + " ms, " + ms(busy.drawn) + " ms in " +
                             std::to_string(busy.frames) + " frames\nother " + ms(busy.other) +
                             " ms (message " + std::to_string(busy.other_message) + ")\n";
    std::ofstream(std::filesystem::path(to_wide(file)), std::ios::trunc) << text;
}

int run() {
    const std::vector<std::string> args = command_line_arguments();
    if (wants_unregister(args)) {
        unregister();
        return 0;
    }
    if (wants_register(args)) {
        register_verb();
        return 0;
    }
    const std::optional<std::string> folder = full_folder(folder_argument(args));
    leave_start_directory();
    register_verb();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = L"Spadrim.Main";
    RegisterClassExW(&window_class);
    const HWND handle = CreateWindowExW(0, L"Spadrim.Main", L"Spadrim", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 1200, 820, nullptr, nullptr, instance, nullptr);
    if (!handle) return 0;

    const bool dark = dark_theme();
    const BOOL dark_value = dark;
    DwmSetWindowAttribute(handle, DWM_DARK_TITLE_BAR, &dark_value, sizeof dark_value);
    const int show = place(handle);
    const unsigned dpi = std::max(GetDpiForWindow(handle), 96u);

    auto window = std::make_unique<Window>();
    window->handle = handle;
    window->dpi = dpi;
    window->dark = dark;
    window->gfx = create_gfx(handle, dpi);
    window->app.wake_scan_owner = [handle] { PostMessageW(handle, MSG_SCAN_ENDED, 0, 0); };
    window->app.wake_duplicates_owner = [handle] { PostMessageW(handle, MSG_DUPLICATES_FOUND, 0, 0); };
    window->app.wake_drives_owner = [handle] { PostMessageW(handle, MSG_DRIVES_LISTED, 0, 0); };
    window->app.wake_baseline_owner = [handle] { PostMessageW(handle, MSG_BASELINE_READ, 0, 0); };
    window->app.wake_save_owner = [handle] { PostMessageW(handle, MSG_SCAN_SAVED, 0, 0); };
    window->app.wake_refresh_owner = [handle] { PostMessageW(handle, MSG_REFRESHED, 0, 0); };
    // A burst of changes is one message until the window has taken them.
    window->app.wake_follow_owner = [handle, posted = window->follow_posted] {
        if (!posted->exchange(true)) PostMessageW(handle, MSG_DISK_CHANGED, 0, 0);
    };
    window->app.follow_changes = read_flag(L"FollowChanges", true);
    window->app.watcher = start_watch;
    // The tests shrink the system's buffer of changes to make it overflow.
    if (const std::optional<std::string> bytes = environment_variable("SPADRIM_WATCH_BUFFER"))
        window->app.watch_buffer = static_cast<std::size_t>(std::strtoull(bytes->c_str(), nullptr, 10));
    window->app.scans_folder = remembered_folder();
    window->app.remember_scans = read_flag(L"RememberScans", true);
    request_drives(window->app);
    Window& state = *window;
    set_main_window(std::move(window));
    ShowWindow(handle, show);

    if (folder) {
        if (is_scan_file_name(*folder) && !folder_exists(*folder)) {
            start_import(state.app, *folder);
        } else {
            start_scan(state.app, *folder, std::nullopt);
        }
        state_changed(state);
    }
    const std::optional<std::uint32_t> auto_update = read_auto_update();
    const std::uint64_t now = unix_now();
    if (!(auto_update && *auto_update == 0)) {
        const std::uint64_t last =
            parse_check_time(read_setting(SETTINGS_KEY, "LastUpdateCheck").value_or(""));
        if (update_check_due(auto_update, last, now)) {
            write_setting(SETTINGS_KEY, "LastUpdateCheck", std::to_string(now));
            start_update_check(state, false);
        }
    }

    // The tests ask for the longest time one message kept the UI thread, drawing and the rest apart (what
    // any message posted meanwhile waited), and for the time spent drawing.
    const std::optional<std::string> busy_log = environment_variable("SPADRIM_BUSY_LOG");
    BusyRecord busy;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        const auto began = std::chrono::steady_clock::now();
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (busy_log) note_busy(busy, *busy_log, message.message, std::chrono::steady_clock::now() - began);
    }
    free_retired_window();  // cancels what still runs and waits for its threads
    return 0;
}

}  // namespace
}  // namespace spadrim

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return spadrim::run();
}
