// Frame cost of the effect against its floor. In one run, with every variant interleaved round
// by round so that load from elsewhere on the machine falls on all of them alike, it times at
// each size: a pass-through copy, the floor (the effect's six texture reads at its coordinates,
// summed, nothing else), the effect's first straightforward shader drawn directly ("before"),
// and the module's DrawFrame through plugMain at several settings. Each sample is one frame
// between two glFinish calls; the figures are medians. Then it prints the ratios and the checks
// (cost against the floor, linear in pixels, flat in Char Size, 16 instances = 16 x one).
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ReferenceShader.h"

using namespace vexbench;

namespace {

struct Options {
  int frames = 25;
  int warmup = 3;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes = {
      {1280, 720}, {1920, 1080}, {3840, 2160}};
  std::pair<std::uint32_t, std::uint32_t> instancesSize = {1280, 720};
  int instanceCount = 16;
  std::vector<std::string> candidatePaths;  // fragment sources to time beside the module
  bool nearest = false;
  bool strict = false;  // non-zero exit when a check fails
};

// Thresholds the figures are held to.
constexpr double kMaxModuleOverFloor = 1.10;
constexpr double kMaxPerPixelSpread = 1.15;
constexpr double kMaxCharSizeSpread = 1.10;
constexpr double kMaxInstancesDeviation = 0.10;
constexpr double kPixelsPerMegapixel = 1.0e6;

void PrintUsage() {
  std::printf(
      "usage: frame_bench [--frames N] [--warmup N] [--sizes WxH,WxH,...]\n"
      "                   [--instances N] [--instances-size WxH] [--candidate FILE]...\n"
      "                   [--nearest] [--strict]\n");
}

bool ParseSize(const std::string& text, std::pair<std::uint32_t, std::uint32_t>* size) {
  unsigned width = 0, height = 0;
  if (std::sscanf(text.c_str(), "%ux%u", &width, &height) != 2 || !width || !height) return false;
  *size = {width, height};
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--frames" && hasValue) {
      options->frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--warmup" && hasValue) {
      options->warmup = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--instances" && hasValue) {
      options->instanceCount = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--sizes" && hasValue) {
      options->sizes.clear();
      std::stringstream list(argv[++i]);
      std::string item;
      while (std::getline(list, item, ',')) {
        std::pair<std::uint32_t, std::uint32_t> size;
        if (!ParseSize(item, &size)) return false;
        options->sizes.push_back(size);
      }
      if (options->sizes.empty()) return false;
    } else if (arg == "--instances-size" && hasValue) {
      if (!ParseSize(argv[++i], &options->instancesSize)) return false;
    } else if (arg == "--candidate" && hasValue) {
      options->candidatePaths.push_back(argv[++i]);
    } else if (arg == "--nearest") {
      options->nearest = true;
    } else if (arg == "--strict") {
      options->strict = true;
    } else {
      return false;
    }
  }
  return true;
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : 0.5 * (samples[middle - 1] + samples[middle]);
}

double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

// One call of `draw`, from an idle pipeline to a finished one: wall-clock milliseconds, and the
// processor time all threads of this process (the renderer's included) spent on it, which other
// programs running on the machine disturb far less.
struct FrameTime {
  double wallMs;
  double cpuMs;
};
FrameTime TimeFrame(const std::function<void()>& draw) {
  glFinish();
  const double cpuStart = CpuMilliseconds();
  const auto start = std::chrono::steady_clock::now();
  draw();
  glFinish();
  const auto stop = std::chrono::steady_clock::now();
  const double cpuStop = CpuMilliseconds();
  return {std::chrono::duration<double, std::milli>(stop - start).count(), cpuStop - cpuStart};
}

struct Samples {
  std::vector<double> wall, cpu;
  void Add(FrameTime time) {
    wall.push_back(time.wallMs);
    cpu.push_back(time.cpuMs);
  }
};

struct ModuleSetting {
  const char* label;
  float charSize;
  float hueShift;
};
constexpr ModuleSetting kModuleSettings[] = {
    {"module cs0   hue0", 0.0f, 0.0f},  {"module cs0.3 hue0", 0.3f, 0.0f},
    {"module cs1   hue0", 1.0f, 0.0f},  {"module cs0   hue.5", 0.0f, 0.5f},
    {"module cs0.3 hue.5", 0.3f, 0.5f}, {"module cs1   hue.5", 1.0f, 0.5f},
};
constexpr int kDefaultSetting = 1;  // Char Size 0.3, no hue rotation: the module's defaults
constexpr int kHueSetting = 4;      // the defaults with Hue Shift 0.5

struct Variant {
  std::string label;
  std::function<void()> draw;
  Samples samples;
};

struct SizeRun {
  std::uint32_t width = 0, height = 0;
  Surface surface;
  FrameInput frame{};
  const TextureInfo* textures[1] = {nullptr};
  std::vector<Variant> variants;
  // Indices into variants; module is the first of the module settings.
  int copy = -1, floor = -1, tunedFloor = -1, module = -1;

  double Megapixels() const { return double(width) * double(height) / kPixelsPerMegapixel; }
  double MedianOf(int index) const {
    return Median(variants[static_cast<std::size_t>(index)].samples.wall);
  }
  double CpuMedianOf(int index) const {
    return Median(variants[static_cast<std::size_t>(index)].samples.cpu);
  }
};

struct CheckLog {
  int failures = 0;
  void Report(bool passed, const char* format, double value, double limit,
              const std::string& what) {
    std::printf("  [%s] ", passed ? "PASS" : "FAIL");
    std::printf(format, what.c_str(), value, limit);
    std::printf("\n");
    if (!passed) ++failures;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    PrintUsage();
    return 2;
  }

  BenchGL gl;
  std::string error;
  if (!gl.Start(&error)) {
    std::fprintf(stderr, "frame_bench: no GL context: %s\n", error.c_str());
    return 1;
  }
  Module module;
  if (!module.Load(BuiltModulePath(), &error)) {
    std::fprintf(stderr, "frame_bench: cannot load the module: %s\n", error.c_str());
    return 1;
  }

  DirectProgram copyProgram, floorProgram, tunedFloorProgram, referenceProgram;
  if (!copyProgram.Build(kReferenceVertexSource, kCopyFragmentSource, &error) ||
      !floorProgram.Build(kReferenceVertexSource, kSixReadsFragmentSource, &error) ||
      !tunedFloorProgram.Build(kTunedSixReadsVertexSource, kTunedSixReadsFragmentSource, &error) ||
      !referenceProgram.Build(kReferenceVertexSource, kReferenceFragmentSource, &error)) {
    std::fprintf(stderr, "frame_bench: a bench program does not build: %s\n", error.c_str());
    return 1;
  }
  // Candidate fragment sources, each timed with the defaults and with hue rotation.
  std::vector<std::unique_ptr<DirectProgram>> candidates;
  std::vector<std::string> candidateNames;
  for (const std::string& path : options.candidatePaths) {
    candidates.push_back(std::make_unique<DirectProgram>());
    std::string vertexSource, fragmentSource;
    if (!ReadShaderPair(path, &vertexSource, &fragmentSource)) {
      std::fprintf(stderr, "frame_bench: cannot read %s\n", path.c_str());
      return 1;
    }
    if (!candidates.back()->Build(vertexSource.c_str(), fragmentSource.c_str(), &error)) {
      std::fprintf(stderr, "frame_bench: %s does not build: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    candidateNames.push_back(path.substr(path.find_last_of('/') + 1));
  }

  const SamplerChoice sampler{options.nearest ? GL_NEAREST : GL_LINEAR, GL_CLAMP_TO_EDGE};
  const EffectUniforms defaults;
  EffectUniforms hueRotated;
  hueRotated.hueShift = 0.5f;

  std::vector<void*> instances;  // every instance made, destroyed at the end
  auto makeInstance = [&](std::uint32_t width, std::uint32_t height, float charSize,
                          float hueShift) -> void* {
    void* instance = module.CreateInstance(width, height);
    if (!instance) return nullptr;
    instances.push_back(instance);
    module.SetParameter(instance, kCharSize, charSize);
    module.SetParameter(instance, kHueShift, hueShift);
    return instance;
  };

  std::vector<std::unique_ptr<SizeRun>> runs;
  for (const auto& size : options.sizes) {
    auto run = std::make_unique<SizeRun>();
    SizeRun* r = run.get();
    r->width = size.first;
    r->height = size.second;
    r->surface = MakeSurface(r->width, r->height, r->width, r->height,
                             NoisePixels(r->width, r->height, 7), false, sampler);
    r->textures[0] = &r->surface.input;
    r->frame = FrameInput{1, 0, r->textures, r->surface.framebuffer};
    auto add = [&](const std::string& label, std::function<void()> draw) {
      r->variants.push_back({label, std::move(draw), {}});
      return static_cast<int>(r->variants.size()) - 1;
    };
    r->copy = add("pass-through copy", [&, r] { copyProgram.Draw(r->surface, defaults); });
    r->floor = add("six-reads floor", [&, r] { floorProgram.Draw(r->surface, defaults); });
    r->tunedFloor =
        add("six-reads floor, tuned", [&, r] { tunedFloorProgram.Draw(r->surface, defaults); });
    add("before: first shader", [&, r] { referenceProgram.Draw(r->surface, defaults); });
    add("before: first shader hue.5", [&, r] { referenceProgram.Draw(r->surface, hueRotated); });
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const DirectProgram* candidate = candidates[i].get();
      add(candidateNames[i], [&, r, candidate] { candidate->Draw(r->surface, defaults); });
      add(candidateNames[i] + " hue.5",
          [&, r, candidate] { candidate->Draw(r->surface, hueRotated); });
    }
    for (const ModuleSetting& setting : kModuleSettings) {
      void* instance = makeInstance(r->width, r->height, setting.charSize, setting.hueShift);
      if (!instance) {
        std::fprintf(stderr, "frame_bench: CreateInstance failed\n");
        return 1;
      }
      const int index =
          add(setting.label, [&module, instance, r] { module.DrawFrame(instance, &r->frame); });
      if (r->module < 0) r->module = index;
    }
    runs.push_back(std::move(run));
  }

  // Instances drawn in turn, as a host with one layer per instance draws them: each instance
  // into its own framebuffer, one frame of each of N instances against one frame of one. (Into
  // one shared framebuffer the renderer may drop the earlier of several opaque full-screen draws
  // of one flush, which would flatter the figure.)
  std::vector<Surface> turnSurfaces;
  std::vector<FrameInput> turnFrames;
  std::vector<const TextureInfo*> turnTextures;
  std::vector<void*> turnInstances;
  Samples oneSamples, turnSamples;
  if (options.instanceCount > 0) {
    const auto [width, height] = options.instancesSize;
    const std::size_t count = static_cast<std::size_t>(options.instanceCount);
    turnSurfaces.reserve(count);
    turnTextures.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      turnSurfaces.push_back(MakeSurface(
          width, height, width, height,
          NoisePixels(width, height, static_cast<std::uint32_t>(11 + i)), false, sampler));
      turnTextures.push_back(&turnSurfaces.back().input);
      turnFrames.push_back(FrameInput{1, 0, &turnTextures.back(), turnSurfaces.back().framebuffer});
      void* instance = makeInstance(width, height, 0.3f, 0.0f);
      if (!instance) {
        std::fprintf(stderr, "frame_bench: CreateInstance failed\n");
        return 1;
      }
      turnInstances.push_back(instance);
    }
  }
  auto drawOne = [&] { module.DrawFrame(turnInstances[0], &turnFrames[0]); };
  auto drawInTurn = [&] {
    for (std::size_t i = 0; i < turnInstances.size(); ++i)
      module.DrawFrame(turnInstances[i], &turnFrames[i]);
  };

  std::printf("renderer: %s\n", gl.Renderer().c_str());
  std::printf("input: RGBA8 noise, %s filtering, clamp to edge; target RGBA8\n",
              options.nearest ? "nearest" : "linear");
  std::printf("%d warm-up + %d timed frames per variant, interleaved round by round\n",
              options.warmup, options.frames);
  std::fflush(stdout);

  // Warm-up: compile every shader variant the driver makes lazily and touch every buffer.
  for (int round = 0; round < options.warmup; ++round) {
    for (auto& run : runs)
      for (Variant& variant : run->variants) TimeFrame(variant.draw);
    if (!turnInstances.empty()) {
      TimeFrame(drawOne);
      TimeFrame(drawInTurn);
    }
  }
  // Timed rounds: every variant of every size once per round, starting at a different place each
  // round so that no variant always follows the same neighbour.
  std::vector<Variant*> order;
  for (auto& run : runs)
    for (Variant& variant : run->variants) order.push_back(&variant);
  for (int round = 0; round < options.frames; ++round) {
    const std::size_t shift = static_cast<std::size_t>(round) % order.size();
    for (std::size_t i = 0; i < order.size(); ++i) {
      Variant* variant = order[(i + shift) % order.size()];
      variant->samples.Add(TimeFrame(variant->draw));
    }
    if (!turnInstances.empty()) {
      oneSamples.Add(TimeFrame(drawOne));
      turnSamples.Add(TimeFrame(drawInTurn));
    }
  }

  std::printf(
      "\nmedian ms: wall clock per frame; min ms: fastest frame; cpu ms: processor time of all\n"
      "threads per frame; ms/MP: median ms per megapixel; /floor, /tuned, /copy: ratio of\n"
      "medians to the six-reads floor, to the tuned floor and to the copy; cpu/fl: ratio of\n"
      "cpu ms to the floor's\n");
  std::printf("%-11s %-28s %9s %8s %8s %7s %7s %7s %7s %7s\n", "size", "variant", "median ms",
              "min ms", "cpu ms", "ms/MP", "/floor", "/tuned", "cpu/fl", "/copy");
  for (const auto& run : runs) {
    const double floorMs = run->MedianOf(run->floor);
    const double tunedFloorMs = run->MedianOf(run->tunedFloor);
    const double floorCpu = run->CpuMedianOf(run->floor);
    const double copyMs = run->MedianOf(run->copy);
    for (const Variant& variant : run->variants) {
      const double ms = Median(variant.samples.wall);
      const double cpu = Median(variant.samples.cpu);
      const double fastest =
          *std::min_element(variant.samples.wall.begin(), variant.samples.wall.end());
      std::printf("%5ux%-5u %-28s %9.2f %8.2f %8.2f %7.2f %7.3f %7.3f %7.3f %7.3f\n", run->width,
                  run->height, variant.label.c_str(), ms, fastest, cpu, ms / run->Megapixels(),
                  ms / floorMs, ms / tunedFloorMs, cpu / floorCpu, ms / copyMs);
    }
  }

  CheckLog checks;
  std::printf("\nchecks:\n");
  for (const auto& run : runs) {
    if (run->width * run->height < 1920u * 1080u) continue;  // held at 1080p and above
    const double floorMs = run->MedianOf(run->floor);
    for (int setting : {kDefaultSetting, kHueSetting}) {
      const int index = run->module + setting;
      char what[160];
      std::snprintf(what, sizeof what, "%ux%u %s", run->width, run->height,
                    run->variants[static_cast<std::size_t>(index)].label.c_str());
      const double ratio = run->MedianOf(index) / floorMs;
      const double cpuRatio = run->CpuMedianOf(index) / run->CpuMedianOf(run->floor);
      const double tunedRatio = run->MedianOf(index) / run->MedianOf(run->tunedFloor);
      std::snprintf(what + std::strlen(what), sizeof what - std::strlen(what),
                    " (cpu time %.3f; to the tuned floor %.3f)", cpuRatio, tunedRatio);
      checks.Report(ratio <= kMaxModuleOverFloor, "%s: module/floor %.3f (limit %.2f)", ratio,
                    kMaxModuleOverFloor, what);
    }
  }
  if (runs.size() > 1) {
    double lowest = 1e300, highest = 0.0;
    for (const auto& run : runs) {
      const double perMegapixel = run->MedianOf(run->module + kDefaultSetting) / run->Megapixels();
      lowest = std::min(lowest, perMegapixel);
      highest = std::max(highest, perMegapixel);
    }
    checks.Report(highest / lowest <= kMaxPerPixelSpread,
                  "%s: highest/lowest ms per megapixel %.3f (limit %.2f)", highest / lowest,
                  kMaxPerPixelSpread, "linear in pixels, module defaults");
  }
  for (const auto& run : runs) {
    for (int hue = 0; hue < 2; ++hue) {
      double lowest = 1e300, highest = 0.0;
      for (int size = 0; size < 3; ++size) {
        const double ms = run->MedianOf(run->module + hue * 3 + size);
        lowest = std::min(lowest, ms);
        highest = std::max(highest, ms);
      }
      char what[160];
      std::snprintf(what, sizeof what, "%ux%u flat in Char Size 0/0.3/1, hue %s", run->width,
                    run->height, hue ? "0.5" : "0");
      checks.Report(highest / lowest <= kMaxCharSizeSpread, "%s: highest/lowest %.3f (limit %.2f)",
                    highest / lowest, kMaxCharSizeSpread, what);
    }
  }
  if (!turnInstances.empty()) {
    const double one = Median(oneSamples.wall);
    const double turn = Median(turnSamples.wall);
    const double ratio = turn / (one * static_cast<double>(turnInstances.size()));
    char what[160];
    std::snprintf(what, sizeof what, "%zu instances in turn at %ux%u: %.2f ms vs one %.2f ms",
                  turnInstances.size(), options.instancesSize.first, options.instancesSize.second,
                  turn, one);
    checks.Report(std::fabs(ratio - 1.0) <= kMaxInstancesDeviation,
                  "%s: ratio to N x one %.3f (limit 1 +- %.2f)", ratio, kMaxInstancesDeviation,
                  what);
  }
  std::printf("%d check(s) failed\n", checks.failures);

  for (void* instance : instances) module.DestroyInstance(instance);
  for (auto& run : runs) DeleteSurface(&run->surface);
  for (Surface& surface : turnSurfaces) DeleteSurface(&surface);
  return options.strict && checks.failures ? 1 : 0;
}
