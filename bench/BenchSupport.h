// What the benchmark and the shader check share: a GL context on a headless display, the built
// module loaded through dlopen and driven through plugMain as a host drives it, host-side
// input textures and framebuffers, and programs of the bench's own drawn on their own quad.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "host/HostInterface.h"
#include "tools/glcontext/GLContext.h"

namespace vexbench {

// A 4.1 core context current on this thread, on the reachable display or an Xvfb of its own.
using BenchGL = glhost::GLSession;

// The module loaded once, as a host loads it. Every call goes through plugMain.
class Module {
 public:
  Module() = default;
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool Load(const std::string& path, std::string* error);
  // Null when the module refuses.
  void* CreateInstance(std::uint32_t width, std::uint32_t height) const;
  bool SetParameter(void* instance, std::uint32_t id, float value) const;
  std::uint32_t DrawFrame(void* instance, const FrameInput* frame) const;
  void DestroyInstance(void* instance) const;

 private:
  void* handle = nullptr;
  PlugMainFunction plugMain = nullptr;
};

// Parameter indices of the effect, as the host sees them.
enum ParameterIndex : std::uint32_t {
  kCharSize = 0,
  kColorMode = 1,
  kEdgeBoost = 2,
  kInvert = 3,
  kBlend = 4,
  kContrast = 5,
  kHueShift = 6,
};

// What a host would hand the module: an RGBA8 input texture whose lower-left width x height
// corner holds the picture (linear filtering, clamped at the edges unless asked otherwise), and
// a framebuffer of the texture's allocated size, RGBA8 or RGBA32F.
struct Surface {
  TextureInfo input{};
  std::uint32_t framebuffer = 0;
  std::uint32_t colorTexture = 0;
  bool floatTarget = false;
};
struct SamplerChoice {
  std::int32_t filter;  // GL_LINEAR or GL_NEAREST
  std::int32_t wrap;    // GL_CLAMP_TO_EDGE, GL_REPEAT, ...
};
// `pixels` holds width x height RGBA8 texels, first row at the bottom.
Surface MakeSurface(std::uint32_t width, std::uint32_t height, std::uint32_t hardwareWidth,
                    std::uint32_t hardwareHeight, const std::vector<std::uint8_t>& pixels,
                    bool floatTarget, SamplerChoice sampler);
void DeleteSurface(Surface* surface);
// The whole target as RGBA floats (float targets) or bytes widened to floats (RGBA8 targets).
std::vector<float> ReadTarget(const Surface& surface);

// Deterministic RGBA8 noise.
std::vector<std::uint8_t> NoisePixels(std::uint32_t width, std::uint32_t height,
                                      std::uint32_t seed);

// The effect's uniforms as the module sends them (MaxUV and Resolution come from the surface).
struct EffectUniforms {
  float charSize = 0.3f;
  std::int32_t colorMode = 0;
  float edgeBoost = 0.3f;
  float invert = 0.0f;
  float blend = 1.0f;
  float contrast = 0.3f;
  float hueShift = 0.0f;
};

// A program of the bench's own and its own full-screen quad, laid out like the module's
// upright quad.
class DirectProgram {
 public:
  DirectProgram() = default;
  ~DirectProgram();
  DirectProgram(const DirectProgram&) = delete;
  DirectProgram& operator=(const DirectProgram&) = delete;

  bool Build(const char* vertexSource, const char* fragmentSource, std::string* error);
  // Draws one frame into the surface's framebuffer with the uniforms set as the module sets them.
  void Draw(const Surface& surface, const EffectUniforms& uniforms) const;

 private:
  std::uint32_t program = 0;
  std::uint32_t vertexArray = 0;
  std::uint32_t vertexBuffer = 0;
};

// A pass-through copy of the picture, and the floor: the six texture reads of the effect at
// its coordinates, summed, and nothing else. The floor comes twice: with its coordinates
// computed as first written (uniforms read per pixel), and tuned as the effect's shader is
// (per-frame values from the vertex stage, flat), which is the stricter yardstick.
extern const char* const kCopyFragmentSource;
extern const char* const kSixReadsFragmentSource;
extern const char* const kTunedSixReadsVertexSource;
extern const char* const kTunedSixReadsFragmentSource;

// A shader pair from files: the fragment stage from `path`, the vertex stage from the file of
// the same name ending in .vert instead of .frag when there is one, else the first vertex stage.
bool ReadShaderPair(const std::string& path, std::string* vertexSource,
                    std::string* fragmentSource);

// The path of the built module, passed in by the build.
std::string BuiltModulePath();

}  // namespace vexbench
