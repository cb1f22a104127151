// What the results tabs show of one folder, computed from the File tree: the space per kind, the
// largest files and the space per extension. Pure functions; each walks the folder's subtree once
// (removed nodes and everything below them skipped) and allocates only its result and a small heap or map.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kinds/kinds.h"
#include "scan/tree.h"

namespace spadrim {

inline constexpr std::size_t LARGEST_FILES = 300;
inline constexpr std::size_t EXTENSION_ROWS = 200;

using KindTotals = std::array<std::uint64_t, KIND_COUNT>;

struct ExtensionRow {
    std::string extension;  // as file_extension gives it; empty for files without one
    std::uint64_t total = 0;
    std::uint8_t kind = 0;  // the kind of the first file met with this extension
    std::uint32_t count = 0;
};

struct KindTotal {
    FileKind kind;
    std::uint64_t total;
};

// Bytes of the files below folder, per kind.
KindTotals kind_totals(const FileTree& tree, NodeIndex folder);

// The `limit` largest files below folder, largest first; among equal sizes the larger node index first,
// and at the cut-off the larger indices stay.
std::vector<NodeIndex> largest_files(const FileTree& tree, NodeIndex folder,
                                     std::size_t limit = LARGEST_FILES);

// Space per extension below folder, largest total first (ties by extension bytes), at most `limit` rows.
std::vector<ExtensionRow> extension_rows(const FileTree& tree, NodeIndex folder,
                                         std::size_t limit = EXTENSION_ROWS);

// The kinds with any bytes, largest first; equal totals keep the kinds' own order.
std::vector<KindTotal> kinds_list(const KindTotals& totals);

}  // namespace spadrim
