// The effect's tuned fragment stage must give the same bits as the first, straightforward one.
// Renders a range of pictures (noise, gradients, flat greys, odd sizes, a picture smaller than
// its texture, nearest and linear filtering, clamped and repeating edges) with a range of
// settings (defaults, each control across its range and beyond it, random mixes) through both
// programs into RGBA32F targets and requires identical output. The module itself, driven
// through plugMain, must draw the same bits as the reference too. Exit status 0 when all match.
//
//   shader_exactness [FILE.frag]   compares FILE.frag (and FILE.vert when there is one) instead of
//                                  the module's sources
#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ReferenceShader.h"
#include "effect/AsciiShaders.h"

using namespace vexbench;

namespace {

struct Picture {
  const char* name;
  std::uint32_t width, height, hardwareWidth, hardwareHeight;
  std::vector<std::uint8_t> pixels;
  SamplerChoice sampler;
};

std::vector<std::uint8_t> Gradient(std::uint32_t width, std::uint32_t height, int kind) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* texel = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      const std::uint32_t along = kind == 0   ? x * 255 / (width - 1)
                                  : kind == 1 ? y * 255 / (height - 1)
                                              : (x + y) * 255 / (width + height - 2);
      texel[0] = static_cast<std::uint8_t>(along);
      texel[1] = static_cast<std::uint8_t>(255 - along);
      texel[2] = static_cast<std::uint8_t>((along * 7) & 255);
      texel[3] = 255;
    }
  }
  return pixels;
}

std::vector<std::uint8_t> Flat(std::uint32_t width, std::uint32_t height, std::uint8_t level) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, level);
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
  return pixels;
}

std::vector<Picture> Pictures() {
  const SamplerChoice linearClamp{GL_LINEAR, GL_CLAMP_TO_EDGE};
  const SamplerChoice nearestClamp{GL_NEAREST, GL_CLAMP_TO_EDGE};
  const SamplerChoice linearRepeat{GL_LINEAR, GL_REPEAT};
  const SamplerChoice nearestMirror{GL_NEAREST, GL_MIRRORED_REPEAT};
  std::vector<Picture> pictures;
  pictures.push_back({"noise 64x64", 64, 64, 64, 64, NoisePixels(64, 64, 1), linearClamp});
  pictures.push_back({"noise 64x64 nearest", 64, 64, 64, 64, NoisePixels(64, 64, 2), nearestClamp});
  pictures.push_back({"noise 97x61 repeat", 97, 61, 97, 61, NoisePixels(97, 61, 3), linearRepeat});
  pictures.push_back(
      {"noise 100x70 in 128x128", 100, 70, 128, 128, NoisePixels(100, 70, 4), linearClamp});
  pictures.push_back(
      {"noise 33x47 in 64x64 mirror", 33, 47, 64, 64, NoisePixels(33, 47, 5), nearestMirror});
  pictures.push_back(
      {"horizontal gradient 131x37", 131, 37, 131, 37, Gradient(131, 37, 0), linearClamp});
  pictures.push_back(
      {"vertical gradient 45x90", 45, 90, 45, 90, Gradient(45, 90, 1), nearestClamp});
  pictures.push_back({"diagonal gradient 200x120 in 256x128", 200, 120, 256, 128,
                      Gradient(200, 120, 2), linearClamp});
  pictures.push_back({"black 40x40", 40, 40, 40, 40, Flat(40, 40, 0), linearClamp});
  pictures.push_back({"white 40x40", 40, 40, 40, 40, Flat(40, 40, 255), linearClamp});
  pictures.push_back({"grey 140 40x40", 40, 40, 40, 40, Flat(40, 40, 140), linearClamp});
  pictures.push_back({"noise 1x1", 1, 1, 1, 1, NoisePixels(1, 1, 6), linearClamp});
  pictures.push_back({"noise 1280x720 in 2048x1024", 1280, 720, 2048, 1024,
                      NoisePixels(1280, 720, 8), linearClamp});
  pictures.push_back({"noise 1000x600 in 1023x777", 1000, 600, 1023, 777,
                      NoisePixels(1000, 600, 10), linearClamp});
  return pictures;
}

// Uniform in [0, 1), from a fixed sequence.
float RandomUnit() {
  static std::uint32_t state = 12345u;
  state = state * 1664525u + 1013904223u;
  return static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
}

// Many values of one control at a time, for a small picture: the per-frame values that the
// tuned shader derives once must come out bit for bit as the per-pixel formulas give them.
std::vector<EffectUniforms> Sweeps() {
  constexpr int kValuesPerControl = 60;
  std::vector<EffectUniforms> settings;
  for (int i = 0; i < kValuesPerControl; ++i) {
    EffectUniforms setting;
    setting.charSize = RandomUnit() * 1.1f - 0.05f;
    settings.push_back(setting);
    setting = EffectUniforms{};
    setting.contrast = RandomUnit() * 1.1f - 0.05f;
    settings.push_back(setting);
    setting = EffectUniforms{};
    setting.edgeBoost = RandomUnit() * 2.0f;
    settings.push_back(setting);
    setting = EffectUniforms{};
    setting.blend = RandomUnit() * 1.1f - 0.05f;
    settings.push_back(setting);
    setting = EffectUniforms{};
    setting.hueShift = RandomUnit() * 2.0f - 0.5f;
    setting.colorMode = i % 4;
    settings.push_back(setting);
  }
  return settings;
}

std::vector<EffectUniforms> Settings() {
  std::vector<EffectUniforms> settings;
  const EffectUniforms defaults;
  settings.push_back(defaults);
  auto vary = [&](auto member, std::initializer_list<float> values) {
    for (float value : values) {
      EffectUniforms setting = defaults;
      setting.*member = value;
      settings.push_back(setting);
    }
  };
  vary(&EffectUniforms::charSize, {0.0f, 0.01f, 0.5f, 0.77f, 1.0f, 5.0f, -0.1f});
  vary(&EffectUniforms::edgeBoost, {0.0f, 1.0f, 0.123f, 3.0f});
  vary(&EffectUniforms::invert, {1.0f, 0.5f, 0.5000001f});
  vary(&EffectUniforms::blend, {0.0f, 0.5f, 0.731f, 2.0f, -1.0f});
  vary(&EffectUniforms::contrast, {0.0f, 1.0f, 0.61f, -0.5f});
  vary(&EffectUniforms::hueShift,
       {0.001f, 0.0010001f, 0.25f, 0.5f, 0.8123f, 1.0f, 3.7f, -0.3f, 1.0e-7f});
  for (std::int32_t mode : {1, 2, 3, -1, 7}) {
    for (float hue : {0.0f, 0.37f}) {
      EffectUniforms setting = defaults;
      setting.colorMode = mode;
      setting.hueShift = hue;
      settings.push_back(setting);
    }
  }
  // Random mixes of every control, in and beyond their ranges.
  auto next = RandomUnit;
  for (int i = 0; i < 24; ++i) {
    EffectUniforms setting;
    setting.charSize = next() * 1.2f - 0.1f;
    setting.colorMode = static_cast<std::int32_t>(next() * 5.0f) - 1;
    setting.edgeBoost = next() * 1.5f;
    setting.invert = next();
    setting.blend = next() * 1.2f - 0.1f;
    setting.contrast = next();
    setting.hueShift = next() < 0.3f ? 0.0f : next() * 1.5f;
    settings.push_back(setting);
  }
  return settings;
}

std::string Describe(const EffectUniforms& u) {
  char text[200];
  std::snprintf(text, sizeof text,
                "CharSize %g ColorMode %d EdgeBoost %g Invert %g Blend %g Contrast %g HueShift %g",
                u.charSize, u.colorMode, u.edgeBoost, u.invert, u.blend, u.contrast, u.hueShift);
  return text;
}

// Index of the first differing float, or -1.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
  }
  return -1;
}

bool ReportDifference(const char* what, const Picture& picture, const EffectUniforms& setting,
                      const std::vector<float>& expected, const std::vector<float>& actual) {
  const long at = FirstDifference(expected, actual);
  if (at < 0) return true;
  const long pixel = at / 4;
  std::printf("DIFFERS (%s): %s, %s: pixel (%ld, %ld) channel %ld: %.9g expected, %.9g\n", what,
              picture.name, Describe(setting).c_str(), pixel % picture.hardwareWidth,
              pixel / picture.hardwareWidth, at % 4, expected[static_cast<std::size_t>(at)],
              actual[static_cast<std::size_t>(at)]);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  BenchGL gl;
  std::string error;
  if (!gl.Start(&error)) {
    std::fprintf(stderr, "shader_exactness: no GL context: %s\n", error.c_str());
    return 1;
  }
  std::string vertexSource = vexascii::kVertexShaderSource;
  std::string fragmentSource = vexascii::kFragmentShaderSource;
  if (argc > 1 && !ReadShaderPair(argv[1], &vertexSource, &fragmentSource)) {
    std::fprintf(stderr, "shader_exactness: cannot read %s\n", argv[1]);
    return 1;
  }
  DirectProgram reference, candidate;
  if (!reference.Build(kReferenceVertexSource, kReferenceFragmentSource, &error)) {
    std::fprintf(stderr, "shader_exactness: the reference does not build: %s\n", error.c_str());
    return 1;
  }
  if (!candidate.Build(vertexSource.c_str(), fragmentSource.c_str(), &error)) {
    std::fprintf(stderr, "shader_exactness: the candidate does not build: %s\n", error.c_str());
    return 1;
  }
  Module module;
  const bool withModule = argc <= 1;
  if (withModule && !module.Load(BuiltModulePath(), &error)) {
    std::fprintf(stderr, "shader_exactness: cannot load the module: %s\n", error.c_str());
    return 1;
  }

  const std::vector<EffectUniforms> settings = Settings();
  int compared = 0, differing = 0;
  {
    const Picture picture{"noise 53x41 in 64x48",
                          53,
                          41,
                          64,
                          48,
                          NoisePixels(53, 41, 12),
                          SamplerChoice{GL_LINEAR, GL_CLAMP_TO_EDGE}};
    Surface surface = MakeSurface(picture.width, picture.height, picture.hardwareWidth,
                                  picture.hardwareHeight, picture.pixels, true, picture.sampler);
    for (const EffectUniforms& setting : Sweeps()) {
      reference.Draw(surface, setting);
      const std::vector<float> expected = ReadTarget(surface);
      candidate.Draw(surface, setting);
      ++compared;
      if (!ReportDifference("shader", picture, setting, expected, ReadTarget(surface))) ++differing;
    }
    DeleteSurface(&surface);
  }
  for (const Picture& picture : Pictures()) {
    Surface surface = MakeSurface(picture.width, picture.height, picture.hardwareWidth,
                                  picture.hardwareHeight, picture.pixels, true, picture.sampler);
    for (const EffectUniforms& setting : settings) {
      reference.Draw(surface, setting);
      const std::vector<float> expected = ReadTarget(surface);
      candidate.Draw(surface, setting);
      ++compared;
      if (!ReportDifference("shader", picture, setting, expected, ReadTarget(surface))) ++differing;
    }
    if (withModule) {
      // The module sends Color Mode as the parameter + 0.5, truncated; whole numbers go through.
      void* instance = module.CreateInstance(picture.hardwareWidth, picture.hardwareHeight);
      if (!instance) {
        std::fprintf(stderr, "shader_exactness: CreateInstance failed\n");
        return 1;
      }
      const TextureInfo* textures[] = {&surface.input};
      const FrameInput frame{1, 0, textures, surface.framebuffer};
      for (std::size_t i = 0; i < settings.size(); i += 7) {
        const EffectUniforms& setting = settings[i];
        if (setting.colorMode < 0) continue;
        module.SetParameter(instance, kCharSize, setting.charSize);
        module.SetParameter(instance, kColorMode, static_cast<float>(setting.colorMode));
        module.SetParameter(instance, kEdgeBoost, setting.edgeBoost);
        module.SetParameter(instance, kInvert, setting.invert);
        module.SetParameter(instance, kBlend, setting.blend);
        module.SetParameter(instance, kContrast, setting.contrast);
        module.SetParameter(instance, kHueShift, setting.hueShift);
        reference.Draw(surface, setting);
        const std::vector<float> expected = ReadTarget(surface);
        module.DrawFrame(instance, &frame);
        ++compared;
        if (!ReportDifference("module", picture, setting, expected, ReadTarget(surface))) {
          ++differing;
        }
      }
      module.DestroyInstance(instance);
    }
    DeleteSurface(&surface);
  }
  std::printf("shader_exactness: %d renders compared, %d differ\n", compared, differing);
  return differing == 0 && glGetError() == GL_NO_ERROR ? 0 : 1;
}
