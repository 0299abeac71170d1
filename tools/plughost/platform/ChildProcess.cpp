// The portable part of child processes: running a program to its end over ChildProcess.
#include "tools/plughost/platform/ChildProcess.h"

namespace plughost {

bool RunAndCollect(const std::vector<std::string>& argv, std::string* output, int* status,
                   std::string* errorOutput, std::string* error) {
  ChildProcess child;
  if (!child.Start(argv, ChildProcess::Pipe::kFromChildOutput, error)) return false;
  output->clear();
  char chunk[4096];
  for (;;) {
    const std::size_t got = child.Read(chunk, sizeof chunk);
    output->append(chunk, got);
    if (got < sizeof chunk) break;
  }
  child.ClosePipe();
  *status = child.Wait();
  *errorOutput = child.ErrorOutput();
  return true;
}

}  // namespace plughost
