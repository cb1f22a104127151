// Scan files in ncdu's JSON export format, the exchange format of terminal disk analysers: read into a
// File tree (a server scanned anywhere, seen here) and written from one (a scan browsed with ncdu).
//
//     [1, 2, {"progname": ..., ...}, [{"name": "/srv", ...}, {"name": "a.txt", "asize": 10, ...},
//                                     [{"name": "sub"}, ...], ...]]
//
// A folder is an array whose first element is its info object; a file is an object. Reading streams the
// document through a scanner of its own (scanner.h) and appends each entry as it comes, so memory grows
// with the tree, never with the file: the tree's invariants (a parent before its children) hold because
// the document is in that order. Entries are counted by the walk's rules (see read_ncdu).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scan/progress.h"
#include "scan/tree.h"

namespace spadrim {

// Fills `into` from the start with the next bytes; returns how many (0 at the end), or nothing on a read
// error.
using PullBytes = std::function<std::optional<std::size_t>(std::span<char> into)>;

struct ImportOutcome {
    std::optional<FileTree> tree;  // rolled up, marked imported; nothing when it failed or was cancelled
    std::string error;             // "line L, column C: what was wrong" (English); empty otherwise
    std::int64_t timestamp = 0;    // the metadata's "timestamp", when the scan was made; 0 when absent
};

// Reads one document. A file counts min(asize, dsize), a missing field being 0, as the walk counts a
// sparse file; a folder's own size is not counted. "notreg" entries (links and special files) are links
// of size 0 counted as files: the format does not say which links lead to folders, so a link to a folder
// counts one file more than in a walk, and a FIFO or device is a link here. An entry excluded as
// "otherfs" (ncdu 1: "othfs") is a mount point (a folder link, not entered); other exclusions are left
// out. "read_error" on a folder marks it unreadable. Names are shown
// repaired to UTF-8 (U+FFFD for each invalid sequence) and kept exactly where that differs (the tree's
// real_names; the root path as root_path), so that write_ncdu gives them back byte for byte. Errors
// read as a strict JSON reader's would. progress advances as entries come and its cancel is looked at
// between them.
ImportOutcome read_ncdu(const PullBytes& pull, ScanProgress& progress);

// The same from a file, plain or gzip-compressed (told by its content), or standard input for "-".
ImportOutcome read_ncdu_file(const std::string& path, ScanProgress& progress);

// Appends the document for the tree to `out` in pieces as it goes; the root's name is its root_path.
// Files give asize = dsize = the size counted here, links "notreg", unreadable folders "read_error";
// entries moved to the Recycle Bin are left out. `flush` is called whenever `out` passes 1 MiB and
// once at the end; it returns false to stop the writing (a write error).
bool write_ncdu(const FileTree& tree, std::string_view program_version, std::int64_t timestamp,
                std::string& out, const std::function<bool(std::string&)>& flush);

// Writes the document to a file, gzip-compressed when its name ends in ".gz", or standard output for
// "-". The file appears only when whole: it is written beside under another name first. Returns an
// error text, or nothing when written.
std::optional<std::string> write_ncdu_file(const FileTree& tree, const std::string& path);

}  // namespace spadrim
