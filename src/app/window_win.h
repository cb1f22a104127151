// The main window: its state beside the App (graphics device, hover, drag) and the window procedure.
// The procedure decodes messages and hands them to portable handlers; painting lives in paint_win.cpp.
// Main thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "app/app.h"
#include "app/paint/layout.h"
#include "gfx/gfx.h"

namespace spadrim {

inline constexpr UINT MSG_SCAN_ENDED = WM_APP + 1;
inline constexpr UINT MSG_UPDATE_CHECKED = WM_APP + 2;
inline constexpr UINT MSG_DOWNLOAD_ENDED = WM_APP + 3;
inline constexpr UINT MSG_DUPLICATES_FOUND = WM_APP + 4;

inline constexpr UINT_PTR TIMER_NOTICE = 1;
inline constexpr UINT_PTR TIMER_SCAN = 2;
inline constexpr UINT_PTR TIMER_COMPARE = 3;

struct Window {
    HWND handle = nullptr;
    App app;
    std::unique_ptr<Gfx> gfx;
    unsigned dpi = 96;
    bool dark = false;
    HitTarget hover;
    bool leave_armed = false;
    bool dragging = false;
    float grab = 0;
    std::uint64_t notice_serial = 0;  // the last notice whose expiry timer was started
    bool held = false;                // a handler further up the stack holds the state (modal loops)
    std::vector<TreemapRect> tiles;   // the treemap layout of the results screen, for this key:
    struct TreemapKey {
        bool valid = false;
        NodeIndex folder = 0;
        int width = 0;
        int height = 0;
        std::uint64_t generation = 0;
        bool operator==(const TreemapKey&) const = default;
    } tiles_key;
};

// What the user asks for besides pointing and scrolling: the header buttons, shortcuts and menus.
enum class CommandKind : std::uint8_t {
    ChooseFolder = 0,
    AnalyzeAgain = 1,
    EmptyRecycleBin = 2,
    ShowMenu = 3,  // at a client point
    OpenItem = 4,  // a node
    CopyPath = 5,
    RecycleItem = 6,
    UpdateChecked = 7,  // the updater's workers left an outcome
    DownloadEnded = 8,
};

struct Command {
    CommandKind kind;
    NodeIndex node = NO_NODE;
    float x = 0;
    float y = 0;
};

// Runs a command. Called after the handler that asked for it released the state: commands open menus,
// dialogs and message boxes whose modal loops dispatch messages of their own.
void run_command(Window& window, const Command& command);

// Opens the item menu of a node at a client point.
void show_item_menu(Window& window, NodeIndex node, float x, float y);

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The main thread's window state, or nothing before it is built and after WM_DESTROY.
Window* main_window();
void set_main_window(std::unique_ptr<Window> window);

// The view as the layout sees it, with the current client size.
ViewInput view_input(const Window& window);
void repaint(const Window& window);
void update_title(const Window& window);
// Cancels what runs and shows the drives.
void go_home(Window& window);
// Starts or stops the notice, scan and comparison timers to match the state.
void sync_timers(Window& window);

// One frame (paint_win.cpp).
void paint_frame(Window& window);

// Brings the treemap layout up to date for the current folder and box (results_win.cpp).
void update_treemap(Window& window, const ViewInput& in);

}  // namespace spadrim
