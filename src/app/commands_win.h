// The command dispatcher and the two pop-up menus.
#pragma once

#include "app/commands.h"
#include "app/window_win.h"

namespace spadrim {

// Runs a command. Called only once the handler that asked for it has finished with the state: commands
// open menus, dialogs and message boxes whose modal loops dispatch messages of their own, and after each
// such step the state is looked up again.
void run_command(Window& window, const Command& command);

}  // namespace spadrim
