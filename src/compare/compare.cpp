#include "compare/compare.h"

namespace spadrim {}  // namespace spadrim
