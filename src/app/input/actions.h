// What clicks, double-clicks, keys, the wheel and the pointer do to the App: functions of the App, the
// target under the pointer or the key with its modifiers, and the surface the list is measured on. They
// read no window-system state; the window decodes a message, calls one of these and applies the
// Reaction (repaint, capture, the command to run afterwards).
#pragma once

#include <optional>
#include <vector>

#include "app/app.h"
#include "app/commands.h"
#include "app/input/navigation.h"
#include "app/paint/layout.h"
#include "app/protect.h"

namespace spadrim {

// The window's side of the view: client size, scale, the cached treemap layout and a text measurer.
struct Surface {
    float width = 0;
    float height = 0;
    float scale = 1;
    const std::vector<TreemapRect>* tiles = nullptr;
    MeasureText measure;  // empty while there is no graphics device
};

// The view as the layout sees it, for the App's current state.
ViewInput view_input(const App& app, const Surface& surface);

// The list's viewport and row height for the App's current tab.
ListGeometry list_geometry(const App& app, const Surface& surface);

struct Reaction {
    bool changed = false;            // the view changed: title, timers and a repaint follow
    std::optional<Command> command;  // run once the handler is done
    bool capture = false;            // a thumb drag began: keep the pointer while it leaves the window
    bool release = false;            // the drag ended: give the pointer back
};

struct Modifiers {
    bool control = false;
    bool shift = false;
    bool alt = false;
};

Reaction click(App& app, const Surface& surface, HitTarget target, float x, float y);
// A double-click where it means something (open a folder, reveal a file, toggle a set); elsewhere the
// second click of a quick pair, handled as a click.
Reaction double_click(App& app, const Surface& surface, HitTarget target, float x, float y);
Reaction key_down(App& app, const Surface& surface, Key key, Modifiers modifiers);
// Text typed (a character from the keyboard, or an input method's committed text): into the search field
// when it has the focus, or, for printable text while the list has it, into the field, which takes the
// focus. Control characters are left to key_down.
Reaction type_text(App& app, const Surface& surface, std::string_view text);
// An input method's composition (empty when it ends), shown at the caret but not yet the field's text.
// False when the field does not take it (the focus is neither in it nor in the list).
bool compose(App& app, std::string_view composition);
// The caret of the search field in client pixels (1 wide, the field's height), where an input method's
// windows go; nothing off the results or without a way to measure text.
std::optional<Box> search_caret(const App& app, const Surface& surface);
// The search field's text changed (a reader's SetValue, a paste): the query follows it.
Reaction search_edited(App& app, const Surface& surface, FieldChange change);

// The item menu of the node under the pointer, which becomes the selection.
Reaction right_click(App& app, HitTarget target, float x, float y);
// The context-menu key or Shift+F10: the item menu of the selection, at the selected row (the list's
// top while the row is scrolled away) or, with the keyboard in the treemap, its tile. Nothing without
// a selection.
Reaction menu_key(App& app, const Surface& surface);
// A mouse side button: to the parent folder.
Reaction side_button(App& app, const Surface& surface);
// A wheel turn of delta (120 per notch) with the pointer at a client point.
Reaction wheel(App& app, const Surface& surface, int delta, float x, float y);
Reaction pointer_moved(App& app, const Surface& surface, float x, float y);
Reaction pointer_left(App& app);
Reaction button_released(App& app);
// Another window took the pointer (a message box, a menu): a thumb drag ends without a button-up.
Reaction capture_lost(App& app);

// Cancels what runs and shows the drives. A cancelled scan's outcome arrives later and is dropped: the
// drives stay on screen.
void go_home(App& app);

// Keeps the scroll offset within [0, the list's maximum] after rows or the window changed.
void clamp_scroll(App& app, const Surface& surface);

// Whether the item menu offers "Move to the Recycle Bin…" for a node: never for the scanned root, nor
// for folders that Windows, programs or the user account rely on.
bool can_recycle(const App& app, NodeIndex node, const EnvironmentLookup& environment,
                 std::span<const std::string> known_folders = {});

}  // namespace spadrim
