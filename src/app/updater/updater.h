// Update checks and installer downloads. Workers fetch with the system's curl, verify what arrived and
// leave their outcome in a mailbox; the window takes it on WM_APP+2 / WM_APP+3, with the state released
// (the question and the launch are modal or end the window).
#pragma once

#include "updater/manifest.h"

namespace spadrim {

struct Window;

// Starts an update check on a worker thread that reports with WM_APP+2. A manual check says so first
// and reports every outcome; an automatic one speaks only of a newer version.
void start_update_check(Window& window, bool manual);
void take_update_outcome(Window& window);

// Downloads and verifies the installer on a worker thread that reports with WM_APP+3.
void start_download(Window& window, const UpdateManifest& manifest);
// Starts a verified installer and closes the window, or shows why the download was refused.
void take_download_outcome(Window& window);

}  // namespace spadrim
