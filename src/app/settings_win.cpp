// Registry settings and the Explorer verb. See settings_win.h.
#include "app/settings_win.h"

#include "app/startup.h"
#include "strings/strings.h"
#include "strings/wide_win.h"

namespace spadrim {
std::optional<std::string> module_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return from_wide(path);
        }
        path.resize(path.size() * 2);
    }
}

std::optional<std::string> read_setting(const char* key, const char* name) {
    const std::wstring wide_key = to_wide(key);
    const std::wstring wide_name = to_wide(name);
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, wide_key.c_str(), wide_name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(size / 2 + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, wide_key.c_str(), wide_name.c_str(), RRF_RT_REG_SZ, nullptr,
                     text.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return from_wide(text);
}

void write_setting(const char* key, const char* name, const std::string& text) {
    const std::wstring wide = to_wide(text);
    RegSetKeyValueW(HKEY_CURRENT_USER, to_wide(key).c_str(), *name ? to_wide(name).c_str() : nullptr, REG_SZ,
                    wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::uint32_t> read_auto_update() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"AutoUpdate", RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void write_auto_update(std::uint32_t value) {
    const DWORD data = value;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"AutoUpdate", REG_DWORD, &data, sizeof data);
}

bool read_flag(const wchar_t* name, bool default_on) {
    DWORD value = default_on ? 1 : 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return default_on;
    }
    return value != 0;
}

void write_flag(const wchar_t* name, bool on) {
    const DWORD data = on ? 1 : 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", name, REG_DWORD, &data, sizeof data);
}

std::optional<std::vector<unsigned char>> read_placement() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"Placement", RRF_RT_REG_BINARY, nullptr,
                     nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<unsigned char> data(size);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"Placement", RRF_RT_REG_BINARY, nullptr,
                     data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

void write_placement(const WINDOWPLACEMENT& placement) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"Placement", REG_BINARY, &placement,
                    sizeof placement);
}

bool dark_theme() {
    DWORD light = 1;
    DWORD size = sizeof light;
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                     L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
    return status == ERROR_SUCCESS && light == 0;
}

void register_verb() {
    const std::optional<std::string> exe = module_path();
    if (!exe) return;
    const std::string label(tr("Spadrim으로 공간 보기", "Analyze space with Spadrim"));
    for (const VerbKey& verb : VERB_KEYS) {
        const std::string command = verb_command(*exe, verb.placeholder);
        const std::string command_key = std::string(verb.key) + "\\command";
        if (read_setting(command_key.c_str(), "") == command && read_setting(verb.key, "MUIVerb") == label)
            continue;
        write_setting(verb.key, "MUIVerb", label);
        write_setting(verb.key, "Icon", "\"" + *exe + "\",0");
        write_setting(command_key.c_str(), "", command);
    }
}

void unregister() {
    for (const VerbKey& verb : VERB_KEYS)
        RegDeleteTreeW(HKEY_CURRENT_USER, to_wide(verb.key).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, to_wide(SETTINGS_KEY).c_str());
}

}  // namespace spadrim
