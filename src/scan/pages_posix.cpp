// Prefaulting on Linux: madvise(MADV_POPULATE_WRITE), since 5.14. Older kernels refuse it, and the
// writes fault the pages in as usual.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "scan/pages.h"

namespace spadrim {

void prepare_pages(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto at = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t first = at & ~(page - 1);  // madvise wants a page boundary; that page is ours too
    madvise(reinterpret_cast<void*>(first), at + bytes - first, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}

}  // namespace spadrim
