// Drive listings on workers, so that a network drive whose server is away never stalls the window.
#include <thread>

#include "app/app.h"

namespace spadrim {

namespace {

void post(DriveAnswers& answers, DriveAnswer answer) {
    std::lock_guard hold(answers.lock);
    answers.answers.push_back(std::move(answer));
}

}  // namespace

void request_drives(App& app) {
    show_recent_scans(app);  // listed with the drives: the home screen shows both
    if (!app.wake_drives_owner) {
        list_drives(app);
        return;
    }
    const std::uint64_t generation = ++app.drive_generation;
    const bool network = !app.network_query_running;
    app.network_query_running = app.network_query_running || network;
    app.network_query_wanted = !network;
    // Left to finish on its own: a query waiting for an absent server must keep neither the window nor
    // the program's exit waiting. It holds what it reports to, never the App.
    std::thread([answers = app.drive_answers, wake = app.wake_drives_owner, generation, network] {
        post(*answers, DriveAnswer{generation, DriveKinds::Local, query_drives(DriveKinds::Local),
                                   recycle_bin_bytes()});
        wake();
        if (!network) return;
        post(*answers, DriveAnswer{generation, DriveKinds::Network, query_drives(DriveKinds::Network), {}});
        wake();
    }).detach();
}

void apply_drive_answer(App& app, DriveAnswer answer) {
    const bool network = answer.kinds == DriveKinds::Network;
    if (network) app.network_query_running = false;  // only one runs
    std::uint64_t& shown = network ? app.network_drives_shown : app.local_drives_shown;
    if (answer.generation <= shown) return;  // a later listing's answer is already on screen
    shown = answer.generation;
    app.drives = merge_drives(app.drives, std::move(answer.drives), answer.kinds);
    if (answer.recycle_bin_bytes) app.recycle_bin_bytes = *answer.recycle_bin_bytes;
}

void take_drives(App& app) {
    std::vector<DriveAnswer> answers;
    {
        std::lock_guard hold(app.drive_answers->lock);
        answers.swap(app.drive_answers->answers);
    }
    for (DriveAnswer& answer : answers)
        apply_drive_answer(app, std::move(answer));
    if (!app.network_query_running && app.network_query_wanted) request_drives(app);
}

}  // namespace spadrim
