// A screen reader's side of a real window: the window procedure, the painter and the provider, driven
// through the UI Automation provider interfaces that a reader reaches through WM_GETOBJECT. Actions go
// to the main thread as messages, so each check pumps the queue until the window has done what was
// asked, within a bounded time.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>

#include "app/access/access_win.h"
#include "app/access/uia_win.h"
#include "app/window_win.h"
#include "gfx/gfx.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

constexpr wchar_t CLASS_NAME[] = L"Spadrim.AccessTest";

// Dispatches the window's messages until `done` holds; false after 10 s.
bool pump_until(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
    return true;
}

// The window Spadrim opens, 1000 × 700 at 96 DPI, showing the results of C:\r: "many" (40 files of 100
// bytes), "deep" with 7 bytes and a.txt of 50 bytes.
struct ReaderWindow {
    Window* state = nullptr;
    HWND handle = nullptr;

    ReaderWindow() {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.style = CS_DBLCLKS;
        window_class.lpfnWndProc = window_proc;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = CLASS_NAME;
        RegisterClassExW(&window_class);
        RECT outer{0, 0, 1000, 700};
        AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
        handle =
            CreateWindowExW(0, CLASS_NAME, L"Spadrim", WS_OVERLAPPEDWINDOW, 0, 0, outer.right - outer.left,
                            outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!handle) return;
        auto window = std::make_unique<Window>();
        window->handle = handle;
        window->gfx = create_gfx(handle, 96);
        App& app = window->app;
        app.tree = make_tree("C:\\r");
        FileTree& tree = *app.tree;
        append_listing(tree, 0,
                       std::vector<ListedEntry>{
                           {"many", 0, FLAG_DIR, 0}, {"deep", 0, FLAG_DIR, 0}, {"a.txt", 50, 0, 1}});
        std::vector<ListedEntry> files;
        for (int i = 0; i < 40; ++i)
            files.push_back(ListedEntry{(i < 10 ? "f0" : "f") + std::to_string(i), 100, 0, 3});
        append_listing(tree, 1, files);
        append_listing(tree, 2, std::vector<ListedEntry>{{"x.bin", 7, 0, 3}});
        roll_up(tree);
        app.screen = Screen::Results;
        refresh_view(app);
        state = window.get();
        set_main_window(std::move(window));
        ShowWindow(handle, SW_SHOWNOACTIVATE);
        state_changed(*state);
    }
    // The window's own provider, as a reader gets it from WM_GETOBJECT.
    ComPtr<IRawElementProviderFragment> root() const {
        ComPtr<IRawElementProviderSimple> simple;
        simple.Attach(root_provider(*state));
        ComPtr<IRawElementProviderFragment> fragment;
        simple->QueryInterface(__uuidof(IRawElementProviderFragment), &fragment);
        return fragment;
    }
    ReaderWindow(const ReaderWindow&) = delete;
    ReaderWindow& operator=(const ReaderWindow&) = delete;
    ~ReaderWindow() {
        if (handle) DestroyWindow(handle);
        MSG message;  // the window's WM_QUIT and whatever else it left
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        free_retired_window();
    }
};

using Fragment = ComPtr<IRawElementProviderFragment>;

Fragment go(const Fragment& from, NavigateDirection direction) {
    Fragment to;
    if (from) from->Navigate(direction, &to);
    return to;
}

// A text property, or what the call answered when it failed: "(gone)" for an element no longer there.
std::string text_property(IUnknown* element, PROPERTYID property) {
    ComPtr<IRawElementProviderSimple> simple;
    if (!element || FAILED(element->QueryInterface(__uuidof(IRawElementProviderSimple), &simple)))
        return "(none)";
    VARIANT value;
    const HRESULT answered = simple->GetPropertyValue(property, &value);
    if (answered == UIA_E_ELEMENTNOTAVAILABLE) return "(gone)";
    if (FAILED(answered) || value.vt != VT_BSTR) return "";
    std::string text = from_wide(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
    VariantClear(&value);
    return text;
}

std::string element_name(const Fragment& element) {
    return text_property(element.Get(), UIA_NamePropertyId);
}

long control_type_of(const Fragment& element) {
    ComPtr<IRawElementProviderSimple> simple;
    element->QueryInterface(__uuidof(IRawElementProviderSimple), &simple);
    VARIANT value;
    if (FAILED(simple->GetPropertyValue(UIA_ControlTypePropertyId, &value)) || value.vt != VT_I4) return 0;
    return value.lVal;
}

// The first element, depth first from `from`, with this name.
Fragment find(const Fragment& from, std::string_view name) {
    for (Fragment child = go(from, NavigateDirection_FirstChild); child;
         child = go(child, NavigateDirection_NextSibling)) {
        if (element_name(child) == name) return child;
        if (Fragment inner = find(child, name)) return inner;
    }
    return {};
}

template <typename Pattern>
ComPtr<Pattern> pattern_of(const Fragment& element, PATTERNID id) {
    ComPtr<IRawElementProviderSimple> simple;
    ComPtr<IUnknown> unknown;
    ComPtr<Pattern> pattern;
    if (element && SUCCEEDED(element->QueryInterface(__uuidof(IRawElementProviderSimple), &simple)) &&
        SUCCEEDED(simple->GetPatternProvider(id, &unknown)) && unknown)
        unknown->QueryInterface(__uuidof(Pattern), &pattern);
    return pattern;
}

bool is_selected(const Fragment& element) {
    BOOL selected = FALSE;
    const ComPtr<ISelectionItemProvider> item =
        pattern_of<ISelectionItemProvider>(element, UIA_SelectionItemPatternId);
    return item && SUCCEEDED(item->get_IsSelected(&selected)) && selected;
}

TEST(AccessWindow, AReaderWalksTheResultsAndActsThroughThePatterns) {
    ReaderWindow window;
    ASSERT_TRUE(window.handle);
    App& app = window.state->app;
    const Fragment root = window.root();
    ASSERT_TRUE(root);

    // The window is named by its title; the first elements are the header's.
    EXPECT_EQ(element_name(root), "C:\\r - Spadrim");
    Fragment first = go(root, NavigateDirection_FirstChild);
    EXPECT_EQ(element_name(first), "Home");
    EXPECT_EQ(control_type_of(first), UIA_ButtonControlTypeId);
    EXPECT_EQ(element_name(go(first, NavigateDirection_NextSibling)), "Up");
    EXPECT_FALSE(go(root, NavigateDirection_Parent)) << "the host stands above the window's provider";
    EXPECT_EQ(element_name(go(go(first, NavigateDirection_NextSibling), NavigateDirection_PreviousSibling)),
              "Home");

    // Boxes are on the screen, where the window is.
    const Fragment tab = find(root, "Largest files");
    ASSERT_TRUE(tab);
    EXPECT_EQ(control_type_of(tab), UIA_TabItemControlTypeId);
    UiaRect box{};
    ASSERT_EQ(tab->get_BoundingRectangle(&box), S_OK);
    POINT origin{0, 0};
    ClientToScreen(window.handle, &origin);
    const Box drawn = tab_box(view_input(*window.state), 1);
    EXPECT_DOUBLE_EQ(box.left, static_cast<double>(origin.x) + drawn.x);
    EXPECT_DOUBLE_EQ(box.top, static_cast<double>(origin.y) + drawn.y);
    ComPtr<IRawElementProviderFragmentRoot> fragment_root;
    ASSERT_EQ(root->QueryInterface(__uuidof(IRawElementProviderFragmentRoot), &fragment_root), S_OK);
    Fragment at_point;
    fragment_root->ElementProviderFromPoint(box.left + box.width / 2, box.top + box.height / 2, &at_point);
    EXPECT_EQ(element_name(at_point), "Largest files");

    // Invoking a tab chooses it; its SelectionItem says so once the window has drawn the change.
    const Fragment folder_row = find(root, "many, 3.91 KB, 98.6%");
    ASSERT_TRUE(folder_row);
    EXPECT_FALSE(is_selected(tab));
    const ComPtr<IInvokeProvider> press = pattern_of<IInvokeProvider>(tab, UIA_InvokePatternId);
    ASSERT_TRUE(press);
    EXPECT_EQ(press->Invoke(), S_OK);
    EXPECT_TRUE(pump_until([&] { return is_selected(tab); }));
    EXPECT_EQ(app.tab, Tab::LargestFiles);
    // The rows of the Folders tab went with it, and say so.
    EXPECT_EQ(element_name(folder_row), "(gone)");
    EXPECT_EQ(pattern_of<IInvokeProvider>(folder_row, UIA_InvokePatternId), nullptr);
    const Fragment file_row = find(root, "f39, 100 B, 2.5%");
    ASSERT_TRUE(file_row);
    EXPECT_EQ(text_property(file_row.Get(), UIA_HelpTextPropertyId), "C:\\r\\many");

    // Selecting a row selects its file; the focus is on the list, so the reader is told it is there.
    app.focus = Focus{FocusArea::List};
    const ComPtr<ISelectionItemProvider> pick =
        pattern_of<ISelectionItemProvider>(file_row, UIA_SelectionItemPatternId);
    ASSERT_TRUE(pick);
    EXPECT_EQ(pick->Select(), S_OK);
    EXPECT_TRUE(pump_until([&] { return is_selected(file_row); }));
    EXPECT_EQ(app.selection, 43u);
    Fragment focused;
    fragment_root->GetFocus(&focused);
    EXPECT_EQ(element_name(focused), "f39, 100 B, 2.5%");

    // Back on Folders, invoking a folder's row opens it, as a double-click does.
    pattern_of<IInvokeProvider>(find(root, "Folders"), UIA_InvokePatternId)->Invoke();
    ASSERT_TRUE(pump_until([&] { return app.tab == Tab::Folders && find(root, "deep, 7 B, 0.2%"); }));
    pattern_of<IInvokeProvider>(find(root, "deep, 7 B, 0.2%"), UIA_InvokePatternId)->Invoke();
    EXPECT_TRUE(pump_until([&] { return app.current_folder == 2; }));
    EXPECT_TRUE(pump_until([&] { return static_cast<bool>(find(root, "x.bin, 7 B, 100.0%")); }));

    // Disabled and impossible actions are refused at once.
    app.current_folder = 0;
    refresh_view(app);
    state_changed(*window.state);
    ASSERT_TRUE(pump_until([&] { return static_cast<bool>(find(root, "many, 3.91 KB, 98.6%")); }));
    EXPECT_EQ(pattern_of<IInvokeProvider>(find(root, "Up"), UIA_InvokePatternId)->Invoke(),
              UIA_E_ELEMENTNOTENABLED);
    EXPECT_EQ(pick->RemoveFromSelection(), UIA_E_INVALIDOPERATION);

    // The search field is an edit: its Value pattern reads and sets its text, which becomes the query.
    const Fragment field = find(root, "Search");
    ASSERT_TRUE(field);
    EXPECT_EQ(control_type_of(field), UIA_EditControlTypeId);
    const ComPtr<IValueProvider> value = pattern_of<IValueProvider>(field, UIA_ValuePatternId);
    ASSERT_TRUE(value);
    BOOL read_only = TRUE;
    EXPECT_EQ(value->get_IsReadOnly(&read_only), S_OK);
    EXPECT_FALSE(read_only);
    EXPECT_EQ(value->SetValue(L"ext:iso \uD55C"), S_OK);
    EXPECT_TRUE(pump_until([&] { return app.query_text == "ext:iso \xED\x95\x9C"; }));
    EXPECT_TRUE(
        pump_until([&] { return text_property(field.Get(), UIA_ValueValuePropertyId) == app.query_text; }));
    BSTR said = nullptr;
    ASSERT_EQ(value->get_Value(&said), S_OK);
    EXPECT_EQ(from_wide(std::wstring_view(said, SysStringLen(said))), app.query_text);
    SysFreeString(said);
    EXPECT_FALSE(pattern_of<IValueProvider>(find(root, "Menu"), UIA_ValuePatternId));
}

TEST(AccessWindow, SetsExpandTheBarHasItsValueAndAClosedWindowIsGone) {
    ReaderWindow window;
    ASSERT_TRUE(window.handle);
    App& app = window.state->app;
    const Fragment root = window.root();

    std::vector<NodeIndex> copies;
    for (NodeIndex i = 4; i < 44; ++i)
        copies.push_back(i);
    app.duplicates[0] = DuplicatesFound{{DuplicateSet{copies, 100, Digest{}, 3900}}, 0};
    app.tab = Tab::Duplicates;
    refresh_view(app);
    state_changed(*window.state);
    const std::string set_name = "40 copies · 100 B each · 3.81 KB wasted, 3.81 KB, 96.1%";
    ASSERT_TRUE(pump_until([&] { return static_cast<bool>(find(root, set_name)); }));
    const Fragment set = find(root, set_name);
    const ComPtr<IExpandCollapseProvider> opener =
        pattern_of<IExpandCollapseProvider>(set, UIA_ExpandCollapsePatternId);
    ASSERT_TRUE(opener);
    ExpandCollapseState state = ExpandCollapseState_LeafNode;
    opener->get_ExpandCollapseState(&state);
    EXPECT_EQ(state, ExpandCollapseState_Collapsed);
    EXPECT_EQ(opener->Expand(), S_OK);
    EXPECT_TRUE(pump_until([&] {
        ExpandCollapseState now = ExpandCollapseState_LeafNode;
        return SUCCEEDED(opener->get_ExpandCollapseState(&now)) && now == ExpandCollapseState_Expanded;
    }));
    EXPECT_EQ(app.duplicate_rows.size(), 41u);

    // The progress screen's bar, in percent.
    auto progress = std::make_shared<ScanProgress>();
    progress->bytes = 250;
    app.scan_job = ScanJob{"/r", std::nullopt, Clock::now(), progress, 7, 1000};
    app.screen = Screen::Scanning;
    state_changed(*window.state);
    ASSERT_TRUE(pump_until([&] { return static_cast<bool>(find(root, "Cancel")); }));
    Fragment bar;
    for (Fragment child = go(root, NavigateDirection_FirstChild); child;
         child = go(child, NavigateDirection_NextSibling)) {
        if (control_type_of(child) == UIA_ProgressBarControlTypeId) bar = child;
    }
    const ComPtr<IRangeValueProvider> range = pattern_of<IRangeValueProvider>(bar, UIA_RangeValuePatternId);
    ASSERT_TRUE(range);
    double value = 0;
    EXPECT_EQ(range->get_Value(&value), S_OK);
    EXPECT_DOUBLE_EQ(value, 25.0);
    EXPECT_EQ(range->SetValue(50), UIA_E_ELEMENTNOTENABLED);
    app.scan_job.reset();

    // Once the window is gone, so is every element, the window's own included.
    const Fragment cancel = find(root, "Cancel");
    DestroyWindow(window.handle);
    window.handle = nullptr;
    EXPECT_EQ(element_name(cancel), "(gone)");
    Fragment child;
    EXPECT_EQ(root->Navigate(NavigateDirection_FirstChild, &child), UIA_E_ELEMENTNOTAVAILABLE);
    EXPECT_EQ(pattern_of<IInvokeProvider>(cancel, UIA_InvokePatternId), nullptr);
}

}  // namespace
}  // namespace spadrim
