#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "tools/plughost/platform/Terminal.h"

namespace plughost {

namespace {
constexpr int kDefaultColumns = 80;
std::atomic<bool> interrupted{false};
void OnInterrupt(int) {
  interrupted = true;
}
}  // namespace

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
  struct winsize size {};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
  return interrupted;
}

}  // namespace plughost
