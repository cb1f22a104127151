// Tests read the English texts: fix the language before any test asks for a string, whatever the
// machine's own language is.
#include "strings/strings.h"

namespace {
const bool ENGLISH = spadrim::choose_language("en");
}  // namespace
