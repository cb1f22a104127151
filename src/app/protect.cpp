// Protected folders. See protect.h.
#include "app/protect.h"

#include <vector>

#include "strings/case.h"

namespace spadrim {
namespace {

constexpr const char* ROOT_VARIABLES[] = {"SystemRoot",   "ProgramFiles",     "ProgramFiles(x86)",
                                          "ProgramW6432", "ProgramData",      "USERPROFILE",
                                          "APPDATA",      "LOCALAPPDATA",     "PUBLIC",
                                          "OneDrive",     "OneDriveConsumer", "OneDriveCommercial"};
constexpr const char* PROFILE_FOLDERS[] = {"Desktop",  "Documents", "Downloads", "Pictures", "Music",
                                           "Videos",   "AppData",   "Favorites", "Contacts", "Saved Games",
                                           "Searches", "Links",     "OneDrive"};

}  // namespace

std::string normalised_path(std::string_view path) {
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return lower_case(path);
}

bool is_protected(std::string_view path, const EnvironmentLookup& environment,
                  std::span<const std::string> known_folders) {
    const std::string target = normalised_path(path);
    if (target.size() <= 2) return true;  // a drive root ("c:") or nothing at all

    std::vector<std::string> roots(known_folders.begin(), known_folders.end());
    for (const char* name : ROOT_VARIABLES) {
        if (std::optional<std::string> value = environment(name)) roots.push_back(std::move(*value));
    }
    if (const std::optional<std::string> profile = environment("USERPROFILE")) {
        for (const char* folder : PROFILE_FOLDERS)
            roots.push_back(*profile + "\\" + folder);
    }
    for (const std::string& root : roots) {
        const std::string protected_root = normalised_path(root);
        if (protected_root.empty()) continue;
        if (target == protected_root) return true;
        // The path holds a protected folder somewhere below it.
        if (protected_root.size() > target.size() && protected_root.starts_with(target) &&
            protected_root[target.size()] == '\\') {
            return true;
        }
    }
    return false;
}

}  // namespace spadrim
