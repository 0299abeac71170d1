#include "tools/plughost/Progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/plughost/platform/Terminal.h"

namespace plughost {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kReportsPerRun = 10;
constexpr int kBarMaximum = 40;
constexpr int kBarMinimum = 10;
// Room the text around the bar takes.
constexpr int kTextColumns = 48;

std::string MinutesSeconds(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}
}  // namespace

Progress::Progress(std::string label, std::uint64_t total)
    : label(std::move(label)),
      total(total),
      terminal(IsTerminal(stderr)),
      start(Clock::now()),
      lastDraw(start - kRedrawInterval) {
  nextReport = total / kReportsPerRun;
}

double Progress::FramesPerSecond(std::uint64_t done) const {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
}

void Progress::Update(std::uint64_t done) {
  const Clock::time_point now = Clock::now();
  const double fps = FramesPerSecond(done);
  const double left = (total > done && fps > 0.0) ? static_cast<double>(total - done) / fps : 0.0;
  if (terminal) {
    if (now - lastDraw < kRedrawInterval && done != total) return;
    lastDraw = now;
    std::string line = "\r" + label + " ";
    if (total > 0) {
      const int columns = TerminalColumns(stderr);
      const int width = std::clamp(columns - kTextColumns - static_cast<int>(label.size()),
                                   kBarMinimum, kBarMaximum);
      const int filled = static_cast<int>(std::min<std::uint64_t>(done, total) * width / total);
      line += "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] ";
    }
    char numbers[96];
    if (total > 0) {
      std::snprintf(numbers, sizeof numbers, "%llu/%llu frames  %.1f fps  %s left ",
                    static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                    fps, MinutesSeconds(left).c_str());
    } else {
      std::snprintf(numbers, sizeof numbers, "%llu frames  %.1f fps ",
                    static_cast<unsigned long long>(done), fps);
    }
    line += numbers;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drewBar = true;
    return;
  }
  if (total == 0 || done < nextReport || done == 0) return;
  nextReport = done + std::max<std::uint64_t>(1, total / kReportsPerRun);
  std::fprintf(stderr, "%s: frame %llu of %llu (%d%%), %.1f fps, %s left\n", label.c_str(),
               static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
               static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total), fps,
               MinutesSeconds(left).c_str());
}

double Progress::Finish() {
  if (drewBar) std::fputs("\n", stderr);
  drewBar = false;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace plughost
