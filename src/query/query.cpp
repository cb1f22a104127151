#include "query/query.h"

namespace spadrim {}  // namespace spadrim
