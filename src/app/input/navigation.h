// Moving around the results: opening folders, going up, moving the selection with the keyboard, and
// the window title. Pure functions of the App and the list geometry, so the window procedure only
// decodes messages.
#pragma once

#include <cstdint>
#include <string>

#include "app/app.h"

namespace spadrim {

// The list geometry navigation needs: the viewport's height and the height of a row of the current tab.
struct ListGeometry {
    double viewport_height;
    double row_height;
};

// Opens folder (nothing when it is not a folder). With reveal, selects that child and scrolls its row to
// the middle of the list as far as the list allows.
void navigate(App& app, NodeIndex folder, NodeIndex reveal, const ListGeometry& list);

// To the parent of the current folder, revealing the folder we came from; nothing at the root.
void go_to_parent(App& app, const ListGeometry& list);

// The keys the window acts on, as the platform's key codes are decoded.
enum class Key : std::uint8_t {
    Other,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    Enter,
    Escape,
    Backspace,
    Delete,
    Tab,
    F5,
    Left,
    Right,
    Space,
    O,
    C,
    A,  // with Control: the search field's editing keys, and Ctrl+F to reach it
    F,
    V,
    X,
    Y,
    Z,
};

// Moves the selection with Up, Down, PageUp, PageDown, Home or End over the node rows of the current
// tab and scrolls it into view. Returns false for other keys, when there is no row to select, or when
// the only one found lies against the key's direction.
bool move_selection(App& app, Key key, const ListGeometry& list);

// "path - Spadrim" on the results, "root - Spadrim" while scanning, else "Spadrim".
std::string window_title(const App& app);

}  // namespace spadrim
