// Console facilities on Windows. See console.h.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "cli/console.h"
#include "strings/wide_win.h"

namespace spadrim {
namespace {

std::atomic<bool>* interrupt_flag = nullptr;

BOOL WINAPI on_control(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && interrupt_flag) {
        interrupt_flag->store(true);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::vector<std::string> utf8_arguments(int, char**) {
    return command_line_arguments();
}

void prepare_console() {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

unsigned terminal_columns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return static_cast<unsigned>(columns);
    }
    return 80;
}

void watch_interrupt(std::atomic<bool>& flag) {
    interrupt_flag = &flag;
    SetConsoleCtrlHandler(on_control, TRUE);
}

}  // namespace spadrim
