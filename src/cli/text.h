// Text as spadrim-cli shows it: names made harmless for a terminal and for XML, and the progress line
// fitted to the terminal's width. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace spadrim {

// The text with each character that a terminal would obey rather than show written out visibly, so
// that a file name can neither retitle nor clear the terminal nor break or reorder a line of a listing:
// - C0 controls U+0000 to U+001F and DEL as \xHH ("\x1b", "\x0a"),
// - C1 controls U+0080 to U+009F (which some terminals obey like ESC sequences) as \u00HH ("\u009b"),
// - the bidirectional formatting characters (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
//   U+2069) and the line and paragraph separators (U+2028, U+2029) as \uHHHH ("\u202e"), so that a
//   name cannot show its end first ("photo\u202egpj.exe" posing as "photoexe.jpg") or reorder a line,
// - each byte of an invalid UTF-8 sequence (a command-line argument on POSIX may hold any bytes) as \xHH.
// Everything else, the backslash included, stays as it is: Windows paths are full of backslashes, and
// a name that really holds the text "\x1b" is rare enough to be shown as it is. The result is valid UTF-8.
std::string terminal_text(std::string_view text);

// The text as XML 1.0 character data, usable in an element or a quoted attribute: & < > " ' as entities,
// tab, line feed and carriage return as character references (so that no parser normalises them away),
// and each character XML does not allow (the other C0 controls, U+FFFE, U+FFFF) or invalid UTF-8 sequence
// as U+FFFD.
std::string xml_text(std::string_view text);

// One CSV record (RFC 4180) ending in CRLF: a field holding a comma, a quotation mark, a line break or
// an outer space is quoted, its quotation marks doubled.
std::string csv_record(std::initializer_list<std::string_view> fields);

// Columns on screen of a code point: 2 for the wide and fullwidth characters of East Asian scripts and
// for emoji, 1 for the others. Terminals that draw a character narrower only make a line shorter, never
// longer, so the wide ranges are taken generously.
std::size_t display_width(char32_t c);

// At most `columns` columns of text, padded with spaces to that width; cut only between characters.
// The text should already be terminal_text, so that what is counted is what is shown.
std::string fit(std::string_view text, std::size_t columns);

// The longest progress line for a terminal `columns` wide: three columns short of it, for the "^C" a
// terminal echoes and so that the cursor never reaches the last column and wraps; nothing on a terminal
// of three columns or fewer; at most MAX_PROGRESS_WIDTH, whatever width a console reports.
inline constexpr std::size_t MAX_PROGRESS_WIDTH = 1024;
std::size_t progress_width(unsigned columns);

}  // namespace spadrim
