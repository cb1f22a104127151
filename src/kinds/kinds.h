// File kinds and the text forms of sizes and counts.
//
// A file's kind is decided once, on a walker thread, from the extension of its name and stored as one
// byte in its Node; every view reads that byte. Sizes and counts have exactly one text form each,
// identical in every UI language. Everything here is pure and safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace spadrim {

// The numeric values are stored in every Node and index the tables in kinds.cpp: never renumber.
enum class FileKind : std::uint8_t {
    Pictures = 0,
    Videos = 1,
    Music = 2,
    Documents = 3,
    Archives = 4,
    Programs = 5,
    Temporary = 6,
    Other = 7,
};

inline constexpr int KIND_COUNT = 8;

// The lower-cased (ASCII only) bytes after the last '.', or empty when the name has no usable
// extension: no dot, a leading dot only (.gitignore), a trailing dot, or more than 11 bytes after it.
std::string file_extension(std::string_view name);

// Exact match of an already lower-cased extension against the kind lists; anything else is Other.
// Dispatches on length and compares fixed-width words: no allocation, no hashing.
FileKind classify_extension(std::string_view extension);

// The kind of a file by its name: classify_extension(file_extension(name)).
FileKind classify_name(std::string_view name);

// The label of a kind in the UI language.
std::string_view kind_label(FileKind kind);

// The Korean and English label of a kind: the pair kind_label looks up.
struct KindNames {
    std::string_view korean;
    std::string_view english;
};
KindNames kind_names(FileKind kind);

// The kind's colour as 0xRRGGBB.
std::uint32_t kind_colour(FileKind kind);

// "1023 B", "1.00 KB", "12.3 MB", "245 GB" ... up to PB; never translated.
std::string format_size(std::uint64_t bytes);

// "1,234,567": an ASCII comma every three digits, in every language.
std::string format_count(std::uint64_t count);

}  // namespace spadrim
