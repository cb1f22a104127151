// What a screen reader in another process is told about Spadrim's window: asks the running window for its
// UI Automation elements through the client API (UiaNodeFromHandle, UiaNavigate, UiaGetPropertyValue) and
// prints the tree, one element per line, indented by depth:
//
//     Button "Menu" [focused] [disabled] [live] help="..." value="..."
//
// Usage: uia_probe.exe [WINDOW_CLASS]. Like a reader, it holds on to the elements it met. Each line on
// standard input asks for one print, ended by a line ".":
//   "dump"   walks the whole tree again;
//   "top"    walks the window and its children only, quicker;
//   "again"  asks the elements of the last walk for their properties again, without walking: what a
//            reader that caches the tree does when only states change (the focus, a selection).
// It ends at "quit" or the end of input. Exit code 2 when no window is found, 3 when UI Automation answers
// nothing. Wine 8 implements this much of the client API, not the patterns (see access_test.py).
//
// Under Wine 8 each step of a walk may hang the window's COM for good: the client lets go of a provider
// it borrowed for the step, the window's last stub of that interface goes, and unregistering it races
// with the call just answered (rpcrt4 sets the "calls completed" event only if it already exists).
// Property reads borrow nothing, so "again" is safe; the tests walk only when the tree changed.
#include <windows.h>

#include <ole2.h>
#include <uiautomationclient.h>
#include <uiautomationcore.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The client API's own declarations; the mingw-w64 10 header that holds them cannot be compiled as C++.
DECLARE_HANDLE(HUIANODE);
enum ProbeConditionType {
    CONDITION_TRUE = 0
};
struct UiaCondition {
    int ConditionType;
};
struct UiaCacheRequest {
    UiaCondition* pViewCondition;
    int Scope;  // TreeScope_Element = 1
    PROPERTYID* pProperties;
    int cProperties;
    PATTERNID* pPatterns;
    int cPatterns;
    int automationElementMode;  // AutomationElementMode_Full = 1
};

namespace {

using NodeFromHandle = HRESULT(WINAPI*)(HWND, HUIANODE*);
using NodeRelease = BOOL(WINAPI*)(HUIANODE);
using GetPropertyValue = HRESULT(WINAPI*)(HUIANODE, PROPERTYID, VARIANT*);
using Navigate = HRESULT(WINAPI*)(HUIANODE, NavigateDirection, UiaCondition*, UiaCacheRequest*, SAFEARRAY**,
                                  BSTR*);
using NodeFromVariant = HRESULT(WINAPI*)(VARIANT*, HUIANODE*);

struct Client {
    NodeFromHandle node_from_handle = nullptr;
    NodeRelease release = nullptr;
    GetPropertyValue property = nullptr;
    Navigate navigate = nullptr;
    NodeFromVariant node_from_variant = nullptr;
};
Client api;
// Every node met, released only at the end. Under Wine 8, a client that lets go of nodes while it goes on
// asking can deadlock the window's COM worker (releasing an interface's last stub waits for calls in
// flight); readers keep what they met cached, and so does this one.
std::vector<HUIANODE> held;

template <typename F>
F proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string utf8(const wchar_t* text, UINT length) {
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    return out;
}

std::string text_of(HUIANODE node, PROPERTYID property) {
    VARIANT value;
    VariantInit(&value);
    std::string text;
    if (SUCCEEDED(api.property(node, property, &value)) && value.vt == VT_BSTR && value.bstrVal)
        text = utf8(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

long number_of(HUIANODE node, PROPERTYID property, long otherwise) {
    VARIANT value;
    VariantInit(&value);
    long number = otherwise;
    if (SUCCEEDED(api.property(node, property, &value))) {
        if (value.vt == VT_I4) number = value.lVal;
        if (value.vt == VT_BOOL) number = value.boolVal ? 1 : 0;
    }
    VariantClear(&value);
    return number;
}

const char* type_name(long type) {
    switch (type) {
        case 50000: return "Button";
        case 50004: return "Edit";
        case 50005: return "Hyperlink";
        case 50007: return "ListItem";
        case 50008: return "List";
        case 50012: return "ProgressBar";
        case 50017: return "StatusBar";
        case 50018: return "Tab";
        case 50019: return "TabItem";
        case 50020: return "Text";
        case 50026: return "Group";
        case 50032: return "Window";
        case 50033: return "Pane";
        default: return "Other";
    }
}

// The node in that direction, or null.
HUIANODE step(HUIANODE from, NavigateDirection direction) {
    UiaCondition any{CONDITION_TRUE};
    UiaCacheRequest request{&any, 1, nullptr, 0, nullptr, 0, 1};
    SAFEARRAY* found = nullptr;
    BSTR shape = nullptr;
    HUIANODE node = nullptr;
    if (SUCCEEDED(api.navigate(from, direction, &any, &request, &found, &shape)) && found) {
        LONG at[2] = {0, 0};  // row 0, column 0: the node
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(SafeArrayGetElement(found, at, &value))) api.node_from_variant(&value, &node);
        VariantClear(&value);
    }
    if (found) SafeArrayDestroy(found);
    SysFreeString(shape);
    return node;
}

void quoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c == '\n' ? ' ' : c;
    }
    out += '"';
}

struct Met {
    HUIANODE node;
    int depth;
};
std::vector<Met> last_walk;

void print_one(HUIANODE node, int depth) {
    std::string line(static_cast<std::size_t>(depth) * 2, ' ');
    line += type_name(number_of(node, UIA_ControlTypePropertyId, 0));
    line += ' ';
    quoted(line, text_of(node, UIA_NamePropertyId));
    if (number_of(node, UIA_HasKeyboardFocusPropertyId, 0)) line += " [focused]";
    if (!number_of(node, UIA_IsEnabledPropertyId, 1)) line += " [disabled]";
    if (number_of(node, UIA_LiveSettingPropertyId, 0) > 0) line += " [live]";
    if (const std::string help = text_of(node, UIA_HelpTextPropertyId); !help.empty()) {
        line += " help=";
        quoted(line, help);
    }
    if (number_of(node, UIA_IsValuePatternAvailablePropertyId, 0)) {
        line += " value=";
        quoted(line, text_of(node, UIA_ValueValuePropertyId));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// The element and what lies under it, down to `deepest` levels below the window.
void print(HUIANODE node, int depth, int deepest) {
    print_one(node, depth);
    last_walk.push_back({node, depth});
    if (depth >= deepest) return;
    for (HUIANODE child = step(node, NavigateDirection_FirstChild); child;
         child = step(child, NavigateDirection_NextSibling)) {
        held.push_back(child);
        print(child, depth + 1, deepest);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* window_class = argc > 1 ? argv[1] : L"Spadrim.Main";
    const HWND window = FindWindowW(window_class, nullptr);
    if (!window) {
        std::fputs("no window\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HMODULE module = LoadLibraryW(L"uiautomationcore.dll");
    if (!module) return 3;
    api.node_from_handle = proc<NodeFromHandle>(module, "UiaNodeFromHandle");
    api.release = proc<NodeRelease>(module, "UiaNodeRelease");
    api.property = proc<GetPropertyValue>(module, "UiaGetPropertyValue");
    api.navigate = proc<Navigate>(module, "UiaNavigate");
    api.node_from_variant = proc<NodeFromVariant>(module, "UiaHUiaNodeFromVariant");
    HUIANODE root = nullptr;
    if (!api.node_from_handle || FAILED(api.node_from_handle(window, &root)) || !root) {
        std::fputs("UI Automation gave no node for the window\n", stderr);
        return 3;
    }
    char command[64];
    while (std::fgets(command, sizeof command, stdin) && std::strncmp(command, "quit", 4) != 0) {
        if (std::strncmp(command, "dump", 4) == 0 || std::strncmp(command, "top", 3) == 0) {
            last_walk.clear();
            print(root, 0, command[0] == 'd' ? 1000 : 1);
        }
        if (std::strncmp(command, "again", 5) == 0)
            for (const Met& met : last_walk)
                print_one(met.node, met.depth);
        std::fputs(".\n", stdout);
        std::fflush(stdout);
    }
    for (HUIANODE node : held)
        api.release(node);
    api.release(root);
    return 0;
}
