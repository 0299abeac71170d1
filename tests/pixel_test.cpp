// The effect's frames end to end, as a host drives them through plugMain: pictures go in as
// NEAREST/CLAMP_TO_EDGE RGBA8 textures, come out of a floating-point framebuffer, and are
// compared pixel by pixel with the CPU model. Also the GL state a frame leaves behind, the
// frames it refuses, and GL shutdown run twice.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "effect/VexASCII.h"
#include "tests/model/AsciiModel.h"
#include "tests/support/GLProbe.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"

using namespace testhost;

namespace {

// GPU and model may differ by float rounding in the colour arithmetic (sin and cos included).
constexpr float kColorTolerance = 2e-4f;
// What the framebuffer is cleared to, to see what a frame did not touch.
constexpr float kUntouched[4] = {0.25f, 0.5f, 0.75f, 0.125f};
// The part of an input texture outside its picture.
constexpr std::uint8_t kOutsidePicture[4] = {255, 0, 255, 255};

struct Rgba8 {
  std::uint8_t c[4];
};
using Pattern = std::function<Rgba8(std::uint32_t x, std::uint32_t y)>;

Pattern Uniform(std::uint8_t value) {
  return [value](std::uint32_t, std::uint32_t) { return Rgba8{{value, value, value, 255}}; };
}
// Smooth colour ramps across and up the picture: neighbouring texels always differ.
Pattern Gradient() {
  return [](std::uint32_t x, std::uint32_t y) {
    return Rgba8{{static_cast<std::uint8_t>(x * 4 % 256), static_cast<std::uint8_t>(y * 4 % 256),
                  static_cast<std::uint8_t>((x * 7 + y * 3) % 256), 255}};
  };
}
// Coloured blocks of 8 x 8 texels with many brightness levels.
Pattern Blocks() {
  return [](std::uint32_t x, std::uint32_t y) {
    const std::uint32_t bx = x / 8, by = y / 8;
    return Rgba8{{static_cast<std::uint8_t>((bx * 53 + by * 31) % 256),
                  static_cast<std::uint8_t>((bx * 97 + by * 71 + 40) % 256),
                  static_cast<std::uint8_t>((bx * 29 + by * 113 + 90) % 256), 255}};
  };
}
// Vertical stripes, black and grey 0.5, 16 texels wide: left and right neighbours of a cell
// differ, up and down do not.
Pattern Stripes() {
  return [](std::uint32_t x, std::uint32_t) {
    const std::uint8_t v = (x / 16) % 2 ? 128 : 0;
    return Rgba8{{v, v, v, 255}};
  };
}

struct Settings {
  float charSize = 0.3f;
  float colorMode = 0.0f;
  float edgeBoost = 0.3f;
  float invert = 0.0f;
  float blend = 1.0f;
  float contrast = 0.3f;
  float hueShift = 0.0f;
  float speed = 0.5f;
};

// The defaults with some fields changed.
Settings Set(std::initializer_list<std::pair<float Settings::*, float>> changes) {
  Settings settings;
  for (const auto& [field, value] : changes) settings.*field = value;
  return settings;
}

struct Frame {
  std::uint32_t width = 0, height = 0;                  // framebuffer
  std::uint32_t viewportWidth = 0, viewportHeight = 0;  // the input's allocated size
  std::vector<float> pixels;                            // RGBA, row 0 at the bottom
  const float* At(std::uint32_t x, std::uint32_t y) const {
    return &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
  }
};

struct Input {
  std::uint32_t width, height, hardwareWidth, hardwareHeight;
  Pattern pattern;
};

// The texture's whole allocated area as the GPU holds it: the pattern inside the picture,
// kOutsidePicture beyond it.
std::vector<std::uint8_t> TextureBytes(const Input& input) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(input.hardwareWidth) *
                                  input.hardwareHeight * 4);
  for (std::uint32_t y = 0; y < input.hardwareHeight; ++y) {
    for (std::uint32_t x = 0; x < input.hardwareWidth; ++x) {
      const bool inside = x < input.width && y < input.height;
      const Rgba8 texel = inside ? input.pattern(x, y)
                                 : Rgba8{{kOutsidePicture[0], kOutsidePicture[1],
                                          kOutsidePicture[2], kOutsidePicture[3]}};
      std::memcpy(&bytes[(static_cast<std::size_t>(y) * input.hardwareWidth + x) * 4], texel.c, 4);
    }
  }
  return bytes;
}

asciimodel::Picture ModelPicture(const Input& input) {
  asciimodel::Picture picture;
  picture.width = input.width;
  picture.height = input.height;
  picture.hardwareWidth = input.hardwareWidth;
  picture.hardwareHeight = input.hardwareHeight;
  for (std::uint8_t byte : TextureBytes(input)) picture.rgba.push_back(byte / 255.0f);
  return picture;
}

class EffectFrames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    if (!EnsureGLContext(&error)) {
      contextError = new std::string(error);
      return;
    }
    module = new LoadedModule(VexModulePath());
    if (module->ok()) instance = module->CreateInstance(64, 64);
  }
  static void TearDownTestSuite() {
    if (instance) module->Call(FunctionCode::DestroyInstance, 0, instance);
    instance = nullptr;
    if (module && module->ok()) module->Call(FunctionCode::ReleaseModule);
    delete module;
    module = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(contextError, nullptr) << "no OpenGL 4.1 context: " << *contextError;
    ASSERT_TRUE(module->ok()) << module->error();
    ASSERT_NE(instance, nullptr) << "CreateInstance failed";
    while (glGetError() != GL_NO_ERROR) {
    }
  }

  static void Write(std::uint32_t id, float value) {
    ParameterValueInput record{};
    record.id = id;
    record.value.floatValue = value;
    ASSERT_EQ(LoadedModule::Low(module->Call(FunctionCode::WriteParameter, &record, instance)),
              kSuccess);
  }
  static void Apply(const Settings& s) {
    Write(VexASCII::kCharSize, s.charSize);
    Write(VexASCII::kColorMode, s.colorMode);
    Write(VexASCII::kEdgeBoost, s.edgeBoost);
    Write(VexASCII::kInvert, s.invert);
    Write(VexASCII::kBlend, s.blend);
    Write(VexASCII::kContrast, s.contrast);
    Write(VexASCII::kHueShift, s.hueShift);
    Write(VexASCII::kSpeed, s.speed);
  }

  // One DrawFrame of `input` into a float framebuffer a margin larger than the texture.
  static Frame Draw(const Input& input, const Settings& settings, int frames = 1) {
    Apply(settings);
    HostTexture texture =
        MakeInputTexture(input.width, input.height, input.hardwareWidth, input.hardwareHeight, {});
    const std::vector<std::uint8_t> bytes = TextureBytes(input);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(input.hardwareWidth),
                    static_cast<GLsizei>(input.hardwareHeight), GL_RGBA, GL_UNSIGNED_BYTE,
                    bytes.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    HostFramebuffer target =
        MakeFramebuffer(input.hardwareWidth + 16, input.hardwareHeight + 8, true);
    glViewport(0, 0, static_cast<GLsizei>(target.width), static_cast<GLsizei>(target.height));
    glClearColor(kUntouched[0], kUntouched[1], kUntouched[2], kUntouched[3]);
    glClear(GL_COLOR_BUFFER_BIT);

    const TextureInfo* textures[] = {&texture.info};
    FrameInput frame{1, 0, textures, target.framebuffer};
    for (int i = 0; i < frames; ++i) {
      EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance)),
                kSuccess);
    }
    Frame result;
    result.width = target.width;
    result.height = target.height;
    result.viewportWidth = input.hardwareWidth;
    result.viewportHeight = input.hardwareHeight;
    result.pixels = ReadPixels(target);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    DeleteFramebuffer(&target);
    DeleteTexture(&texture);
    return result;
  }

  static std::string* contextError;
  static LoadedModule* module;
  static void* instance;
};

std::string* EffectFrames::contextError = nullptr;
LoadedModule* EffectFrames::module = nullptr;
void* EffectFrames::instance = nullptr;

bool Near(const float* actual, const float* expected, std::size_t channels) {
  for (std::size_t c = 0; c < channels; ++c) {
    const float tolerance = kColorTolerance * std::max(1.0f, std::fabs(expected[c]));
    if (!(std::fabs(actual[c] - expected[c]) <= tolerance)) return false;
  }
  return true;
}

// --- Frames against the model ------------------------------------------------------------------

struct PixelCase {
  const char* name;
  Input input;
  Settings settings;
  std::int32_t colorModeSent;  // what the shader must receive for settings.colorMode
  // Further facts about this picture stated outright, beside the model comparison.
  std::function<void(const Frame&, const asciimodel::Picture&, const asciimodel::Uniforms&)> facts;
};

// Pixels where the GPU's float lands on the other side of a cell, glyph-pixel, texel or level
// boundary than the model's; every other pixel must match.
constexpr int kMaxBoundaryMismatches = 8;

std::ostream& operator<<(std::ostream& out, const PixelCase& c) {
  return out << c.name;
}

class PixelCases : public EffectFrames, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(PixelCases, FrameMatchesTheModel) {
  const PixelCase& c = GetParam();
  const Frame frame = Draw(c.input, c.settings);
  const asciimodel::Picture picture = ModelPicture(c.input);
  asciimodel::Uniforms uniforms;
  uniforms.charSize = c.settings.charSize;
  uniforms.colorMode = c.colorModeSent;
  uniforms.edgeBoost = c.settings.edgeBoost;
  uniforms.invert = c.settings.invert;
  uniforms.blend = c.settings.blend;
  uniforms.contrast = c.settings.contrast;
  uniforms.hueShift = c.settings.hueShift;

  int mismatches = 0, nearBoundary = 0, boundaryMismatches = 0, untouchedMismatches = 0;
  std::string firstMismatch;
  for (std::uint32_t y = 0; y < frame.height; ++y) {
    for (std::uint32_t x = 0; x < frame.width; ++x) {
      const float* actual = frame.At(x, y);
      if (x >= frame.viewportWidth || y >= frame.viewportHeight) {
        if (!Near(actual, kUntouched, 4)) ++untouchedMismatches;
        continue;
      }
      const asciimodel::Fragment f = asciimodel::Shade(picture, uniforms, x, y);
      const float expected[4] = {f.rgb[0], f.rgb[1], f.rgb[2], 1.0f};
      if (f.nearBoundary) ++nearBoundary;
      if (Near(actual, expected, 4)) continue;
      if (f.nearBoundary) {
        ++boundaryMismatches;
        continue;
      }
      if (mismatches++ == 0) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "first at (%u, %u): got (%g, %g, %g, %g), model (%g, %g, %g, 1) level %d "
                      "glyph pixel (%d, %d) %s",
                      x, y, actual[0], actual[1], actual[2], actual[3], expected[0], expected[1],
                      expected[2], f.level, f.column, f.row, f.lit ? "lit" : "unlit");
        firstMismatch = text;
      }
    }
  }
  std::printf("[ boundary ] %s: %d of %u pixels near a float boundary, %d of them differ\n", c.name,
              nearBoundary, frame.viewportWidth * frame.viewportHeight, boundaryMismatches);
  RecordProperty("boundary_mismatches", boundaryMismatches);
  EXPECT_EQ(mismatches, 0) << firstMismatch;
  EXPECT_LE(boundaryMismatches, kMaxBoundaryMismatches);
  EXPECT_EQ(untouchedMismatches, 0) << "drawn outside the input's allocated size";
  if (c.facts) c.facts(frame, picture, uniforms);
}

// Every pixel of the viewport has exactly this colour.
void ExpectEveryPixel(const Frame& frame, const float (&rgb)[3]) {
  const float expected[4] = {rgb[0], rgb[1], rgb[2], 1.0f};
  int differing = 0;
  for (std::uint32_t y = 0; y < frame.viewportHeight; ++y) {
    for (std::uint32_t x = 0; x < frame.viewportWidth; ++x) {
      if (!Near(frame.At(x, y), expected, 4)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
}

constexpr float kGreenBackground[3] = {0.2f * 0.03f, 1.0f * 0.03f, 0.1f * 0.03f};
constexpr float kGreen[3] = {0.2f, 1.0f, 0.1f};

// Lit pixels (green channel above the background's) of row y in the first cell, x 0 to 31.
std::string LitColumns(const Frame& frame, std::uint32_t y) {
  std::string row;
  for (std::uint32_t x = 0; x < 32; ++x) row += frame.At(x, y)[1] > 0.05f ? 'X' : '.';
  return row;
}

// One cell of 32 x 44.8 pixels: glyph pixels are 6.4 pixels square, so glyph row 6 covers the
// pixel rows 38 to 44 of the first cell, and glyph columns start at pixels 0, 7, 13, 20, 26.
const Settings kBigCellsPlainBrightness =
    Set({{&Settings::charSize, 1.0f}, {&Settings::contrast, 0.0f}, {&Settings::edgeBoost, 0.0f}});

const PixelCase kPixelCases[] = {
    {"BlackGivesSpaceEverywhere",
     {64, 64, 64, 64, Uniform(0)},
     {},
     0,
     [](const Frame& frame, auto&, auto&) { ExpectEveryPixel(frame, kGreenBackground); }},
    {"WhiteGivesAtInGreen",
     {64, 64, 64, 64, Uniform(255)},
     {},
     0,
     [](const Frame& frame, auto&, auto&) {
       int lit = 0, unlit = 0;
       const float green[4] = {kGreen[0], kGreen[1], kGreen[2], 1.0f};
       const float background[4] = {kGreenBackground[0], kGreenBackground[1], kGreenBackground[2],
                                    1.0f};
       for (std::uint32_t y = 0; y < 64; ++y) {
         for (std::uint32_t x = 0; x < 64; ++x) {
           if (Near(frame.At(x, y), green, 4))
             ++lit;
           else if (Near(frame.At(x, y), background, 4))
             ++unlit;
         }
       }
       EXPECT_GT(lit, 0);
       EXPECT_EQ(lit + unlit, 64 * 64);
     }},
    {"Grey055GivesPlus",
     {64, 64, 64, 64, Uniform(140)},
     {},
     0,
     [](const Frame&, const asciimodel::Picture& picture, const asciimodel::Uniforms& uniforms) {
       for (std::uint32_t y = 0; y < 64; y += 5) {
         for (std::uint32_t x = 0; x < 64; x += 5) {
           EXPECT_EQ(asciimodel::Shade(picture, uniforms, x, y).level, 5);
         }
       }
     }},
    {"InvertedWhiteLightsNothing",
     {64, 64, 64, 64, Uniform(255)},
     Set({{&Settings::invert, 1.0f}}),
     0,
     [](const Frame& frame, auto&, auto&) { ExpectEveryPixel(frame, kGreenBackground); }},
    {"BlendZeroIsTheInput",
     {64, 64, 64, 64, Gradient()},
     Set({{&Settings::blend, 0.0f}}),
     0,
     [](const Frame& frame, const asciimodel::Picture& picture, auto&) {
       int differing = 0;
       for (std::uint32_t y = 0; y < 64; ++y) {
         for (std::uint32_t x = 0; x < 64; ++x) {
           const float* texel = &picture.rgba[(y * 64 + x) * 4];
           const float expected[4] = {texel[0], texel[1], texel[2], 1.0f};
           if (!Near(frame.At(x, y), expected, 4)) ++differing;
         }
       }
       EXPECT_EQ(differing, 0);
     }},
    {"HalfBlendOfGradient",
     {64, 64, 64, 64, Gradient()},
     Set({{&Settings::blend, 0.5f}}),
     0,
     nullptr},
    {"ColorModeGreen", {64, 64, 64, 64, Blocks()}, {}, 0, nullptr},
    {"ColorModeSourceAboveOne",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::colorMode, 1.0f}, {&Settings::contrast, 1.0f}}),
     1,
     [](const Frame& frame, auto&, auto&) {
       float brightest = 0.0f;
       for (std::uint32_t y = 0; y < 64; ++y) {
         for (std::uint32_t x = 0; x < 64; ++x) {
           for (int c = 0; c < 3; ++c) brightest = std::max(brightest, frame.At(x, y)[c]);
         }
       }
       EXPECT_GT(brightest, 1.0f) << "channels above 1.0 were clamped";
     }},
    {"HueShiftAtThresholdUnrotated",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::hueShift, 0.001f}}),
     0,
     nullptr},
    {"HueShiftJustAboveThresholdRotates",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::hueShift, 0.0011f}, {&Settings::colorMode, 3.0f}}),
     3,
     nullptr},
    {"HueShiftQuarterTurnSourceColour",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::hueShift, 0.25f}, {&Settings::colorMode, 1.0f}}),
     1,
     nullptr},
    {"HueShiftOnGreen",
     {64, 64, 64, 64, Uniform(255)},
     Set({{&Settings::hueShift, 0.6f}}),
     0,
     nullptr},
    {"CharSizeZeroSmallCells",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::charSize, 0.0f}}),
     0,
     nullptr},
    {"CharSizeOneBigCells",
     {64, 64, 64, 64, Blocks()},
     Set({{&Settings::charSize, 1.0f}}),
     0,
     nullptr},
    {"PictureSmallerThanTexture", {40, 30, 64, 32, Blocks()}, {}, 0, nullptr},
    {"PictureSmallerThanTextureSmallCells",
     {40, 30, 64, 32, Gradient()},
     Set({{&Settings::charSize, 0.0f}, {&Settings::colorMode, 1.0f}}),
     1,
     nullptr},
    {"PictureSmallerThanTextureBlendZero",
     {40, 30, 64, 32, Gradient()},
     Set({{&Settings::blend, 0.0f}}),
     0,
     nullptr},
    {"EdgeBoostOffOnStripes",
     {64, 64, 64, 64, Stripes()},
     Set({{&Settings::edgeBoost, 0.0f}}),
     0,
     nullptr},
    {"EdgeBoostDefaultOnStripes", {64, 64, 64, 64, Stripes()}, {}, 0, nullptr},
    {"EdgeBoostFullOnStripes",
     {64, 64, 64, 64, Stripes()},
     Set({{&Settings::edgeBoost, 1.0f}, {&Settings::contrast, 0.0f}}),
     0,
     nullptr},
    {"EdgeBoostOnGradient",
     {64, 64, 64, 64, Gradient()},
     Set({{&Settings::edgeBoost, 0.7f}, {&Settings::charSize, 0.6f}}),
     0,
     nullptr},
    {"GlyphLevel1LightsColumn2OfRow6",
     {64, 64, 64, 64, Uniform(38)},
     kBigCellsPlainBrightness,
     0,
     [](const Frame& frame, auto&, auto&) {
       for (std::uint32_t y = 0; y < 45; ++y) {
         SCOPED_TRACE(y);
         EXPECT_EQ(LitColumns(frame, y),
                   y >= 38 ? ".............XXXXXX............." : std::string(32, '.'));
       }
     }},
    {"GlyphLevel8Row6",
     {64, 64, 64, 64, Uniform(217)},
     kBigCellsPlainBrightness,
     0,
     [](const Frame& frame, auto&, auto&) {
       for (std::uint32_t y = 38; y < 45; ++y) {
         EXPECT_EQ(LitColumns(frame, y), "XXXXXXXXXXXXX.............XXXXXX");
       }
     }},
    {"GlyphLevel9Row6",
     {64, 64, 64, 64, Uniform(255)},
     kBigCellsPlainBrightness,
     0,
     [](const Frame& frame, auto&, auto&) {
       for (std::uint32_t y = 38; y < 45; ++y) {
         EXPECT_EQ(LitColumns(frame, y), "......XXXXXXXXXXXXXXXXXXXX......");
       }
     }},
};

// Colour modes on a picture of many brightness levels: the parameter value, the integer the
// shader must get (value + 0.5 truncated toward zero), and so the colour it must draw.
std::vector<PixelCase> PixelCasesWithColorModes() {
  std::vector<PixelCase> cases(std::begin(kPixelCases), std::end(kPixelCases));
  struct ModeCase {
    const char* name;
    float value;
    std::int32_t sent;
  };
  const ModeCase modes[] = {
      {"ColorModeWhite", 2.0f, 2},
      {"ColorModePink", 3.0f, 3},
      {"ColorModeMinus1_6IsPink", -1.6f, -1},
      {"ColorMode2_5IsPink", 2.5f, 3},
      {"ColorMode1_4IsSource", 1.4f, 1},
      {"ColorModeMinus0_6IsGreen", -0.6f, 0},
      {"ColorMode7IsPink", 7.0f, 7},
  };
  for (const ModeCase& m : modes) {
    cases.push_back({m.name,
                     {64, 64, 64, 64, Blocks()},
                     Set({{&Settings::colorMode, m.value}}),
                     m.sent,
                     nullptr});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Pictures, PixelCases, ::testing::ValuesIn(PixelCasesWithColorModes()),
                         [](const auto& info) { return std::string(info.param.name); });

// HueShift 0.001 is not above the threshold: the frame equals the unrotated one exactly.
TEST_F(EffectFrames, HueShiftAtThresholdEqualsNoShift) {
  const Input input{64, 64, 64, 64, Blocks()};
  Settings rotated;
  rotated.colorMode = 3.0f;
  rotated.hueShift = 0.001f;
  Settings plain = rotated;
  plain.hueShift = 0.0f;
  EXPECT_EQ(Draw(input, rotated).pixels, Draw(input, plain).pixels);
  rotated.hueShift = 0.0011f;
  EXPECT_NE(Draw(input, rotated).pixels, Draw(input, plain).pixels);
}

// Speed is stored and reported, but neither its value nor the number of frames drawn changes
// a pixel.
TEST_F(EffectFrames, SpeedChangesNothingInTheOutput) {
  const Input input{64, 64, 64, 64, Gradient()};
  Settings settings;
  settings.colorMode = 1.0f;
  settings.hueShift = 0.3f;
  const std::vector<float> reference = Draw(input, settings).pixels;
  for (float speed : {0.0f, 1.0f, 0.37f}) {
    settings.speed = speed;
    EXPECT_EQ(Draw(input, settings, 5).pixels, reference) << "speed " << speed;
  }
}

// --- GL state around a frame -------------------------------------------------------------------

// Whatever the host had bound, a frame leaves program 0, unit 0 active with no 2D texture, no
// vertex array, the frame's framebuffer bound, and no GL error. The frame binds no buffer, so
// the host's array buffer stays bound.
TEST_F(EffectFrames, FrameLeavesDefaultsAndTheHostFramebufferBound) {
  HostTexture input = MakeInputTexture(32, 32, 32, 32, std::vector<std::uint8_t>(32 * 32 * 4, 90));
  HostFramebuffer target = MakeFramebuffer(32, 32, true);
  HostFramebuffer other = MakeFramebuffer(8, 8, false);

  GLuint hostArray = 0, hostBuffer = 0, hostTexture = 0;
  glGenVertexArrays(1, &hostArray);
  glGenBuffers(1, &hostBuffer);
  glGenTextures(1, &hostTexture);
  glBindFramebuffer(GL_FRAMEBUFFER, other.framebuffer);
  glBindVertexArray(hostArray);
  glBindBuffer(GL_ARRAY_BUFFER, hostBuffer);
  glActiveTexture(GL_TEXTURE0 + 5);
  glBindTexture(GL_TEXTURE_2D, hostTexture);

  const TextureInfo* textures[] = {&input.info};
  FrameInput frame{1, 0, textures, target.framebuffer};
  EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance)), kSuccess);

  EXPECT_EQ(IntegerState(GL_CURRENT_PROGRAM), 0);
  EXPECT_EQ(IntegerState(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
  EXPECT_EQ(IntegerState(GL_TEXTURE_BINDING_2D), 0);
  EXPECT_EQ(IntegerState(GL_VERTEX_ARRAY_BINDING), 0);
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(hostBuffer));
  EXPECT_EQ(IntegerState(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(target.framebuffer));
  EXPECT_EQ(IntegerState(GL_READ_FRAMEBUFFER_BINDING), static_cast<GLint>(target.framebuffer));
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 32);
  EXPECT_EQ(viewport[3], 32);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glActiveTexture(GL_TEXTURE0 + 5);
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  glDeleteTextures(1, &hostTexture);
  glDeleteBuffers(1, &hostBuffer);
  glDeleteVertexArrays(1, &hostArray);
  DeleteFramebuffer(&other);
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

// A frame without a usable first input fails with no GL work: the host's framebuffer binding
// stays, and the framebuffer named in the frame is not drawn into.
TEST_F(EffectFrames, FrameWithoutUsableInputIsRefusedUntouched) {
  HostTexture input = MakeInputTexture(16, 16, 16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 255));
  HostFramebuffer target = MakeFramebuffer(16, 16, true);
  HostFramebuffer other = MakeFramebuffer(8, 8, false);
  glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
  glViewport(0, 0, 16, 16);
  glClearColor(kUntouched[0], kUntouched[1], kUntouched[2], kUntouched[3]);
  glClear(GL_COLOR_BUFFER_BIT);

  const TextureInfo* withInput[] = {&input.info};
  const TextureInfo* nullEntry[] = {nullptr, &input.info};
  struct Case {
    const char* name;
    std::uint32_t count;
    const TextureInfo* const* textures;
  };
  const Case cases[] = {
      {"no input texture", 0, withInput},
      {"null first entry", 2, nullEntry},
      {"null texture list", 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    glBindFramebuffer(GL_FRAMEBUFFER, other.framebuffer);
    FrameInput frame{c.count, 0, c.textures, target.framebuffer};
    EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance)), kFailure);
    EXPECT_EQ(IntegerState(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(other.framebuffer));
    const std::vector<float> pixels = ReadPixels(target);
    int touched = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
      if (!Near(&pixels[i], kUntouched, 4)) ++touched;
    }
    EXPECT_EQ(touched, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  DeleteFramebuffer(&other);
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

// --- GL setup and shutdown of one instance -----------------------------------------------------

// ShutdownGL deletes the program and the quad; a second call, or one without InitGL, deletes
// nothing more and still answers success.
TEST(EffectLifecycle, ShutdownGLTwiceAnswersSuccessAndDeletesOnce) {
  std::string error;
  ASSERT_TRUE(EnsureGLContext(&error)) << "no OpenGL 4.1 context: " << error;
  const auto programs = LivePrograms();
  const auto shaders = LiveShaders();
  const auto buffers = LiveBuffers();
  const auto arrays = LiveVertexArrays();

  VexASCII effect;
  EXPECT_EQ(effect.ShutdownGL(), kSuccess);
  const ViewportRect viewport{0, 0, 64, 64};
  ASSERT_EQ(effect.InitGL(&viewport), kSuccess);
  EXPECT_EQ(Added(programs, LivePrograms()).size(), 1u);
  EXPECT_EQ(Added(shaders, LiveShaders()).size(), 2u);
  EXPECT_EQ(Added(buffers, LiveBuffers()).size(), 1u);
  EXPECT_EQ(Added(arrays, LiveVertexArrays()).size(), 1u);

  EXPECT_EQ(effect.ShutdownGL(), kSuccess);
  EXPECT_EQ(LivePrograms(), programs);
  EXPECT_EQ(LiveShaders(), shaders);
  EXPECT_EQ(LiveBuffers(), buffers);
  EXPECT_EQ(LiveVertexArrays(), arrays);
  EXPECT_EQ(effect.ShutdownGL(), kSuccess);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
