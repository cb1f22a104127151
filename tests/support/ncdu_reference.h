// The scan-file reader built on the JSON library's SAX parser, as Spadrim read scan files before it had
// its own scanner: the reference that read_ncdu is compared with, entry by entry and error by error, in
// the tests and the fuzz target. The library's values go to the same rules for entries as the scanner's
// (src/ncdu/entries.h), so what the comparison holds to the library is the scanner and the grammar: the
// tokens, their places and the syntax errors. Names are repaired to UTF-8 (U+FFFD for each invalid
// sequence) before parsing, so it gives only the shown names. Built for the tests and the fuzz target
// only.
#pragma once

#include <string>
#include <string_view>

#include "ncdu/ncdu.h"

namespace spadrim {

ImportOutcome read_ncdu_reference(const PullBytes& pull, ScanProgress& progress);

// Reads the document with read_ncdu and with the reference, each pull handing out at most `step` bytes,
// and describes the first difference in what they made of it: success, error text (the reference's
// "; last read: '...'" aside, which quotes the library's own token buffer), progress and the tree node
// by node (shown names, sizes, flags, counts, times, links). An entry kept with its exact bytes aside
// must show them repaired. Empty when they agree.
std::string reading_difference(std::string_view document, std::size_t step);

}  // namespace spadrim
