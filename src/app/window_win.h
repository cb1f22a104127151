// The main window: its state beside the App (graphics device, treemap layout, timers) and the window
// procedure, which decodes messages and hands them to the portable input handlers. Main thread only.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/input/actions.h"
#include "app/timers.h"
#include "gfx/gfx.h"
#include "treemap/treemap.h"

namespace spadrim {

// DwmSetWindowAttribute's DWMWA_USE_IMMERSIVE_DARK_MODE (Windows 10 20H1 and later): a dark title bar.
inline constexpr DWORD DWM_DARK_TITLE_BAR = 20;

// What the window shares with the UI Automation providers it handed out (app/access/access_win.cpp).
struct AccessHub;

struct Window {
    HWND handle = nullptr;
    App app;
    std::unique_ptr<Gfx> gfx;
    unsigned dpi = 96;
    bool dark = false;
    bool leave_armed = false;  // a WM_MOUSELEAVE is asked for
    RunningTimers timers;
    std::wstring title;              // as last set
    std::vector<TreemapRect> tiles;  // the treemap layout of the results screen, for this key:
    struct TreemapKey {
        bool valid = false;
        NodeIndex folder = 0;
        int width = 0;
        int height = 0;
        std::uint64_t generation = 0;
        std::uint64_t results = 0;  // the filter's results laid out; 0 without a filter
        bool operator==(const TreemapKey&) const = default;
    } tiles_key;
    std::shared_ptr<AccessHub> access;        // from the first request of a screen reader on
    wchar_t high_surrogate = 0;               // the first half of a character WM_CHAR brings in two
    std::optional<std::string> status_drawn;  // the status line as the following timer last drew it
    // A MSG_DISK_CHANGED is posted and not yet handled.
    std::shared_ptr<std::atomic<bool>> follow_posted = std::make_shared<std::atomic<bool>>(false);
};

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The main thread's window state, or nothing before it is built and after WM_DESTROY. Code that ran a
// modal loop (a menu, a message box, a dialog) looks it up again afterwards: the window may be gone.
Window* main_window();
void set_main_window(std::unique_ptr<Window> window);
// WM_DESTROY: the state leaves the slot at once, but its memory lives until the message loop has ended,
// so that no frame further up the stack ever points at freed memory.
void retire_main_window();
void free_retired_window();

// The client size, scale, treemap layout and text measurer of the window.
Surface surface_of(const Window& window);
ViewInput view_input(const Window& window);

// The state changed: scroll kept in range, title, timers following the work, repaint.
void state_changed(Window& window);
void repaint(const Window& window);

}  // namespace spadrim
