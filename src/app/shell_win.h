// The places where the program hands something to Windows: the folder picker, opening an item,
// showing it in File Explorer, copying its path, restarting elevated and opening a web page. Main
// thread only; none waits for what it launched, and failures are silent.
#pragma once

#include <string>

#include "app/window_win.h"

namespace spadrim {

void choose_folder(Window& window);
// The folder picker's sibling for scan files (*.json, *.json.gz); the chosen file is read as a Scan.
void choose_scan_file(Window& window);
// The same for an earlier scan to compare the results with ("Compare with…"): read on a worker.
void choose_baseline_file(Window& window);
// Export list…: asks where with the shell's Save dialog, writes the current tab's CSV beside that place
// and renames it into place; a notice says where it went or why it did not.
void export_list(Window& window);
void open_item(const std::string& path);
void show_in_explorer(const std::string& path);
// Puts the path (or paths, a line each) on the clipboard as Unicode text; true when it got there.
bool copy_path(HWND owner, const std::string& path);
// The clipboard's text, or nothing when it holds none or cannot be opened.
std::optional<std::string> clipboard_text(HWND owner);
// Starts this program elevated on root; true when it started.
bool run_as_administrator(HWND owner, const std::string& root);
void open_web_page(const std::string& address);

}  // namespace spadrim
