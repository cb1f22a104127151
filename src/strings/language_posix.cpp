// The language a POSIX environment asks for: the first of LC_ALL, LC_MESSAGES and LANG that is set.
#include <cstdlib>

#include "strings/language.h"

namespace spadrim {

std::string_view detect_language() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read once, before threads
        if (value && *value) return language_from_locale(value);
    }
    return "en";
}

}  // namespace spadrim
