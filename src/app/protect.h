// The folders Spadrim refuses to move to the Recycle Bin: drive roots and anything that is or contains
// a folder Windows, installed programs or the user's profile rely on. Pure: the environment comes in
// through a lookup function and the known folders (Documents, Desktop… where Windows says they are: moved
// to another drive, a server or OneDrive) as a list, so the rule is tested on any machine.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace spadrim {

using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The path without trailing backslashes, in full Unicode lower case.
std::string normalised_path(std::string_view path);

bool is_protected(std::string_view path, const EnvironmentLookup& environment,
                  std::span<const std::string> known_folders = {});

}  // namespace spadrim
