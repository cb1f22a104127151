// The automatic and manual update checks. The check itself (manifest download and comparison) comes with
// the updater; start-up and the main menu already call here.
#pragma once

namespace spadrim {

struct Window;

// Starts an update check on a worker thread that reports with WM_APP+2.
void start_update_check(Window& window, bool manual);

}  // namespace spadrim
