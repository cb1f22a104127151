// The translation tables compiled into the program: one JSON object per language, mapping each English
// UI text to its translation. The source is src/strings/tables/<code>.json; the build embeds them.
#pragma once

#include <string_view>

namespace spadrim {

// The JSON text of the table for a language code; "{}" for en, ko and any code without a table.
std::string_view table_text(std::string_view code);

}  // namespace spadrim
