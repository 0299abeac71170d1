// Progress of a long run on standard error: a bar redrawn in place (frames, frames per second,
// time left) when standard error is a terminal, and a plain line every tenth of the run when it
// is a file or a pipe, so logs stay short.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace plughost {

class Progress {
 public:
  // `total` 0 means not known: no bar and no time left are shown.
  Progress(std::string label, std::uint64_t total);
  void Update(std::uint64_t done);
  // Ends the bar's line (terminal) and returns the seconds since construction.
  double Finish();
  double FramesPerSecond(std::uint64_t done) const;

 private:
  using Clock = std::chrono::steady_clock;
  std::string label;
  std::uint64_t total;
  bool terminal;
  Clock::time_point start;
  Clock::time_point lastDraw;
  std::uint64_t nextReport = 0;
  bool drewBar = false;
};

}  // namespace plughost
