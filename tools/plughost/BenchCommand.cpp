// plughost bench MODULE: how long DrawFrame takes, next to a plain copy of the same input.
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"
#include "tools/plughost/HostGL.h"
#include "tools/plughost/Picture.h"

namespace plughost {

namespace {

const char kUsage[] =
    "usage: plughost bench MODULE [options]\n"
    "\n"
    "Times DrawFrame of one instance on the built-in test picture, and in the same run a\n"
    "pass-through copy of that picture drawn by plughost itself, into the same framebuffer.\n"
    "Each frame is timed between two glFinish calls after a warm-up. Prints the median time\n"
    "per frame of both, their ratio, and how long creating an instance took.\n"
    "\n"
    "  --size WxH         picture and framebuffer size (default 1280x720)\n"
    "  --frames N         timed frames of each kind (default 100)\n"
    "  --set NAME=VALUE   set a parameter, by name (any case) or id; repeatable\n"
    "  --float            let the plugin draw into an RGBA16F framebuffer (default RGBA8)\n"
    "  -v, --verbose      show the module's log lines\n";

constexpr std::uint32_t kDefaultWidth = 1280;
constexpr std::uint32_t kDefaultHeight = 720;
constexpr unsigned long kDefaultFrames = 100;
constexpr unsigned long kMaximumFrames = 100000;
constexpr unsigned long kWarmUpFrames = 10;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

// Times `draw` `frames` times after a warm-up, each between two glFinish calls.
template <typename Draw>
std::vector<double> TimeFrames(unsigned long frames, Draw draw) {
  for (unsigned long i = 0; i < kWarmUpFrames; ++i) draw(i);
  glFinish();
  std::vector<double> times;
  times.reserve(frames);
  for (unsigned long i = 0; i < frames; ++i) {
    glFinish();
    const Clock::time_point start = Clock::now();
    draw(kWarmUpFrames + i);
    glFinish();
    times.push_back(MillisecondsSince(start));
  }
  return times;
}

}  // namespace

int RunBench(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!line.Parse(args,
                  {{"size", 0, true}, {"frames", 0, true}, {"set", 0, true}, {"float", 0, false}},
                  &error)) {
    return Fail(kExitUsage, error);
  }
  if (line.Has("help")) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  if (line.Positionals().size() != 1) {
    std::fputs(kUsage, stderr);
    return Fail(kExitUsage, "bench takes exactly one MODULE");
  }
  std::uint32_t width = kDefaultWidth, height = kDefaultHeight;
  if (line.Has("size") && !ParseSize(line.Value("size"), &width, &height)) {
    return Fail(kExitUsage, "--size '" + line.Value("size") + "': expected WxH, e.g. 1280x720");
  }
  unsigned long frames = kDefaultFrames;
  if (line.Has("frames")) {
    char* end = nullptr;
    const std::string text = line.Value("frames");
    frames = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || frames == 0 || frames > kMaximumFrames) {
      return Fail(kExitUsage, "--frames '" + text + "': expected a count from 1 to " +
                                  std::to_string(kMaximumFrames));
    }
  }

  PluginModule module;
  if (const int status = LoadModule(module, line.Positionals()[0], line.Has("verbose"))) {
    return status;
  }
  std::vector<ParameterSetting> settings;
  if (const int status = ResolveAssignments(module, line.Values("set"), &settings)) {
    return status;
  }
  GLSession gl;
  if (!gl.Start(&error)) return Fail(kExitFailure, error);

  const Picture picture = MakeTestPicture(width, height);
  InputTexture texture;
  texture.Create(width, height);
  texture.Upload(picture.rgba.data(), true);
  HostFramebuffer target;
  if (!target.Create(width, height, line.Has("float"), &error)) return Fail(kExitFailure, error);
  PassThroughCopy copy;
  if (!copy.Create(&error)) return Fail(kExitFailure, error);
  glFinish();

  PluginInstance instance;
  const Clock::time_point createStart = Clock::now();
  if (const int status =
          StartInstance(module, width, height, settings, kWarmUpFrames + frames, &instance)) {
    return status;
  }
  glFinish();
  const double creationMs = MillisecondsSince(createStart);

  const TextureInfo* textures[] = {&texture.Info()};
  const FrameInput frame{1, 0, textures, target.Name()};
  bool drawFailed = false;
  const std::vector<double> pluginTimes = TimeFrames(frames, [&](unsigned long) {
    if (module.DrawFrame(instance.get(), frame) != kSuccess) drawFailed = true;
  });
  if (drawFailed) {
    Fail(kExitFailure, module.DisplayName() + " could not draw (DrawFrame failed)");
    PrintModuleLog();
    return kExitFailure;
  }
  const std::vector<double> copyTimes =
      TimeFrames(frames, [&](unsigned long) { copy.Draw(texture.Info(), target.Name()); });

  const double pluginMs = Median(pluginTimes);
  const double copyMs = Median(copyTimes);
  std::printf("plughost bench: %s, %ux%u, %s framebuffer, %lu frames after %lu warm-up\n",
              module.DisplayName().c_str(), width, height, line.Has("float") ? "RGBA16F" : "RGBA8",
              frames, kWarmUpFrames);
  std::printf("renderer           %s\n", gl.Renderer().c_str());
  std::printf("instance creation  %.2f ms\n", creationMs);
  std::printf("DrawFrame          %.3f ms/frame median (%.1f fps)\n", pluginMs,
              pluginMs > 0.0 ? 1000.0 / pluginMs : 0.0);
  std::printf("pass-through copy  %.3f ms/frame median (%.1f fps)\n", copyMs,
              copyMs > 0.0 ? 1000.0 / copyMs : 0.0);
  std::printf("ratio              %.2fx the copy\n", copyMs > 0.0 ? pluginMs / copyMs : 0.0);
  return kExitSuccess;
}

}  // namespace plughost
