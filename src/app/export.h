// Export list…: what the current tab lists as CSV, for a spreadsheet or a script. Pure; the file is asked
// for and written by the window (export_win.cpp).
//
// The text is UTF-8 with a byte-order mark, which Excel needs to read it as UTF-8 rather than the
// system's code page, and lines end in CRLF as RFC 4180 has them. The header and the kind column are
// fixed English words, so that a script reads the same columns whatever the UI language; sizes come
// twice, in bytes and as the window shows them, times as ISO 8601 in UTC (empty when unknown).
#pragma once

#include <string>
#include <string_view>

#include "app/app.h"

namespace spadrim {

// One CSV field: quoted, with quotes doubled, when it holds a comma, quote, CR or LF. A text that a
// spreadsheet would run as a formula (starting with = + - @, tab or CR) gets a leading apostrophe, which
// spreadsheets show as text; no path starts so (a drive, a share or a slash comes first), so in practice
// only an odd extension is touched.
std::string csv_field(std::string_view text);

// The CSV of the current tab's rows: Folders, Largest files and every tab of node rows (path, bytes,
// size, modified, kind), By type (extension, kind, files, bytes, size), Duplicates (every copy of every
// set: set, digest, path, bytes, size, modified), Changes (path, before, after, delta, status: the bytes
// before and after, the signed change, and new, removed, grown, shrunk or unchanged). Empty without a tree.
std::string export_csv(const App& app);

// The Save dialog's suggestion: "Spadrim - Folders.csv" with the tab's name in the UI language.
std::string export_file_name(Tab tab);

}  // namespace spadrim
