// The window's timers follow the work they pace: the notice's expiry starts when a notice is shown, the
// scan's repaint timer when a scan starts and stops when it ends, the comparison's likewise, and the
// search's slices while a search runs, and the comparison with an earlier scan's slices while it runs. A
// timer is
// started only on such a change: starting it again on every message would restart its countdown, and a
// steady stream of messages (a moving pointer) would then hold the repaints back.
#pragma once

#include <cstdint>

#include "app/app.h"

namespace spadrim {

// The timers the window has running.
struct RunningTimers {
    std::uint64_t notice_serial = 0;  // the last notice whose expiry was started
    bool scan = false;
    bool compare = false;
    bool search = false;
    bool changes = false;
    bool following = false;
};

enum class TimerChange : std::uint8_t {
    None,
    Start,
    Stop,
};

struct TimerChanges {
    bool start_notice = false;
    TimerChange scan = TimerChange::None;
    TimerChange compare = TimerChange::None;
    TimerChange search = TimerChange::None;
    TimerChange changes = TimerChange::None;
    // Paces following changes on disk: the folders due later, the progress of a folder analysed again and
    // the "Updated 2 s ago" of the status line.
    TimerChange following = TimerChange::None;
};

// What to start and stop so that the timers match the App's work; records the result in running.
TimerChanges follow_work(const App& app, RunningTimers& running);

}  // namespace spadrim
