// See timers.h.
#include "app/timers.h"

namespace spadrim {
namespace {

TimerChange follow(bool wanted, bool& running) {
    if (wanted == running) return TimerChange::None;
    running = wanted;
    return wanted ? TimerChange::Start : TimerChange::Stop;
}

}  // namespace

TimerChanges follow_work(const App& app, RunningTimers& running) {
    TimerChanges changes;
    if (app.notice_serial != running.notice_serial) {
        running.notice_serial = app.notice_serial;
        changes.start_notice = !app.notice.empty();
    }
    changes.scan = follow(app.scan_job.has_value(), running.scan);
    changes.compare = follow(app.duplicate_job.has_value(), running.compare);
    changes.search = follow(app.searching.has_value(), running.search);
    changes.changes =
        follow((app.comparison && !app.comparison->done) || app.recomparing.has_value(), running.changes);
    changes.following =
        follow(refresh_asked(app) || following_pending(app) || !updated_text(app, Clock::now()).empty(),
               running.following);
    return changes;
}

}  // namespace spadrim
