// The window procedure: a table of contents of the messages; each case decodes its parameters and calls
// a handler. Handlers that change the state repaint; timers follow the work they pace.
#include "app/window_win.h"

#include <dwmapi.h>
#include <windowsx.h>

#include <optional>
#include <utility>

#include "app/input/navigation.h"
#include "app/input/scrolling.h"
#include "app/settings_win.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

std::unique_ptr<Window>& slot() {
    static std::unique_ptr<Window> window;
    return window;
}

// Holds the state for one handler; a message re-entered from a modal loop finds it held and does nothing.
class Hold {
  public:
    explicit Hold(Window* window) : window_(window && !window->held ? window : nullptr) {
        if (window_) window_->held = true;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    ~Hold() {
        if (window_) window_->held = false;
    }
    Window* get() const { return window_; }
    void release() {
        if (window_) window_->held = false;
        window_ = nullptr;
    }

  private:
    Window* window_;
};

// The command a handler asked for, run once the handler has released the state.
std::optional<Command>& pending_command() {
    static std::optional<Command> command;
    return command;
}

void ask(const Command& command) {
    pending_command() = command;
}

// Workers' messages that arrived while the state was held, one bit each from MSG_SCAN_ENDED.
UINT& missed_messages() {
    static UINT missed = 0;
    return missed;
}

// The item menu asked for by a right click, opened once the state is released.
std::optional<Command>& pending_item_menu() {
    static std::optional<Command> menu;
    return menu;
}

ListGeometry list_geometry(const Window& window) {
    const ViewInput in = view_input(window);
    return ListGeometry{list_viewport(in).height, row_height(in)};
}

}  // namespace

void go_home(Window& window) {
    App& app = window.app;
    cancel_scan(app);
    cancel_duplicates(app);
    app.screen = Screen::Home;
    list_drives(app);
    update_title(window);
    repaint(window);
}

void sync_timers(Window& window) {
    App& app = window.app;
    if (app.notice_serial != window.notice_serial) {
        window.notice_serial = app.notice_serial;
        SetTimer(window.handle, TIMER_NOTICE, 3500, nullptr);
    }
    if (app.scan_job) {
        SetTimer(window.handle, TIMER_SCAN, 120, nullptr);
    } else {
        KillTimer(window.handle, TIMER_SCAN);
    }
    if (app.duplicate_job) {
        SetTimer(window.handle, TIMER_COMPARE, 150, nullptr);
    } else {
        KillTimer(window.handle, TIMER_COMPARE);
    }
}

namespace {

void clamp_scroll(Window& window) {
    window.app.scroll = std::clamp(window.app.scroll, 0.0, max_scroll(view_input(window)));
}

void set_tab(Window& window, Tab tab) {
    if (window.app.tab == tab) return;
    window.app.tab = tab;
    window.app.scroll = 0;
    refresh_view(window.app);
    repaint(window);
}

void start_scan_of(Window& window, const std::string& folder) {
    start_scan(window.app, folder, std::nullopt);
    update_title(window);
    repaint(window);
}

void on_click(Window& window, float x, float y) {
    App& app = window.app;
    const ViewInput in = view_input(window);
    const HitTarget target = hit_test(in, x, y);
    switch (target.kind) {
        case HitKind::Home: go_home(window); break;
        case HitKind::Up:
            go_to_parent(app, list_geometry(window));
            update_title(window);
            repaint(window);
            break;
        case HitKind::Crumb: {
            if (!app.tree) break;
            const auto node = static_cast<NodeIndex>(target.payload);
            const std::vector<NodeIndex> chain = chain_to(*app.tree, app.current_folder);
            const auto at = std::find(chain.begin(), chain.end(), node);
            const NodeIndex reveal = at != chain.end() && at + 1 != chain.end() ? *(at + 1) : NO_NODE;
            navigate(app, node, reveal, list_geometry(window));
            update_title(window);
            repaint(window);
            break;
        }
        case HitKind::DriveCard:
            if (target.payload < app.drives.size()) {
                start_scan_of(window, app.drives[target.payload].root);
            } else {
                ask(Command{CommandKind::ChooseFolder});
            }
            break;
        case HitKind::Refresh: ask(Command{CommandKind::AnalyzeAgain}); break;
        case HitKind::Menu: ask(Command{CommandKind::ShowMenu, NO_NODE, x, y}); break;
        case HitKind::EmptyRecycleBin: ask(Command{CommandKind::EmptyRecycleBin}); break;
        case HitKind::CancelScan: cancel_scan(app); break;
        case HitKind::Tab: set_tab(window, static_cast<Tab>(target.payload)); break;
        case HitKind::Row:
            if (app.tab == Tab::Folders || app.tab == Tab::LargestFiles) {
                if (target.payload < app.node_rows.size()) app.selection = app.node_rows[target.payload];
            } else if (app.tab == Tab::ByType && target.payload < app.extension_rows.size()) {
                const std::string& extension = app.extension_rows[target.payload].extension;
                if (app.selected_extension == extension) {
                    app.selected_extension.reset();
                } else {
                    app.selected_extension = extension;
                }
            } else if (app.tab == Tab::Duplicates && target.payload < app.duplicate_rows.size()) {
                const DuplicateRow row = app.duplicate_rows[target.payload];
                if (row.member != NO_NODE) {
                    app.selection = row.member;
                } else if (const auto found = app.duplicates.find(app.current_folder);
                           found != app.duplicates.end()) {
                    const Digest& digest = found->second.sets[row.set].digest;
                    if (!app.expanded_sets.erase(digest)) app.expanded_sets.insert(digest);
                    refresh_view(app);
                }
            }
            repaint(window);
            break;
        case HitKind::ScrollBar:
            if (const std::optional<ScrollThumb> thumb = scroll_thumb(in)) {
                window.grab = grab_offset(*thumb, x, y, in.scale);
                window.dragging = true;
                app.scroll = drag_scroll(in, *thumb, y, window.grab);
                SetCapture(window.handle);
                repaint(window);
            }
            break;
        case HitKind::Tile:
            app.selection = static_cast<NodeIndex>(target.payload);
            repaint(window);
            break;
        case HitKind::None: break;
    }
}

void on_double_click(Window& window, float x, float y) {
    App& app = window.app;
    if (!app.tree) return;
    const HitTarget target = hit_test(view_input(window), x, y);
    const ListGeometry list = list_geometry(window);
    NodeIndex node = NO_NODE;
    if (target.kind == HitKind::Tile) node = static_cast<NodeIndex>(target.payload);
    if (target.kind == HitKind::Row) {
        if ((app.tab == Tab::Folders || app.tab == Tab::LargestFiles) &&
            target.payload < app.node_rows.size()) {
            node = app.node_rows[target.payload];
        } else if (app.tab == Tab::Duplicates && target.payload < app.duplicate_rows.size()) {
            node = app.duplicate_rows[target.payload].member;
            if (node != NO_NODE && node_at(*app.tree, node).parent != NO_NODE) {
                app.tab = Tab::Folders;
                navigate(app, node_at(*app.tree, node).parent, node, list);
                update_title(window);
                repaint(window);
            }
            return;
        }
    }
    if (node == NO_NODE) return;
    const Node& item = node_at(*app.tree, node);
    if (item.flags & FLAG_DIR) {
        navigate(app, node, NO_NODE, list);
    } else if (item.parent != NO_NODE && item.parent != app.current_folder) {
        navigate(app, item.parent, node, list);
    }
    update_title(window);
    repaint(window);
}

void on_mouse_move(Window& window, float x, float y) {
    if (!window.leave_armed) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window.handle, 0};
        window.leave_armed = TrackMouseEvent(&track) != 0;
    }
    const ViewInput in = view_input(window);
    if (window.dragging) {
        if (const std::optional<ScrollThumb> thumb = scroll_thumb(in)) {
            window.app.scroll = drag_scroll(in, *thumb, y, window.grab);
            repaint(window);
        }
        return;
    }
    const HitTarget target = hit_test(in, x, y);
    if (target != window.hover) {
        window.hover = target;
        repaint(window);
    }
}

void on_wheel(Window& window, int delta, POINT point) {
    ScreenToClient(window.handle, &point);
    const ViewInput in = view_input(window);
    if (window.app.screen != Screen::Results) return;
    if (!list_viewport(in).contains(static_cast<float>(point.x), static_cast<float>(point.y))) return;
    window.app.scroll = wheel_scroll(in, delta);
    window.hover = hit_test(view_input(window), static_cast<float>(point.x), static_cast<float>(point.y));
    repaint(window);
}

void on_key(Window& window, WPARAM key, bool alt) {
    App& app = window.app;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const ListGeometry list = list_geometry(window);
    if (alt) {
        if (key == VK_LEFT && app.screen == Screen::Results) go_to_parent(app, list);
    } else if (control && key == 'O') {
        ask(Command{CommandKind::ChooseFolder});
    } else if (app.screen == Screen::Home) {
        if (key == VK_F5) list_drives(app);
    } else if (app.screen == Screen::Scanning) {
        if (key == VK_ESCAPE) cancel_scan(app);
    } else if (key == VK_BACK) {
        go_to_parent(app, list);
    } else if (key == VK_TAB && control) {
        set_tab(window, static_cast<Tab>((static_cast<int>(app.tab) + (shift ? 3 : 1)) % 4));
    } else if (key == VK_ESCAPE) {
        if (app.selected_extension) {
            app.selected_extension.reset();
        } else {
            app.selection = NO_NODE;
        }
    } else if (key == VK_RETURN) {
        if (app.selection != NO_NODE && app.tree && (node_at(*app.tree, app.selection).flags & FLAG_DIR)) {
            navigate(app, app.selection, NO_NODE, list);
        } else if (app.selection != NO_NODE) {
            ask(Command{CommandKind::OpenItem, app.selection});
        }
    } else if (key == VK_F5) {
        ask(Command{CommandKind::AnalyzeAgain});
    } else if (control && key == 'C') {
        if (app.selection != NO_NODE) ask(Command{CommandKind::CopyPath, app.selection});
    } else if (key == VK_DELETE) {
        if (app.selection != NO_NODE) ask(Command{CommandKind::RecycleItem, app.selection});
    } else {
        static constexpr std::pair<WPARAM, SelectionKey> KEYS[] = {
            {VK_UP, SelectionKey::Up},        {VK_DOWN, SelectionKey::Down},
            {VK_PRIOR, SelectionKey::PageUp}, {VK_NEXT, SelectionKey::PageDown},
            {VK_HOME, SelectionKey::Home},    {VK_END, SelectionKey::End}};
        for (const auto& [code, move] : KEYS) {
            if (key == code) move_selection(app, move, list);
        }
    }
    update_title(window);
    repaint(window);
}

void on_timer(Window& window, UINT_PTR id) {
    if (id == TIMER_NOTICE) {
        KillTimer(window.handle, TIMER_NOTICE);
        if (!window.app.notice.empty() &&
            Clock::now() - window.app.notice_shown >= std::chrono::milliseconds(3400)) {
            window.app.notice.clear();
        }
    }
    repaint(window);
}

void on_close(Window& window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window.handle, &placement)) write_placement(placement);
    cancel_scan(window.app);
    cancel_duplicates(window.app);
}

}  // namespace

Window* main_window() {
    return slot().get();
}

void set_main_window(std::unique_ptr<Window> window) {
    slot() = std::move(window);
}

ViewInput view_input(const Window& window) {
    const App& app = window.app;
    RECT client{};
    GetClientRect(window.handle, &client);
    ViewInput in;
    in.width = static_cast<float>(client.right - client.left);
    in.height = static_cast<float>(client.bottom - client.top);
    in.scale = static_cast<float>(window.dpi) / 96.0f;
    in.screen = app.screen;
    in.tab = app.tab;
    in.current_folder = app.current_folder;
    in.scroll = app.scroll;
    in.row_count = app.tab == Tab::ByType       ? app.extension_rows.size()
                   : app.tab == Tab::Duplicates ? app.duplicate_rows.size()
                                                : app.node_rows.size();
    in.drive_count = app.drives.size();
    in.recycle_bin = app.recycle_bin_bytes;
    in.warning = app.screen == Screen::Results && status_line(app).has_value();
    in.tree = app.tree ? &*app.tree : nullptr;
    in.tiles = &window.tiles;
    if (window.gfx) {
        const Gfx* gfx = window.gfx.get();
        in.measure = [gfx](std::string_view text, TextStyle style) { return text_width(*gfx, text, style); };
    }
    return in;
}

void repaint(const Window& window) {
    InvalidateRect(window.handle, nullptr, FALSE);
}

void update_title(const Window& window) {
    SetWindowTextW(window.handle, to_wide(window_title(window.app)).c_str());
}

LRESULT CALLBACK window_proc(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    // Messages that need no state come first: some arrive before the state exists.
    switch (message) {
        case WM_GETMINMAXINFO: {
            const MinimumSize minimum = minimum_window_size(GetDpiForWindow(handle));
            reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{minimum.width, minimum.height};
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_DESTROY:
            set_main_window(nullptr);
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // Not under a Hold: DestroyWindow sends WM_DESTROY, which frees the state.
            if (Window* window = main_window(); window && !window->held) on_close(*window);
            DestroyWindow(handle);
            return 0;
        case WM_DPICHANGED: {
            if (Window* window = main_window()) {
                window->dpi = LOWORD(wparam);
                if (window->gfx) set_gfx_dpi(*window->gfx, window->dpi);
                window->tiles.clear();
                window->tiles_key.valid = false;
            }
            const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(handle, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        default: break;
    }
    Hold hold(main_window());
    Window* window = hold.get();
    if (!window) {
        if (message == WM_PAINT) ValidateRect(handle, nullptr);
        // A worker's news must not be lost: its outcome waits in a slot that only this message empties.
        // Posted again once the state is free; posting now would spin inside a modal move or size loop.
        if (message >= MSG_SCAN_ENDED && message <= MSG_DUPLICATES_FOUND) {
            missed_messages() |= 1u << (message - MSG_SCAN_ENDED);
            return 0;
        }
        return DefWindowProcW(handle, message, wparam, lparam);
    }
    const auto x = static_cast<float>(GET_X_LPARAM(lparam));
    const auto y = static_cast<float>(GET_Y_LPARAM(lparam));
    LRESULT result = 0;
    switch (message) {
        case WM_PAINT:
            paint_frame(*window);
            ValidateRect(handle, nullptr);
            break;
        case WM_SIZE:
            if (window->gfx) resize_gfx(*window->gfx, LOWORD(lparam), HIWORD(lparam));
            clamp_scroll(*window);
            repaint(*window);
            break;
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE && window->app.screen == Screen::Home) {
                list_drives(window->app);
                repaint(*window);
            }
            result = DefWindowProcW(handle, message, wparam, lparam);
            break;
        case WM_SETTINGCHANGE:
            if (const bool dark = dark_theme(); dark != window->dark) {
                window->dark = dark;
                const BOOL value = dark;
                DwmSetWindowAttribute(handle, 20, &value, sizeof value);
                repaint(*window);
            }
            result = DefWindowProcW(handle, message, wparam, lparam);
            break;
        case WM_KEYDOWN: on_key(*window, wparam, false); break;
        case WM_SYSKEYDOWN:
            if (wparam != VK_LEFT) return DefWindowProcW(handle, message, wparam, lparam);
            on_key(*window, wparam, true);
            break;
        case WM_TIMER:
            if (wparam < TIMER_NOTICE || wparam > TIMER_COMPARE)
                return DefWindowProcW(handle, message, wparam, lparam);
            on_timer(*window, wparam);
            break;
        case WM_MOUSEMOVE: on_mouse_move(*window, x, y); break;
        case WM_LBUTTONDOWN: on_click(*window, x, y); break;
        case WM_LBUTTONUP:
            if (window->dragging) {
                window->dragging = false;
                ReleaseCapture();
            }
            break;
        case WM_LBUTTONDBLCLK: on_double_click(*window, x, y); break;
        case WM_RBUTTONUP: {
            const HitTarget target = hit_test(view_input(*window), x, y);
            NodeIndex node = NO_NODE;
            if (target.kind == HitKind::Tile) node = static_cast<NodeIndex>(target.payload);
            if (target.kind == HitKind::Row &&
                (window->app.tab == Tab::Folders || window->app.tab == Tab::LargestFiles) &&
                target.payload < window->app.node_rows.size()) {
                node = window->app.node_rows[target.payload];
            }
            if (target.kind == HitKind::Row && window->app.tab == Tab::Duplicates &&
                target.payload < window->app.duplicate_rows.size()) {
                node = window->app.duplicate_rows[target.payload].member;
            }
            if (node != NO_NODE) {
                window->app.selection = node;
                repaint(*window);
                pending_item_menu() = Command{CommandKind::OpenItem, node, x, y};
            }
            break;
        }
        case WM_MOUSEWHEEL:
            on_wheel(*window, GET_WHEEL_DELTA_WPARAM(wparam),
                     POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
            break;
        case WM_XBUTTONUP:
            go_to_parent(window->app, list_geometry(*window));
            update_title(*window);
            repaint(*window);
            result = 1;
            break;
        case WM_DEVICECHANGE:
            if (window->app.screen == Screen::Home) {
                list_drives(window->app);
                repaint(*window);
            }
            result = 1;
            break;
        case WM_MOUSELEAVE:
            window->leave_armed = false;
            if (window->hover != HitTarget{}) {
                window->hover = HitTarget{};
                repaint(*window);
            }
            break;
        case MSG_SCAN_ENDED:
            finish_scan(window->app);
            update_title(*window);
            repaint(*window);
            break;
        case MSG_DUPLICATES_FOUND:
            finish_duplicates(window->app);
            repaint(*window);
            break;
        case MSG_UPDATE_CHECKED: ask(Command{CommandKind::UpdateChecked}); break;
        case MSG_DOWNLOAD_ENDED: ask(Command{CommandKind::DownloadEnded}); break;
        default: return DefWindowProcW(handle, message, wparam, lparam);
    }
    if (main_window() == window) sync_timers(*window);
    hold.release();
    for (UINT missed = std::exchange(missed_messages(), 0u), bit = 0; missed != 0; missed >>= 1, ++bit) {
        if (missed & 1u) PostMessageW(handle, MSG_SCAN_ENDED + bit, 0, 0);
    }
    // Commands and menus run without the state held: their modal loops dispatch messages of their own.
    if (std::optional<Command> command = std::exchange(pending_command(), std::nullopt)) {
        if (Window* current = main_window()) run_command(*current, *command);
    }
    if (std::optional<Command> menu = std::exchange(pending_item_menu(), std::nullopt)) {
        if (Window* current = main_window()) show_item_menu(*current, menu->node, menu->x, menu->y);
    }
    return result;
}

}  // namespace spadrim
