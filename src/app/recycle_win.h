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
void empty_recycle_bin(Window& window);

}  // namespace spadrim
