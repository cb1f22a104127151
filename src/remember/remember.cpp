#include "remember/remember.h"

namespace spadrim {}  // namespace spadrim
