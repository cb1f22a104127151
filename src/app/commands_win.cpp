// The command dispatcher and the two pop-up menus: the main menu behind the header's Menu button and
// the item menu of a file or folder. Runs with the window state released by the procedure; the state is
// looked up again after every modal step, since the window may be gone.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/commands_win.h"
#include "app/input/actions.h"
#include "app/input/selection.h"
#include "app/recycle_win.h"
#include "app/settings_win.h"
#include "app/shell_win.h"
#include "app/startup.h"
#include "app/texts.h"
#include "app/updater/updater.h"
#include "config.h"
#include "kinds/kinds.h"
#include "kinds/times.h"
#include "scan/paths.h"
#include "strings/strings.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

enum MainItem : UINT {
    DRIVES = 1,
    CHOOSE_FOLDER = 2,
    ANALYZE_AGAIN = 3,
    ANALYZE_AS_ADMIN = 4,
    EMPTY_RECYCLE_BIN = 5,
    AUTO_UPDATE = 6,
    CHECK_UPDATES = 7,
    ABOUT = 8,
    MORE_APPS = 9,
    OPEN_SCAN_FILE = 10,
    EXPORT_LIST = 11,
    COMPARE_FILE = 12,
    REMEMBER_SCANS = 20,
    FORGET_SCANS = 21,
    FOLLOW_CHANGES = 22,
    FOLLOW_WINDOWS = 100,
    COMPARE_REMEMBERED = 200,  // and on, one per remembered scan of the root
};

enum ItemMenuItem : UINT {
    OPEN = 1,
    SHOW_IN_EXPLORER = 2,
    COPY_PATH = 3,
    RECYCLE = 4,
    LOOK_INSIDE = 5,
    ALL_BUT_NEWEST = 6,
    ALL_BUT_OLDEST = 7,
    ITEM_EXPORT_LIST = 8,
    ANALYZE_FOLDER = 9,
};

std::string export_list_text() {
    return std::string(tr("목록 내보내기…", "Export list…"));
}

// The nodes a command on `node` acts on: every selected one when it is one of them, else itself.
std::vector<NodeIndex> acted_on(const App& app, NodeIndex node) {
    if (is_selected(app, node)) return selected_in_order(app);
    return {node};
}

void add(HMENU menu, UINT id, const std::string& text, bool enabled = true, bool checked = false) {
    AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED) | (checked ? MF_CHECKED : 0), id,
                to_wide(text).c_str());
}

// Client floats to a screen point: truncated, NaN as 0, saturated to 32 bits.
POINT screen_point(HWND window, float x, float y) {
    const auto whole = [](float v) {
        if (std::isnan(v)) return LONG{0};
        return static_cast<LONG>(std::clamp(v, static_cast<float>(std::numeric_limits<LONG>::min()),
                                            static_cast<float>(std::numeric_limits<LONG>::max())));
    };
    POINT point{whole(x), whole(y)};
    ClientToScreen(window, &point);
    return point;
}

UINT show(HWND window, HMENU menu, float x, float y) {
    const POINT point = screen_point(window, x, y);
    const UINT id = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr));
    DestroyMenu(menu);
    return id;
}

// Says why on a tree read from a scan file, where the files are not at hand; true then.
bool refused_for_import(Window& window) {
    if (!imported(window.app)) return false;
    show_notice(window.app, std::string(not_on_this_pc_text()));
    state_changed(window);
    return true;
}

// The real path of a node for the shell, which takes plain paths; nothing, with a notice saying why,
// when Windows would read it as another item's ("report." as "report").
std::optional<std::string> exact_path(Window& window, NodeIndex node) {
    std::string path = real_path_of(*window.app.tree, node);
    if (plain_path_is_exact(path)) return path;
    show_notice(window.app, std::string(inexact_name_text()));
    state_changed(window);
    return std::nullopt;
}

void analyze_again(Window& window) {
    App& app = window.app;
    if (!app.tree || refused_for_import(window)) return;
    const std::string root = app.tree->root_path;
    start_scan(app, root, real_path_of(*app.tree, app.current_folder));
    state_changed(window);
}

void about(HWND owner) {
    const std::string text = "Spadrim\n" + std::string(VERSION) + "\n\n" +
                             std::string(tr("디스크를 무엇이 채우고 있는지 빠르게 보여 주는 무료 앱",
                                            "A free app that quickly shows what is filling your disk")) +
                             "\n\n" + std::string(tr(MAKER_SITE_KOREAN, MAKER_SITE));
    MessageBoxW(owner, to_wide(text).c_str(), L"Spadrim", MB_OK | MB_ICONINFORMATION);
}

void choose_language(Window& window, std::string_view code) {
    write_setting(SETTINGS_KEY, "Language", std::string(code));
    show_notice(window.app,
                std::string(tr("다음에 열 때 바뀝니다", "Takes effect the next time Spadrim opens")));
    state_changed(window);
}

// The remembered scans of the root on screen other than its own, newest first: what "Compare with…"
// offers besides any scan file.
std::vector<RememberedScan> comparable_scans(const App& app) {
    if (!app.tree || app.scans_folder.empty()) return {};
    std::vector<RememberedScan> scans = list_remembered(app.scans_folder);
    const std::uint64_t hash = root_hash(app.tree->root_path);
    std::erase_if(scans, [&](const RememberedScan& scan) {
        return scan.root_hash != hash || scan.when == app.tree->when;
    });
    constexpr std::size_t MOST = 20;
    if (scans.size() > MOST) scans.resize(MOST);
    return scans;
}

void toggle_remember_scans(Window& window) {
    window.app.remember_scans = !window.app.remember_scans;
    write_flag(L"RememberScans", window.app.remember_scans);
}

void forget_scans_asked(HWND handle) {
    const std::wstring question =
        to_wide(tr("기억한 스캔을 모두 지울까요? 그때부터 달라진 점을 더는 볼 수 없습니다.",
                   "Delete every remembered scan? Changes since then can no longer be shown."));
    const int answer =
        MessageBoxW(handle, question.c_str(), L"Spadrim", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    Window* window = main_window();  // the box's modal loop ran: look the state up again
    if (!window || answer != IDYES) return;
    forget_scans(window->app);
    state_changed(*window);
}

void main_menu(HWND handle, float x, float y) {
    Window* window = main_window();
    if (!window) return;
    const bool home = window->app.screen == Screen::Home;
    const bool results = window->app.tree && window->app.screen == Screen::Results && !imported(window->app);
    const std::uint64_t bin = window->app.recycle_bin_bytes;
    const std::string language = read_setting(SETTINGS_KEY, "Language").value_or("");
    const std::optional<std::uint32_t> auto_update = read_auto_update();
    const std::uint64_t generation = window->app.tree_generation;

    HMENU menu = CreatePopupMenu();
    add(menu, DRIVES, std::string(tr("드라이브 목록", "Drives")), !home);
    add(menu, CHOOSE_FOLDER, std::string(tr("폴더 고르기…", "Choose a folder…")) + "\tCtrl+O");
    add(menu, OPEN_SCAN_FILE, std::string(tr("스캔 파일 열기…", "Open a scan file…")));
    add(menu, ANALYZE_AGAIN, std::string(tr("다시 검사", "Analyze again")) + "\tF5", results);
    add(menu, ANALYZE_AS_ADMIN,
        std::string(tr("관리자 권한으로 다시 검사", "Analyze again as administrator")), results);
    add(menu, EXPORT_LIST, export_list_text(), window->app.tree && window->app.screen == Screen::Results);
    const std::vector<RememberedScan> earlier = comparable_scans(window->app);
    const bool compare = window->app.tree && window->app.screen == Screen::Results;
    HMENU compare_with = CreatePopupMenu();
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        add(compare_with, static_cast<UINT>(COMPARE_REMEMBERED + i),
            format_time(static_cast<std::uint32_t>(earlier[i].when)) + "  ·  " + format_size(earlier[i].size),
            true, earlier[i].file == window->app.baseline_file);
    }
    if (!earlier.empty()) AppendMenuW(compare_with, MF_SEPARATOR, 0, nullptr);
    add(compare_with, COMPARE_FILE, std::string(tr("스캔 파일…", "Scan file…")));
    AppendMenuW(menu, MF_POPUP | (compare ? 0 : MF_GRAYED), reinterpret_cast<UINT_PTR>(compare_with),
                to_wide(tr("비교 대상…", "Compare with…")).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    std::string empty(tr("휴지통 비우기", "Empty the Recycle Bin"));
    if (bin != 0) empty += " (" + format_size(bin) + ")";
    add(menu, EMPTY_RECYCLE_BIN, empty, bin != 0);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(menu, REMEMBER_SCANS, std::string(tr("스캔 기억하기", "Remember scans")), true,
        window->app.remember_scans);
    add(menu, FORGET_SCANS, std::string(tr("기억한 스캔 지우기…", "Forget remembered scans…")),
        !window->app.recent_scans.empty());
    add(menu, FOLLOW_CHANGES, std::string(tr("디스크 변경 사항 따라가기", "Follow changes on disk")), true,
        window->app.follow_changes);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    HMENU languages = CreatePopupMenu();
    add(languages, FOLLOW_WINDOWS, std::string(tr("Windows 언어 따라가기", "Follow Windows")), true,
        language.empty());
    AppendMenuW(languages, MF_SEPARATOR, 0, nullptr);
    for (std::size_t i = 0; i < LANGUAGES.size(); ++i) {
        add(languages, static_cast<UINT>(FOLLOW_WINDOWS + 1 + i), std::string(LANGUAGES[i].name), true,
            language == LANGUAGES[i].code);
    }
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(languages),
                to_wide(tr("언어", "Language")).c_str());
    add(menu, AUTO_UPDATE, std::string(tr("자동 업데이트", "Automatic updates")), true,
        !auto_update || *auto_update != 0);
    add(menu, CHECK_UPDATES, std::string(tr("업데이트 확인", "Check for updates")));
    add(menu, MORE_APPS, std::string(tr("Tarnwel의 다른 프로그램", "More apps from Tarnwel")));
    add(menu, ABOUT, std::string(tr("Spadrim 정보", "About Spadrim")));

    const UINT id = show(handle, menu, x, y);
    window = main_window();  // the menu's modal loop ran: look the state up again
    if (!window || id == 0) return;
    switch (id) {
        case DRIVES:
            go_home(window->app);
            state_changed(*window);
            break;
        case CHOOSE_FOLDER: run_command(*window, Command{CommandKind::ChooseFolder}); break;
        case OPEN_SCAN_FILE: run_command(*window, Command{CommandKind::OpenScanFile}); break;
        case EXPORT_LIST: run_command(*window, Command{CommandKind::ExportList}); break;
        case COMPARE_FILE: choose_baseline_file(*window); break;
        case ANALYZE_AGAIN: analyze_again(*window); break;
        case ANALYZE_AS_ADMIN:
            if (window->app.tree) {
                const std::string root = window->app.tree->root_path;
                // Destroyed directly, without WM_CLOSE: the elevated instance takes over.
                if (run_as_administrator(handle, root)) DestroyWindow(handle);
            }
            break;
        case EMPTY_RECYCLE_BIN: run_command(*window, Command{CommandKind::EmptyRecycleBin}); break;
        case AUTO_UPDATE: write_auto_update(read_auto_update() == 0u ? 1 : 0); break;
        case REMEMBER_SCANS: toggle_remember_scans(*window); break;
        case FOLLOW_CHANGES:
            window->app.follow_changes = !window->app.follow_changes;
            write_flag(L"FollowChanges", window->app.follow_changes);
            if (window->app.follow_changes) {
                start_following(window->app);
            } else {
                stop_following(window->app);
            }
            state_changed(*window);
            break;
        case FORGET_SCANS: forget_scans_asked(handle); break;
        case CHECK_UPDATES: start_update_check(*window, true); break;
        case ABOUT: about(handle); break;
        case MORE_APPS:
            ShellExecuteW(nullptr, L"open", to_wide(tr(MAKER_SITE_KOREAN, MAKER_SITE)).c_str(), nullptr,
                          nullptr, SW_SHOWNORMAL);
            break;
        default:
            if (id >= COMPARE_REMEMBERED && id < COMPARE_REMEMBERED + earlier.size()) {
                // Listed for the tree then on screen; a scan that ended meanwhile has another.
                if (window->app.tree && window->app.tree_generation == generation) {
                    start_baseline(window->app, earlier[id - COMPARE_REMEMBERED].file);
                    state_changed(*window);
                }
            } else if (id == FOLLOW_WINDOWS) {
                choose_language(*window, "");
            } else if (id > FOLLOW_WINDOWS && id <= FOLLOW_WINDOWS + LANGUAGES.size()) {
                choose_language(*window, LANGUAGES[id - FOLLOW_WINDOWS - 1].code);
            }
            break;
    }
}

// The item menu of a node, or of every selected node when it is one of many. The menu's loop may let a
// newer scan replace the tree: the node then names something else, and the choice is dropped.
void item_menu(Window& window, NodeIndex node, float x, float y) {
    App& app = window.app;
    if (!app.tree || node >= app.tree->nodes.size()) return;
    const bool folder = (node_at(*app.tree, node).flags & FLAG_DIR) != 0;
    const std::uint64_t generation = app.tree_generation;
    const std::vector<NodeIndex> nodes = acted_on(app, node);
    const bool one = nodes.size() == 1;  // opening and looking inside take one item
    HMENU menu = CreatePopupMenu();
    if (folder && one)
        add(menu, LOOK_INSIDE, std::string(tr("이 폴더 보기", "Look inside")) + "\tEnter",
            node != app.current_folder);
    const bool here = !imported(app);  // the files of a scan file are not on this PC
    add(menu, OPEN, std::string(tr("열기", "Open")), here && one);
    add(menu, SHOW_IN_EXPLORER, std::string(tr("파일 탐색기에서 보기", "Show in File Explorer")),
        here && one);
    add(menu, COPY_PATH, std::string(tr("경로 복사", "Copy path")) + "\tCtrl+C");
    add(menu, ITEM_EXPORT_LIST, export_list_text());
    // After the entries that were there before it, where hands used to the menu still find them.
    if (folder && one)
        add(menu, ANALYZE_FOLDER,
            std::string(tr("이 폴더 다시 검사", "Analyze this folder again")) + "\tShift+F5", here);
    if (const std::span<const NodeIndex> copies = set_members_of(app, node); !copies.empty()) {
        // Greyed while a copy's modified time is unknown: which is newest cannot be told.
        const bool dated = all_but(*app.tree, copies, Keep::Newest).has_value();
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        add(menu, ALL_BUT_NEWEST,
            std::string(tr("가장 최근 것만 빼고 모든 사본 선택", "Select all copies but the newest")), dated);
        add(menu, ALL_BUT_OLDEST,
            std::string(tr("가장 오래된 것만 빼고 모든 사본 선택", "Select all copies but the oldest")),
            dated);
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const std::vector<std::string> known = known_folders();
    const bool recyclable = std::any_of(nodes.begin(), nodes.end(), [&](NodeIndex n) {
        return can_recycle(app, n, environment_variable, known);
    });
    // Last, where Up from the menu's top finds it.
    add(menu, RECYCLE, std::string(tr("휴지통으로 보내기…", "Move to the Recycle Bin…")) + "\tDel",
        recyclable);
    if (!here) add(menu, 0, std::string(not_on_this_pc_text()), false);
    const std::string item_path = real_path_of(*app.tree, node);
    const UINT id = show(window.handle, menu, x, y);
    Window* current = main_window();
    if (!current || id == 0 || !current->app.tree) return;
    if (current->app.tree_generation != generation) {
        // The tree changed while the menu was open: a scan replaced it, or changes on disk reached it.
        // The choice acts on the item where it is now, or on nothing when it is gone.
        if (!one) return;  // many picked: which of them are still there is the user's to see again
        const FileTree& now = *current->app.tree;
        const NodeIndex again = find_path(now, item_path);
        if ((again == 0 && item_path != now.root_path) || is_removed(now, again) ||
            (node_at(now, again).flags & FLAG_DIR) != (folder ? FLAG_DIR : 0)) {
            show_notice(current->app, std::string(gone_item_text()));
            state_changed(*current);
            return;
        }
        node = again;
    }
    switch (id) {
        case LOOK_INSIDE:
            if (folder) {
                navigate(current->app, node, NO_NODE, list_geometry(current->app, surface_of(*current)));
                state_changed(*current);
            }
            break;
        case OPEN: run_command(*current, Command{CommandKind::OpenItem, node}); break;
        case COPY_PATH: run_command(*current, Command{CommandKind::CopyPath, node}); break;
        case RECYCLE: run_command(*current, Command{CommandKind::RecycleItem, node}); break;
        case SHOW_IN_EXPLORER:
            if (const std::optional<std::string> path = exact_path(*current, node)) show_in_explorer(*path);
            break;
        case ALL_BUT_NEWEST:
        case ALL_BUT_OLDEST:
            if (select_all_but(current->app, node, id == ALL_BUT_NEWEST ? Keep::Newest : Keep::Oldest))
                state_changed(*current);
            break;
        case ITEM_EXPORT_LIST: run_command(*current, Command{CommandKind::ExportList}); break;
        case ANALYZE_FOLDER:
            start_refresh(current->app, node);
            state_changed(*current);
            break;
        default: break;
    }
}

}  // namespace

void run_command(Window& window, const Command& command) {
    App& app = window.app;
    const bool has_node = app.tree && command.node < app.tree->nodes.size();
    switch (command.kind) {
        case CommandKind::ChooseFolder: choose_folder(window); break;
        case CommandKind::OpenScanFile: choose_scan_file(window); break;
        case CommandKind::AnalyzeAgain: analyze_again(window); break;
        case CommandKind::ShowMenu: main_menu(window.handle, command.x, command.y); break;
        case CommandKind::OpenItem:
            if (!has_node || refused_for_import(window)) break;
            if (const std::optional<std::string> path = exact_path(window, command.node)) open_item(*path);
            break;
        case CommandKind::CopyPath: {
            if (!has_node) break;
            const std::vector<NodeIndex> nodes = acted_on(app, command.node);
            std::string paths;
            for (const NodeIndex node : nodes) {
                if (!paths.empty()) paths += "\r\n";  // a line each, as Windows' text has them
                paths += real_path_of(*app.tree, node);
            }
            if (copy_path(window.handle, paths)) {
                show_notice(app, paths_copied_text(nodes.size()));
                state_changed(window);
            }
            break;
        }
        case CommandKind::ExportList: export_list(window); break;
        case CommandKind::EmptyRecycleBin: empty_recycle_bin(window); break;
        case CommandKind::RecycleItem: {
            if (!has_node || refused_for_import(window)) break;
            const std::vector<NodeIndex> nodes = acted_on(app, command.node);
            if (nodes.size() == 1) {
                recycle_item(window, command.node);
            } else {
                recycle_items(window, nodes);
            }
            break;
        }
        case CommandKind::UpdateChecked: take_update_outcome(window); break;
        case CommandKind::DownloadEnded: take_download_outcome(window); break;
        case CommandKind::ItemMenu: item_menu(window, command.node, command.x, command.y); break;
        case CommandKind::CopyFieldText:
        case CommandKind::CutFieldText: {
            const std::string selected = selected_text(app.search);
            if (selected.empty() || !copy_path(window.handle, selected)) break;
            if (command.kind == CommandKind::CutFieldText) {
                search_edited(app, surface_of(window), cut_selection(app.search));
                state_changed(window);
            }
            break;
        }
        case CommandKind::PasteIntoField:
            if (std::optional<std::string> text = clipboard_text(window.handle)) {
                // The field holds one line: line breaks and tabs become spaces.
                std::replace_if(
                    text->begin(), text->end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; },
                    ' ');
                search_edited(app, surface_of(window), insert_text(app.search, *text));
                state_changed(window);
            }
            break;
    }
}

}  // namespace spadrim
