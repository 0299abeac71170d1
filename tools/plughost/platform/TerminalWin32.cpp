#include <io.h>
#include <windows.h>

#include <atomic>

#include "tools/plughost/platform/Terminal.h"

namespace plughost {

namespace {
constexpr int kDefaultColumns = 80;
std::atomic<bool> interrupted{false};

// Runs on a thread of its own that Windows starts for the event. Ctrl-C and Ctrl-Break become
// the flag; closing the console, logging off and shutting down end the process as usual.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted = true;
  return TRUE;
}

HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}
}  // namespace

// The C runtime's _isatty also says yes for the NUL device; only a console is a terminal.
bool IsTerminal(std::FILE* stream) {
  const HANDLE handle = HandleOf(stream);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR &&
         GetConsoleMode(handle, &mode);
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(HandleOf(stream), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return kDefaultColumns;
}

void CatchInterrupts() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
  return interrupted;
}

}  // namespace plughost
