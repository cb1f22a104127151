// Comparing the results with an earlier scan. See app.h.
#include "app/app.h"

namespace spadrim {}  // namespace spadrim
