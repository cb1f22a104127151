// What spadrim-cli needs from the console, per platform (console_win.cpp, console_posix.cpp).
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace spadrim {

// The program's arguments in UTF-8, without the program name (Windows: from the UTF-16 command line).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// UTF-8 output without newline translation.
void prepare_console();

bool stderr_is_terminal();
unsigned terminal_columns();  // 80 when unknown

// Sets flag when the user presses Ctrl+C; the program then cancels cleanly instead of dying.
void watch_interrupt(std::atomic<bool>& flag);

}  // namespace spadrim
