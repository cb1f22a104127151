// UTF-8 <-> wchar_t text at the Windows API boundary. Convert at the call:
//   CreateFileW(to_wide(path).c_str(), ...)   // the temporary lives to the end of the full expression
// File names may hold unpaired surrogates. from_wide repairs them for showing; from_wide_exact keeps them
// (see wtf8_from_utf16), and to_wide restores them, so a real path makes the round trip unchanged.
// Windows builds only (wchar_t is UTF-16 there).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "strings/utf.h"

namespace spadrim {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is a UTF-16 code unit");

inline std::wstring to_wide(std::string_view text) {
    const std::u16string utf16 = utf16_from_wtf8(text);
    return std::wstring(utf16.begin(), utf16.end());
}

inline std::string from_wide(std::wstring_view text) {
    return utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

inline std::string from_wide_exact(std::wstring_view text) {
    return wtf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// The system's message for an error code, without its trailing line break; "Error N" when it has none.
inline std::string system_error_text(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length != 0 ? from_wide({buffer, length}) : "Error " + std::to_string(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// An environment variable of this process as UTF-8, or nothing when it is not set.
inline std::optional<std::string> environment_variable(const char* name) {
    const std::wstring wide_name = to_wide(name);
    const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
    if (length >= size) return std::nullopt;  // changed between the two calls
    value.resize(length);
    return from_wide(value);
}

// The program's arguments, without the program name, from the UTF-16 command line (main's argv would be
// in the ANSI code page). Exact forms: an argument may name a folder whose name is not valid UTF-16.
inline std::vector<std::string> command_line_arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(from_wide_exact(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace spadrim
