// Spadrim's settings and its Explorer verb in the current user's registry. Every call reads or writes
// the registry afresh; failed writes are ignored, failed reads give nothing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spadrim {

std::optional<std::string> read_setting(const char* key, const char* name);
void write_setting(const char* key, const char* name, const std::string& text);
std::optional<std::uint32_t> read_auto_update();
void write_auto_update(std::uint32_t value);
// A switch of the main menu kept as a DWORD value under Spadrim's key: "Remember scans" is
// RememberScans, "Follow changes on disk" FollowChanges; both on unless turned off.
bool read_flag(const wchar_t* name, bool default_on);
void write_flag(const wchar_t* name, bool on);
std::optional<std::vector<unsigned char>> read_placement();
void write_placement(const WINDOWPLACEMENT& placement);

// This program's full path, or nothing when it cannot be told.
std::optional<std::string> module_path();

// Windows apps use the dark theme ("AppsUseLightTheme" reads 0).
bool dark_theme();

// Points the three Explorer verbs at this program, writing only what is not current already.
void register_verb();
// Removes the verbs and the settings key.
void unregister();

}  // namespace spadrim
