// The window's UI Automation provider: hands the description of the screen to screen readers as a tree
// of elements, and turns their Invoke, Select, Expand and Collapse into the clicks they stand for.
//
// Readers call providers on threads of their own. Those threads never touch the App: they read a
// snapshot of the description that the main thread replaces after each frame, and they queue actions
// for the main thread, which does them as it does a click. Nothing is described until a reader has
// asked for the window once, so a user without one pays nothing.
#pragma once

#include <windows.h>

#include <memory>

#include "app/access/access.h"

struct IRawElementProviderSimple;

namespace spadrim {

struct Window;

// The window's own provider, the root of the tree (a new reference): from here on the window keeps its
// description up to date.
IRawElementProviderSimple* root_provider(Window& window);

// WM_GETOBJECT: the root provider when UI Automation asks for it; nothing (0) for other requests,
// which then go to DefWindowProcW.
LRESULT answer_get_object(Window& window, WPARAM wparam, LPARAM lparam);

// After a frame was painted: a new snapshot, and the focus, structure and notice events of what
// changed. Nothing until a reader has asked for the window.
void update_access(Window& window);

// MSG_ACCESS: does the oldest action a reader asked for, as the matching click would.
Reaction next_access_action(Window& window);

// WM_DESTROY: every provider handed out answers that its element is gone from now on.
void close_access(Window& window);

}  // namespace spadrim
