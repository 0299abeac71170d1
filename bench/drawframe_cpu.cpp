// Drives the module's DrawFrame many times on a small frame for callgrind. Instruction counting
// is switched on only around the plugMain calls of the timed frames (creation, the first frame
// and the glFinish that drains the renderer stay outside), so the profile holds exactly what
// those DrawFrame calls executed: the module's own code and the driver's. Run it through
// scripts/perf/callgrind.sh, which keeps the module's part only.
#include <GL/glew.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchSupport.h"

using namespace vexbench;

namespace {
constexpr std::uint32_t kFrameSide = 64;  // small: the renderer's pixel work is not the subject
constexpr int kDefaultFrames = 1000;
}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : kDefaultFrames;
  if (frames < 1) {
    std::fprintf(stderr, "usage: drawframe_cpu [frames]\n");
    return 2;
  }
  BenchGL gl;
  Module module;
  std::string error;
  if (!gl.Start(&error) || !module.Load(BuiltModulePath(), &error)) {
    std::fprintf(stderr, "drawframe_cpu: %s\n", error.c_str());
    return 1;
  }
  void* instance = module.CreateInstance(kFrameSide, kFrameSide);
  if (!instance) {
    std::fprintf(stderr, "drawframe_cpu: CreateInstance failed\n");
    return 1;
  }
  module.SetParameter(instance, kHueShift, 0.5f);
  Surface surface = MakeSurface(kFrameSide, kFrameSide, kFrameSide, kFrameSide,
                                NoisePixels(kFrameSide, kFrameSide, 3), false,
                                SamplerChoice{GL_LINEAR, GL_CLAMP_TO_EDGE});
  const TextureInfo* textures[] = {&surface.input};
  const FrameInput frame{1, 0, textures, surface.framebuffer};

  // The first frame makes the driver compile its shader variant; it is not counted.
  std::uint32_t status = module.DrawFrame(instance, &frame);
  glFinish();
  for (int i = 0; i < frames && status == kSuccess; ++i) {
    CALLGRIND_TOGGLE_COLLECT;
    status = module.DrawFrame(instance, &frame);
    CALLGRIND_TOGGLE_COLLECT;
    glFinish();
  }
  std::printf("frames %d status %u\n", frames, status);
  module.DestroyInstance(instance);
  DeleteSurface(&surface);
  return status == kSuccess ? 0 : 1;
}
