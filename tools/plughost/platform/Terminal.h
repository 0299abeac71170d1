// What plughost needs to know about its console: whether a stream is an interactive terminal
// (progress bar) or a file or pipe (plain progress lines), its width, and whether the user
// asked to stop (Ctrl-C), so that a long run can clean up instead of dying half-way.
#pragma once

#include <cstdio>

namespace plughost {

bool IsTerminal(std::FILE* stream);
// Columns of the terminal behind `stream`; 80 when unknown.
int TerminalColumns(std::FILE* stream);

// After this call an interrupt (Ctrl-C, or a termination request) sets a flag instead of
// ending the process; InterruptRequested reports it.
void CatchInterrupts();
bool InterruptRequested();

}  // namespace plughost
