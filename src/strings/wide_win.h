// UTF-8 <-> wchar_t text at the Windows API boundary. Convert at the call:
//   CreateFileW(to_wide(path).c_str(), ...)   // the temporary lives to the end of the full expression
// Windows builds only (wchar_t is UTF-16 there).
#pragma once

#include <string>
#include <string_view>

#include "strings/utf.h"

namespace spadrim {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is a UTF-16 code unit");

inline std::wstring to_wide(std::string_view text) {
    const std::u16string utf16 = utf16_from_utf8(text);
    return std::wstring(utf16.begin(), utf16.end());
}

inline std::string from_wide(std::wstring_view text) {
    return utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace spadrim
