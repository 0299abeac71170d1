// Instructions the renderer executes for one frame of each program, counted by callgrind: a
// deterministic figure beside the wall-clock benchmark, which load from other programs on the
// machine disturbs. Meant for a software renderer, where the fragment stage runs as CPU code.
// Each program draws once uncounted (the driver compiles it then), and once counted, followed
// by a callgrind dump labelled with the program's name. scripts/perf/shader_instructions.sh
// runs it and prints the totals per dump.
//
//   shader_instructions [--size WxH] [--candidates-only] [FILE.frag]...
#include <GL/glew.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ReferenceShader.h"
#include "effect/AsciiShaders.h"

using namespace vexbench;

int main(int argc, char** argv) {
  std::uint32_t width = 256, height = 256;
  std::vector<std::string> paths;
  bool builtIns = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--candidates-only") == 0) {
      builtIns = false;
      continue;
    }
    if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%ux%u", &width, &height) != 2 || !width || !height) return 2;
    } else {
      paths.push_back(argv[i]);
    }
  }
  BenchGL gl;
  std::string error;
  if (!gl.Start(&error)) {
    std::fprintf(stderr, "shader_instructions: no GL context: %s\n", error.c_str());
    return 1;
  }

  struct Entry {
    std::string label;
    std::string vertexSource, fragmentSource;
    std::unique_ptr<DirectProgram> program;
  };
  std::vector<Entry> entries;
  if (builtIns) {
    entries.push_back({"copy", kReferenceVertexSource, kCopyFragmentSource, nullptr});
    entries.push_back({"floor", kReferenceVertexSource, kSixReadsFragmentSource, nullptr});
    entries.push_back(
        {"floor-tuned", kTunedSixReadsVertexSource, kTunedSixReadsFragmentSource, nullptr});
    entries.push_back({"first", kReferenceVertexSource, kReferenceFragmentSource, nullptr});
    entries.push_back(
        {"module", vexascii::kVertexShaderSource, vexascii::kFragmentShaderSource, nullptr});
  }
  for (const std::string& path : paths) {
    Entry entry{path.substr(path.find_last_of('/') + 1), "", "", nullptr};
    if (!ReadShaderPair(path, &entry.vertexSource, &entry.fragmentSource)) {
      std::fprintf(stderr, "shader_instructions: cannot read %s\n", path.c_str());
      return 1;
    }
    entries.push_back(std::move(entry));
  }

  Surface surface = MakeSurface(width, height, width, height, NoisePixels(width, height, 9), false,
                                SamplerChoice{GL_LINEAR, GL_CLAMP_TO_EDGE});
  EffectUniforms hueRotated;
  hueRotated.hueShift = 0.5f;
  for (Entry& entry : entries) {
    entry.program = std::make_unique<DirectProgram>();
    if (!entry.program->Build(entry.vertexSource.c_str(), entry.fragmentSource.c_str(), &error)) {
      std::fprintf(stderr, "shader_instructions: %s does not build: %s\n", entry.label.c_str(),
                   error.c_str());
      return 1;
    }
    entry.program->Draw(surface, hueRotated);
    glFinish();
    CALLGRIND_TOGGLE_COLLECT;
    entry.program->Draw(surface, hueRotated);
    glFinish();
    CALLGRIND_TOGGLE_COLLECT;
    const std::string label =
        entry.label + " " + std::to_string(width) + "x" + std::to_string(height);
    CALLGRIND_DUMP_STATS_AT(label.c_str());
  }
  DeleteSurface(&surface);
  return 0;
}
