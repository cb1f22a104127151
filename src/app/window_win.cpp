// The window procedure: a table of contents of the messages. Each case decodes its parameters, calls a
// handler of the App and applies what it reports.
//
// No message is ever dropped, and none finds the state half-changed: a handler runs to its end without
// entering a modal loop. What can run one (default processing, menus, message boxes, dialogs, the shell)
// runs only after the handler has finished; messages dispatched inside such a loop come back here and
// are handled like any other.
#include "app/window_win.h"

#include <dwmapi.h>
#include <imm.h>
#include <windowsx.h>

#include <cmath>
#include <optional>
#include <utility>

#include "app/access/access_win.h"
#include "app/commands_win.h"
#include "app/messages_win.h"
#include "app/paint/paint_win.h"
#include "app/settings_win.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

std::unique_ptr<Window>& slot() {
    static std::unique_ptr<Window> window;
    return window;
}

std::unique_ptr<Window>& retired() {
    static std::unique_ptr<Window> window;
    return window;
}

// What a handler leaves for the window procedure to do once it is done.
struct Answer {
    LRESULT result = 0;
    bool default_processing = false;  // then DefWindowProcW's result is returned
    std::optional<Command> command;
};

constexpr Answer DEFAULT{0, true, std::nullopt};

Answer apply(Window& window, const Reaction& reaction) {
    if (reaction.capture) SetCapture(window.handle);
    if (reaction.release) ReleaseCapture();  // sends WM_CAPTURECHANGED, which finds the drag over
    if (reaction.changed) state_changed(window);
    return Answer{0, false, reaction.command};
}

Key key_of(WPARAM code) {
    static constexpr std::pair<WPARAM, Key> KEYS[] = {{VK_UP, Key::Up},
                                                      {VK_DOWN, Key::Down},
                                                      {VK_PRIOR, Key::PageUp},
                                                      {VK_NEXT, Key::PageDown},
                                                      {VK_HOME, Key::Home},
                                                      {VK_END, Key::End},
                                                      {VK_RETURN, Key::Enter},
                                                      {VK_ESCAPE, Key::Escape},
                                                      {VK_BACK, Key::Backspace},
                                                      {VK_DELETE, Key::Delete},
                                                      {VK_TAB, Key::Tab},
                                                      {VK_F5, Key::F5},
                                                      {VK_LEFT, Key::Left},
                                                      {VK_RIGHT, Key::Right},
                                                      {VK_SPACE, Key::Space},
                                                      {'O', Key::O},
                                                      {'C', Key::C},
                                                      {'A', Key::A},
                                                      {'F', Key::F},
                                                      {'V', Key::V},
                                                      {'X', Key::X},
                                                      {'Y', Key::Y},
                                                      {'Z', Key::Z}};
    for (const auto& [vk, key] : KEYS) {
        if (vk == code) return key;
    }
    return Key::Other;
}

Modifiers modifiers(bool alt) {
    return Modifiers{GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, alt};
}

HitTarget target_at(const App& app, const Surface& surface, float x, float y) {
    return hit_test(view_input(app, surface), x, y);
}

void start_notice_timer(Window& window) {
    SetTimer(window.handle, TIMER_NOTICE, NOTICE_MILLISECONDS, nullptr);
}

void set_timer(Window& window, UINT_PTR id, TimerChange change, UINT period) {
    if (change == TimerChange::Start) SetTimer(window.handle, id, period, nullptr);
    if (change == TimerChange::Stop) KillTimer(window.handle, id);
}

void follow_timers(Window& window) {
    const TimerChanges changes = follow_work(window.app, window.timers);
    if (changes.start_notice) start_notice_timer(window);
    set_timer(window, TIMER_SCAN, changes.scan, SCAN_REPAINT_MILLISECONDS);
    set_timer(window, TIMER_COMPARE, changes.compare, COMPARE_REPAINT_MILLISECONDS);
    set_timer(window, TIMER_SEARCH, changes.search, SEARCH_SLICE_MILLISECONDS);
    set_timer(window, TIMER_CHANGES, changes.changes, SEARCH_SLICE_MILLISECONDS);
    set_timer(window, TIMER_FOLLOW, changes.following, FOLLOW_MILLISECONDS);
}

void update_title(Window& window) {
    std::wstring title = to_wide(window_title(window.app));
    if (title == window.title) return;
    window.title = std::move(title);
    SetWindowTextW(window.handle, window.title.c_str());
}

void on_timer(Window& window, UINT_PTR id) {
    if (id == TIMER_CHANGES) {
        // As a search: nothing new to draw until the comparison is done, then the Changes tab.
        if (!advance_changes(window.app, SEARCH_SLICE)) state_changed(window);
        return;
    }
    if (id == TIMER_FOLLOW) {
        advance_following(window.app, FollowClock::now());
        // Drawn again only when the status line moved on (the progress, "Updated 2 s ago"): drawing is the
        // costliest thing the window does, and a tick alone changes nothing else.
        std::optional<std::string> status = status_line(window.app);
        if (status != window.status_drawn) {
            window.status_drawn = std::move(status);
            state_changed(window);
        } else {
            follow_timers(window);
        }
        return;
    }
    if (id == TIMER_SEARCH) {
        // Nothing to draw until the search is done; then its results, and the timer stops.
        if (!advance_query(window.app, SEARCH_SLICE)) state_changed(window);
        return;
    }
    if (id == TIMER_NOTICE) {
        KillTimer(window.handle, TIMER_NOTICE);
        if (!window.app.notice.empty() && Clock::now() - window.app.notice_shown >= NOTICE_LIFETIME) {
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

void on_dpi_changed(HWND handle, WPARAM wparam, const RECT& suggested) {
    if (Window* window = main_window()) {
        window->dpi = LOWORD(wparam);
        if (window->gfx) set_gfx_dpi(*window->gfx, window->dpi);
        window->tiles.clear();
        window->tiles_key.valid = false;
    }
    // Sends WM_SIZE, handled in turn, which lays out anew for the new size and scale.
    SetWindowPos(handle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void on_theme_changed(Window& window) {
    const bool dark = dark_theme();
    if (dark == window.dark) return;
    window.dark = dark;
    const BOOL value = dark;
    DwmSetWindowAttribute(window.handle, DWM_DARK_TITLE_BAR, &value, sizeof value);
    repaint(window);
}

// WM_CHAR brings UTF-16 units: a character past the first plane comes as two messages (as Wine and
// xdotool send it), joined here.
Answer on_char(Window& window, WPARAM unit) {
    const auto code = static_cast<wchar_t>(unit);
    if (code >= 0xD800 && code < 0xDC00) {
        window.high_surrogate = code;
        return {};
    }
    std::wstring text(1, code);
    if (code >= 0xDC00 && code < 0xE000) {
        if (!window.high_surrogate) return {};
        text.insert(text.begin(), window.high_surrogate);
    }
    window.high_surrogate = 0;
    return apply(window, type_text(window.app, surface_of(window), from_wide(text)));
}

std::wstring composition_string(HIMC context, DWORD which) {
    const LONG bytes = ImmGetCompositionStringW(context, which, nullptr, 0);
    if (bytes <= 0) return {};
    std::wstring text(static_cast<std::size_t>(bytes) / sizeof(wchar_t), L'\0');
    const LONG got = ImmGetCompositionStringW(context, which, text.data(), static_cast<DWORD>(bytes));
    text.resize(got > 0 ? static_cast<std::size_t>(got) / sizeof(wchar_t) : 0);
    return text;
}

// Puts the input method's composition and candidate windows at the search field's caret.
void place_input_method(Window& window) {
    const std::optional<Box> caret = search_caret(window.app, surface_of(window));
    if (!caret) return;
    const HIMC context = ImmGetContext(window.handle);
    if (!context) return;
    const LONG x = std::lround(caret->x);
    const LONG top = std::lround(caret->y);
    const LONG bottom = std::lround(caret->y + caret->height);
    COMPOSITIONFORM composition{};
    composition.dwStyle = CFS_POINT;
    composition.ptCurrentPos = POINT{x, top};
    ImmSetCompositionWindow(context, &composition);
    CANDIDATEFORM candidates{};
    candidates.dwIndex = 0;
    candidates.dwStyle = CFS_EXCLUDE;  // below the field, never over the text being composed
    candidates.ptCurrentPos = POINT{x, bottom};
    candidates.rcArea = RECT{x, top, x + 1, bottom};
    ImmSetCandidateWindow(context, &candidates);
    ImmReleaseContext(window.handle, context);
}

// WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION and WM_IME_ENDCOMPOSITION: the field draws the composition
// itself at its caret; where it does not take it (another screen, the focus elsewhere) Windows' own
// handling shows it and sends the result as characters.
Answer on_composition(Window& window, UINT message, LPARAM lparam) {
    App& app = window.app;
    if (message == WM_IME_ENDCOMPOSITION) {
        if (app.search.composition.empty()) return DEFAULT;
        compose(app, "");
        state_changed(window);
        return {};
    }
    if (message == WM_IME_STARTCOMPOSITION) {
        if (!compose(app, "")) return DEFAULT;
        place_input_method(window);
        state_changed(window);
        return {};
    }
    if (app.screen != Screen::Results || app.focus.area != FocusArea::Search) return DEFAULT;
    const HIMC context = ImmGetContext(window.handle);
    if (!context) return DEFAULT;
    std::wstring result;
    std::wstring composing;
    if (lparam & GCS_RESULTSTR) result = composition_string(context, GCS_RESULTSTR);
    if (lparam & GCS_COMPSTR) composing = composition_string(context, GCS_COMPSTR);
    ImmReleaseContext(window.handle, context);
    compose(app, "");
    if (!result.empty()) apply(window, type_text(app, surface_of(window), from_wide(result)));
    compose(app, from_wide(composing));
    place_input_method(window);
    state_changed(window);
    return {};  // not DefWindowProcW's: it would send the result again as WM_IME_CHAR
}

void on_drives_may_have_changed(Window& window) {
    if (window.app.screen == Screen::Home) request_drives(window.app);  // answered with WM_APP+6
}

Answer on_message(Window& window, UINT message, WPARAM wparam, LPARAM lparam) {
    App& app = window.app;
    const Surface surface = surface_of(window);
    const auto x = static_cast<float>(GET_X_LPARAM(lparam));
    const auto y = static_cast<float>(GET_Y_LPARAM(lparam));
    switch (message) {
        case WM_PAINT:
            paint_frame(window);
            ValidateRect(window.handle, nullptr);
            return {};
        case WM_SIZE:
            if (window.gfx) resize_gfx(*window.gfx, LOWORD(lparam), HIWORD(lparam));
            state_changed(window);
            return {};
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE) on_drives_may_have_changed(window);
            return DEFAULT;
        case WM_SETTINGCHANGE: on_theme_changed(window); return DEFAULT;
        case WM_KEYDOWN: return apply(window, key_down(app, surface, key_of(wparam), modifiers(false)));
        case WM_CHAR: return on_char(window, wparam);
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_ENDCOMPOSITION: return on_composition(window, message, lparam);
        case WM_SYSKEYDOWN:
            // Alt+Left goes up; every other system key (Alt+F4, Alt+Space, F10) is Windows' own.
            if (wparam != VK_LEFT) return DEFAULT;
            return apply(window, key_down(app, surface, Key::Left, modifiers(true)));
        case WM_TIMER:
            if (wparam < TIMER_NOTICE || wparam > TIMER_FOLLOW) return DEFAULT;
            on_timer(window, wparam);
            return {};
        case WM_MOUSEMOVE:
            if (!window.leave_armed) {
                TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window.handle, 0};
                window.leave_armed = TrackMouseEvent(&track) != 0;
            }
            return apply(window, pointer_moved(app, surface, x, y));
        case WM_MOUSELEAVE: window.leave_armed = false; return apply(window, pointer_left(app));
        case WM_LBUTTONDOWN:
            return apply(window,
                         click(app, surface, target_at(app, surface, x, y), x, y,
                               Modifiers{(wparam & MK_CONTROL) != 0, (wparam & MK_SHIFT) != 0, false}));
        case WM_LBUTTONDBLCLK:
            return apply(window, double_click(app, surface, target_at(app, surface, x, y), x, y));
        case WM_LBUTTONUP: return apply(window, button_released(app));
        case WM_CAPTURECHANGED: return apply(window, capture_lost(app));
        case WM_RBUTTONUP: return apply(window, right_click(app, target_at(app, surface, x, y), x, y));
        case WM_CONTEXTMENU:
            // From the keyboard (the menu key, Shift+F10) the point is -1, -1; a right click on the frame
            // keeps Windows' own menu.
            if (lparam != -1) return DEFAULT;
            return apply(window, menu_key(app, surface));
        case WM_MOUSEWHEEL: {
            POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            ScreenToClient(window.handle, &point);
            return apply(window, wheel(app, surface, GET_WHEEL_DELTA_WPARAM(wparam),
                                       static_cast<float>(point.x), static_cast<float>(point.y)));
        }
        case WM_XBUTTONUP: {
            Answer answer = apply(window, side_button(app, surface));
            answer.result = TRUE;
            return answer;
        }
        case WM_DEVICECHANGE: on_drives_may_have_changed(window); return Answer{TRUE, false, std::nullopt};
        case MSG_SCAN_ENDED:
            finish_scan(app);
            state_changed(window);
            return {};
        case MSG_DUPLICATES_FOUND:
            finish_duplicates(app);
            state_changed(window);
            return {};
        case MSG_BASELINE_READ:
            finish_baseline(app);
            state_changed(window);
            return {};
        case MSG_DRIVES_LISTED:
            take_drives(app);
            state_changed(window);
            return {};
        case MSG_SCAN_SAVED:
            finish_save(app);
            state_changed(window);
            return {};
        case MSG_REFRESHED:
            finish_refresh(app);
            state_changed(window);
            return {};
        case MSG_DISK_CHANGED:
            *window.follow_posted = false;  // what comes after this is posted again
            // Nothing to draw yet: the folders that changed are only marked for listing, and what the
            // listings bring is drawn when they come.
            advance_following(app, FollowClock::now());
            follow_timers(window);
            return {};
        case MSG_ACCESS: return apply(window, next_access_action(window));
        case WM_GETOBJECT:
            if (const LRESULT provider = answer_get_object(window, wparam, lparam))
                return Answer{provider, false, std::nullopt};
            return DEFAULT;
        case MSG_UPDATE_CHECKED: return Answer{0, false, Command{CommandKind::UpdateChecked}};
        case MSG_DOWNLOAD_ENDED: return Answer{0, false, Command{CommandKind::DownloadEnded}};
        default: return DEFAULT;
    }
}

}  // namespace

Window* main_window() {
    return slot().get();
}

void set_main_window(std::unique_ptr<Window> window) {
    slot() = std::move(window);
}

void retire_main_window() {
    if (!slot()) return;
    close_access(*slot());
    cancel_scan(slot()->app);
    cancel_duplicates(slot()->app);
    retired() = std::move(slot());
}

void free_retired_window() {
    retired().reset();
}

Surface surface_of(const Window& window) {
    RECT client{};
    GetClientRect(window.handle, &client);
    Surface surface;
    surface.width = static_cast<float>(std::max(client.right - client.left, LONG{0}));
    surface.height = static_cast<float>(std::max(client.bottom - client.top, LONG{0}));
    surface.scale = static_cast<float>(window.dpi) / 96.0f;
    surface.tiles = &window.tiles;
    if (window.gfx) {
        const Gfx* gfx = window.gfx.get();
        surface.measure = [gfx](std::string_view text, TextStyle style) {
            return text_width(*gfx, text, style);
        };
    }
    return surface;
}

ViewInput view_input(const Window& window) {
    return view_input(window.app, surface_of(window));
}

void state_changed(Window& window) {
    clamp_scroll(window.app, surface_of(window));
    update_title(window);
    follow_timers(window);
    repaint(window);
}

void repaint(const Window& window) {
    InvalidateRect(window.handle, nullptr, FALSE);
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
            retire_main_window();
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            if (Window* window = main_window()) on_close(*window);
            DestroyWindow(handle);  // WM_DESTROY retires the state: nothing here touches it afterwards
            return 0;
        case WM_DPICHANGED: on_dpi_changed(handle, wparam, *reinterpret_cast<const RECT*>(lparam)); return 0;
        case WM_IME_SETCONTEXT:
            // The search field draws compositions itself: Windows' composition window is not wanted.
            return DefWindowProcW(
                handle, message, wparam,
                static_cast<LPARAM>(static_cast<ULONG_PTR>(lparam) & ~ISC_SHOWUICOMPOSITIONWINDOW));
        default: break;
    }
    Window* window = main_window();
    if (!window) {
        if (message == WM_PAINT) {
            ValidateRect(handle, nullptr);
            return 0;
        }
        return DefWindowProcW(handle, message, wparam, lparam);
    }
    const Answer answer = on_message(*window, message, wparam, lparam);
    // The handler is done with the state. Default processing (Windows' sizing, moving and system-menu
    // loops) and commands (menus, boxes, dialogs) may now dispatch messages that come back here.
    if (answer.command) run_command(*window, *answer.command);
    if (answer.default_processing) return DefWindowProcW(handle, message, wparam, lparam);
    return answer.result;
}

}  // namespace spadrim
