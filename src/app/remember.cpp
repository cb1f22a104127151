// Remembered scans on the UI thread. See app.h.
#include "app/app.h"
#include "strings/strings.h"

namespace spadrim {

void remember_scan(App& app) {
    if (!app.remember_scans || app.scans_folder.empty() || !app.tree || app.tree->imported) return;
    finish_save(app);  // one save at a time: the one before, if any, is taken first
    wait_for_save(app);
    SaveJob job;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    // The tree stays where it is until wait_for_save: the UI thread waits before it changes or replaces it.
    job.runner =
        JobRunner{finished, std::jthread([tree = &*app.tree, folder = app.scans_folder, when = app.tree->when,
                                          cancel = job.cancel, lock = job.lock, outcome = job.outcome,
                                          wake = app.wake_save_owner, finished] {
                      SaveOutcome saved = save_scan(*tree, folder, when, *cancel);
                      {
                          const std::lock_guard hold(*lock);
                          *outcome = std::move(saved);
                      }
                      *finished = true;
                      wake();
                  })};
    app.saving = std::move(job);
}

void wait_for_save(App& app) {
    if (!app.saving) return;
    if (app.saving->runner.thread.joinable()) app.saving->runner.thread.join();
}

void cancel_save(App& app) {
    if (!app.saving) return;
    *app.saving->cancel = true;
    wait_for_save(app);
}

void finish_save(App& app) {
    if (!app.saving || !app.saving->runner.finished->load()) return;  // its own wake-up comes later
    wait_for_save(app);
    SaveOutcome outcome;
    {
        const std::lock_guard hold(*app.saving->lock);
        outcome = std::move(*app.saving->outcome);
    }
    app.saving.reset();
    show_recent_scans(app);
    // Remembering is a convenience beside the results: a save that did not happen is told once per run,
    // in a notice, and never stands in the way. A drive too full to take the file is told too, since that
    // is when the next scan has nothing to be compared with.
    if (app.save_failure_noted || (outcome.error.empty() && !outcome.no_room)) return;
    app.save_failure_noted = true;
    if (outcome.no_room) {
        show_notice(app, std::string(tr("드라이브가 거의 가득 차서 이 스캔을 기억하지 않았습니다",
                                        "This scan was not remembered: the drive is almost full")));
    } else {
        show_notice(app, substitute(tr("이 스캔을 기억하지 못했습니다: {0}",
                                       "This scan could not be remembered: {0}"),
                                    {outcome.error}));
    }
}

void forget_scans(App& app) {
    cancel_save(app);  // a save still running would bring one back
    finish_save(app);
    const std::size_t failed = forget_remembered(app.scans_folder);
    show_recent_scans(app);
    show_notice(app, failed == 0 ? std::string(tr("기억한 스캔을 지웠습니다", "Remembered scans deleted"))
                                 : std::string(tr("기억한 스캔 일부를 지우지 못했습니다",
                                                  "Some remembered scans could not be deleted")));
}

}  // namespace spadrim
