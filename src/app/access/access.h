// What a screen reader is told about the drawn window: a description of every element on the current
// screen (its role, name, help text, box, states and children), computed from the App and the same layout
// the painters use, and the actions a reader can take on an element, done as the matching click would.
// Pure functions of the state, so what is announced is tested without a window; the Windows side only
// hands the description out through UI Automation (access_win.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/hit.h"
#include "app/input/actions.h"
#include "app/paint/layout.h"

namespace spadrim {

enum class Role : std::uint8_t {
    Window,
    Button,
    Link,
    Text,
    Group,
    TabList,
    TabItem,
    List,
    ListItem,
    ProgressBar,
    StatusBar,
    Edit,
};

// Which thing an element stands for. With `item` (a button's HitKind, a drive's index, a tab, a row, a
// node, a kind) and `era` (the generation that item belongs to) it names the element for as long as it
// exists: a row of one refresh of the list is not the row of the next, a tile belongs to one tree.
enum class Piece : std::uint8_t {
    Window,
    HeaderButton,
    Crumb,
    SearchField,
    Heading,
    Tagline,
    DriveCard,
    FolderCard,
    RecycleFigure,
    RecycleButton,
    ScanFolder,
    Figures,
    ScanBar,
    ScanPath,
    Elapsed,
    Cancel,
    Tabs,
    Tab,
    List,
    Row,
    ListMessage,
    Warning,
    Treemap,
    Tile,
    TreemapMessage,
    Highlight,
    Legend,
    LegendEntry,
    Status,
    Notice,
    FoundSort,       // the Found list's sort control
    QueryError,      // why the search field's text cannot be read
    ChangesSort,     // the Changes list's sort control
    RecentHeading,   // "Recent scans" on the home screen
    RecentScan,      // a remembered scan's row there
    CompareWithNow,  // that row's second action
};

struct ElementKey {
    Piece piece = Piece::Window;
    std::uint64_t item = 0;
    std::uint64_t era = 0;
    bool operator==(const ElementKey&) const = default;
};

// States.
inline constexpr std::uint8_t SELECTED = 1;
inline constexpr std::uint8_t FOCUSED = 2;  // holds the keyboard focus within the window
inline constexpr std::uint8_t EXPANDED = 4;
inline constexpr std::uint8_t DISABLED = 8;

// What a reader can do with an element.
inline constexpr std::uint8_t CAN_INVOKE = 1;
inline constexpr std::uint8_t CAN_SELECT = 2;
inline constexpr std::uint8_t CAN_EXPAND = 4;
inline constexpr std::uint8_t LIVE = 8;       // announced when it appears or changes, without taking focus
inline constexpr std::uint8_t CAN_EDIT = 16;  // its text (`value`) can be set
inline constexpr std::uint8_t CAN_SELECT_MANY = 32;  // a list whose rows are selected together

inline constexpr std::uint32_t NO_ELEMENT = UINT32_MAX;

struct Element {
    ElementKey key;
    Role role = Role::Text;
    std::string name;
    std::string help;  // said after the name: a row's folder, a card's second line
    Box box;
    std::uint8_t states = 0;
    std::uint8_t abilities = 0;
    std::optional<double> fraction;  // a progress bar's value, 0 to 1, when it is known
    std::string value;               // an edit's text
    HitTarget target;                // what a click on the element hits
    std::uint32_t parent = NO_ELEMENT;
    std::uint32_t first_child = NO_ELEMENT;
    std::uint32_t last_child = NO_ELEMENT;
    std::uint32_t next = NO_ELEMENT;
    std::uint32_t previous = NO_ELEMENT;
};

// The elements of one screen in document order; the first is the window, parent of everything else.
struct ScreenDescription {
    std::vector<Element> elements;
};

// The screen as it would be painted now. `in` comes from view_input, with the cached treemap layout.
ScreenDescription describe(const App& app, const ViewInput& in);

// The index of the element with this key, or NO_ELEMENT.
std::uint32_t find_element(const ScreenDescription& screen, const ElementKey& key);

// The element holding the keyboard focus, or NO_ELEMENT when nothing within the window does.
std::uint32_t focused_element(const ScreenDescription& screen);

// What changed between two descriptions that a reader must hear about: the elements came or went (a new
// screen, tab, folder or scroll position), the keyboard focus moved to another element, a new notice.
struct ScreenChanges {
    bool structure = false;
    std::optional<ElementKey> focus;
    std::optional<ElementKey> notice;
};
ScreenChanges changes_between(const ScreenDescription& before, const ScreenDescription& after);

enum class Act : std::uint8_t {
    Invoke,
    Select,
    Expand,
    Collapse,
    Menu,
    SetValue,
    Add,     // to the selection: a Ctrl+click on a row of a list of nodes, else as Select
    Remove,  // from the selection: a Ctrl+click on a selected row of such a list
};

// Does `act` to the element with this key as the matching click would: Invoke presses a button, card,
// tab or link, opens a row's or tile's folder (a double-click) and expands or collapses a set; Select
// selects a row or tile; Expand and Collapse open and close a duplicate set; Menu opens the item menu of
// a row's or tile's node, as a right click on it does; SetValue replaces an edit's text with `value`, as
// typing it would. Nothing when the element is gone, disabled or cannot do that.
Reaction act_on(App& app, const Surface& surface, const ElementKey& key, Act act,
                std::string_view value = {});

}  // namespace spadrim
