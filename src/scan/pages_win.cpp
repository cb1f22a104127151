// Windows has no call that commits and zero-fills private pages ahead of their first write, so the
// writes fault them in as they come.
#include "scan/pages.h"

namespace spadrim {

void prepare_pages(void*, std::size_t) {}

}  // namespace spadrim
