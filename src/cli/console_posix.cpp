// Console facilities on POSIX systems. See console.h.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

namespace spadrim {
namespace {

std::atomic<bool>* interrupt_flag = nullptr;

extern "C" void on_interrupt(int) {
    if (interrupt_flag) interrupt_flag->store(true);  // lock-free, so safe in a signal handler
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void prepare_console() {}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

unsigned terminal_columns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void watch_interrupt(std::atomic<bool>& flag) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    interrupt_flag = &flag;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace spadrim
