// The Recycle Bin commands. Main thread, with the window state released (message boxes and the shell
// operation are modal).
#pragma once

#include <string_view>

#include "app/window_win.h"

namespace spadrim {

// The protected-folder test with this process's environment.
bool is_protected_here(std::string_view path);

void recycle_item(Window& window, NodeIndex node);
void empty_recycle_bin(Window& window);

}  // namespace spadrim
