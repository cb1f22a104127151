// The language Windows asks for: Spadrim's stored "Language" setting, else the display language.
#include <windows.h>

#include <string>

#include "strings/language.h"
#include "strings/wide_win.h"

namespace spadrim {

std::string_view detect_language() {
    wchar_t buffer[64];
    DWORD size = sizeof buffer;
    std::optional<std::string> setting;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Spadrim", L"Language", RRF_RT_REG_SZ, nullptr, buffer,
                     &size) == ERROR_SUCCESS) {
        setting = from_wide(buffer);
    }
    return language_from_windows(setting, GetUserDefaultUILanguage());
}

}  // namespace spadrim
