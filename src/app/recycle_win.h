// The Recycle Bin commands. Main thread, with the window state released (message boxes and the shell
// operation are modal).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/window_win.h"

namespace spadrim {

// The user's known folders where Windows says they are (Desktop, Documents, Downloads… and the system's
// and programs' folders), those it could name.
std::vector<std::string> known_folders();

// The protected-folder test with this process's environment and known folders.
bool is_protected_here(std::string_view path);

void recycle_item(Window& window, NodeIndex node);
// Many items with one question: the protected ones are named and left out first, nothing inside a
// folder that moves is moved again, the rest go one by one as recycle_item moves one, and a cancel in the
// shell's own dialog stops the rest. One notice counts what came of it.
void recycle_items(Window& window, const std::vector<NodeIndex>& nodes);
void empty_recycle_bin(Window& window);

}  // namespace spadrim
