// Remembered scans on the UI thread. See app.h.
#include "app/app.h"

namespace spadrim {

void wait_for_save(App& app) {
    if (!app.saving) return;
    app.saving->runner.thread = {};  // joins
}

}  // namespace spadrim
