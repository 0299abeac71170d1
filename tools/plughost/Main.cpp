// plughost: a command-line host for video-effect plugin modules of this interface. It loads a
// module, drives it only through plugMain and SetLogCallback, and shows, renders, processes
// video or times whatever the module declares.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"

namespace {

const char kUsage[] =
    "usage: plughost COMMAND [ARGS...]   (plughost COMMAND --help for details)\n"
    "\n"
    "  info MODULE                          identity, capabilities and parameters\n"
    "  render MODULE [INPUT...] -o OUTPUT   pictures (or the built-in test picture) to PNG\n"
    "  video MODULE INPUT OUTPUT            a video clip through ffmpeg, frame by frame\n"
    "  bench MODULE                         time DrawFrame against a plain copy\n"
    "\n"
    "Common options: --set NAME=VALUE (render, video, bench), -v/--verbose, -h/--help.\n"
    "Exit status: 0 success, 1 the run failed, 2 the command line is wrong, 130 interrupted.\n";

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&);
};

const Command kCommands[] = {{"info", plughost::RunInfo},
                             {"render", plughost::RunRender},
                             {"video", plughost::RunVideo},
                             {"bench", plughost::RunBench}};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return plughost::kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return plughost::kExitSuccess;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& candidate : kCommands) {
    if (command == candidate.name) return candidate.run(args);
  }
  std::fputs(kUsage, stderr);
  return plughost::Fail(plughost::kExitUsage, "unknown command '" + command + "'");
}
