// A host's whole conversation with the built module, through nothing but the two exports: the
// identity records, the parameter catalogue, an instance in a 4.1 core context, frames whose
// every pixel is known, the log line, and the end of the instance. It uses only the portable
// test support, so the Windows build runs it against the DLL too.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "host/PluginInfo.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"

using namespace testhost;

namespace {

float FloatOf(HostWord word) {
  const std::uint32_t bits = LoadedModule::Low(word);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

const char* TextOf(HostWord word) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(word));
}

struct Rgba {
  float r, g, b, a;
};
constexpr Rgba kLitGreen{0.2f, 1.0f, 0.1f, 1.0f};
constexpr Rgba kDarkGreen{0.006f, 0.03f, 0.003f, 1.0f};
constexpr float kColorTolerance = 1e-3f;

bool Near(const float* pixel, const Rgba& expected) {
  return std::fabs(pixel[0] - expected.r) < kColorTolerance &&
         std::fabs(pixel[1] - expected.g) < kColorTolerance &&
         std::fabs(pixel[2] - expected.b) < kColorTolerance &&
         std::fabs(pixel[3] - expected.a) < kColorTolerance;
}

TEST(HostSession, IdentityRecordsReadAsRegistered) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();

  const auto* info = reinterpret_cast<const std::uint8_t*>(module.Call(FunctionCode::QueryInfo));
  ASSERT_NE(info, nullptr);
  const std::vector<std::uint8_t> expectedInfo = {
      2,   0,   0,   0,   1,   0,   0,   0,   'V', 'A', '0', '1', 'V', 'E', 'X', ' ',
      'A', 'S', 'C', 'I', 'I', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0};
  EXPECT_EQ(std::vector<std::uint8_t>(info, info + sizeof(PluginInfoPart)), expectedInfo);

  const auto* extended =
      reinterpret_cast<const PluginExtendedInfoPart*>(module.Call(FunctionCode::QueryExtendedInfo));
  ASSERT_NE(extended, nullptr);
  EXPECT_EQ(extended->pluginMajor, 2u);
  EXPECT_EQ(extended->pluginMinor, 1u);
  // The dash is U+2014, three bytes in UTF-8.
  EXPECT_STREQ(extended->description,
               "ASCII art effect \xE2\x80\x94 converts video to character grid");
  EXPECT_STREQ(extended->about, "Lanternfish Studios");
  EXPECT_EQ(extended->extendedDataSize, 0u);
  EXPECT_EQ(extended->extendedData, nullptr);
}

struct ParameterRow {
  std::uint32_t id;
  const char* name;
  std::uint32_t type;
  float defaultValue;
};
constexpr ParameterRow kParameters[] = {
    {0, "Char Size", ParamTypeUnitFloat, 0.3f}, {1, "Color Mode", ParamTypeOption, 0.0f},
    {2, "Edge Boost", ParamTypeUnitFloat, 0.3f}, {3, "Invert", ParamTypeBoolean, 0.0f},
    {4, "Blend", ParamTypeUnitFloat, 1.0f},      {5, "Contrast", ParamTypeUnitFloat, 0.3f},
    {6, "Hue Shift", ParamTypeUnitFloat, 0.0f},  {7, "Speed", ParamTypeUnitFloat, 0.5f},
};

struct ElementRow {
  const char* name;
  float value;
};
constexpr std::uint32_t kColorModeId = 1;
constexpr ElementRow kColorModes[] = {
    {"Green Terminal", 0.0f}, {"Source Color", 1.0f}, {"White", 2.0f}, {"Zirco Pink", 3.0f}};

TEST(HostSession, ParameterCatalogueAnswersWithoutAnInstance) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterCount)),
            std::size(kParameters));
  for (const ParameterRow& row : kParameters) {
    SCOPED_TRACE(row.name);
    const char* name = TextOf(module.Call(FunctionCode::QueryParameterName, row.id));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, row.name);
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterType, row.id)), row.type);
    EXPECT_EQ(FloatOf(module.Call(FunctionCode::QueryParameterDefault, row.id)), row.defaultValue);
  }
  ASSERT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryElementCount, kColorModeId)),
            std::size(kColorModes));
  for (std::uint32_t index = 0; index < std::size(kColorModes); ++index) {
    ElementRef element{kColorModeId, index};
    const char* name = TextOf(module.Call(FunctionCode::QueryElementName, &element));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, kColorModes[index].name);
    EXPECT_EQ(FloatOf(module.Call(FunctionCode::QueryElementValue, &element)),
              kColorModes[index].value);
  }
}

// Draws one frame of a uniform input of `level` (0 to 255) into a float framebuffer.
std::vector<float> DrawUniformFrame(const LoadedModule& module, void* instance,
                                    std::uint8_t level, std::uint32_t side) {
  HostTexture input =
      MakeInputTexture(side, side, side, side, std::vector<std::uint8_t>(side * side * 4, level));
  HostFramebuffer target = MakeFramebuffer(side, side, true);
  const TextureInfo* textures[] = {&input.info};
  FrameInput frame{1, 0, textures, target.framebuffer};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DrawFrame, &frame, instance)), kSuccess);
  std::vector<float> pixels = ReadPixels(target);
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
  return pixels;
}

TEST(HostSession, InstanceInCoreContextDrawsKnownPixels) {
  std::string error;
  ASSERT_TRUE(EnsureGLContext(&error)) << error;
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  ASSERT_GE(major * 10 + minor, 41);
  ASSERT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);

  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  LoadedModule::logLines().clear();
  module.CaptureLog();
  constexpr std::uint32_t kSide = 64;
  void* instance = module.CreateInstance(kSide, kSide);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(LoadedModule::logLines(), std::vector<std::string>{"VexASCII v1.0: InitGL OK"});
  for (const ParameterRow& row : kParameters) {
    EXPECT_EQ(FloatOf(module.Call(FunctionCode::ReadParameter, row.id, instance)),
              row.defaultValue)
        << row.name;
  }

  // White: every cell shows '@', lit pixels in full green, the rest in the dark background.
  const std::vector<float> white = DrawUniformFrame(module, instance, 255, kSide);
  int lit = 0, unlit = 0, other = 0;
  for (std::size_t i = 0; i < white.size(); i += 4) {
    if (Near(&white[i], kLitGreen)) {
      ++lit;
    } else if (Near(&white[i], kDarkGreen)) {
      ++unlit;
    } else {
      ++other;
    }
  }
  EXPECT_GT(lit, 0);
  EXPECT_GT(unlit, 0);
  EXPECT_EQ(other, 0);

  // Black: every cell is a space, so every pixel is the background.
  const std::vector<float> black = DrawUniformFrame(module, instance, 0, kSide);
  int notBackground = 0;
  for (std::size_t i = 0; i < black.size(); i += 4) {
    if (!Near(&black[i], kDarkGreen)) ++notBackground;
  }
  EXPECT_EQ(notBackground, 0);

  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.CaptureLog(false);
}

}  // namespace
