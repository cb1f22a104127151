// Making memory that is about to be written resident ahead of the writes. A tree of a million entries
// fills some 60 MB of fresh pages, and where the system faults each page in on its first write (one
// trap per 4 KiB) that costs as much as a tenth of a scan or an import; asked for a run of pages at once
// it costs about half.
#pragma once

#include <cstddef>

namespace spadrim {

// Makes the pages of [start, start + bytes) resident and writable, in one call, without changing what
// they hold. Memory the caller owns only. Where the system has no such call it does nothing: the writes
// then fault the pages in one at a time, as they would anyway.
void prepare_pages(void* start, std::size_t bytes);

}  // namespace spadrim
