// Update checks. Until the updater exists there is nothing to check against: a check does nothing.
#include "app/updater/updater.h"

namespace spadrim {

void start_update_check(Window&, bool) {}

}  // namespace spadrim
