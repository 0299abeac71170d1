// The module under load and at its edges, driven as a host drives it: a thousand
// create-draw-destroy cycles, 64 live instances drawing in turn, input textures from one texel
// to the largest the context allows, and parameter values of NaN, infinity and +-1e9. In every
// case plugMain answers as the host contract says, the module's heap and GL objects do not
// grow, no GL error is left, and the bindings a frame touches end at their defaults even when
// the host had others in place.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "tests/support/GLState.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"
#include "tests/support/ModuleHeap.h"

using namespace testhost;

namespace {

constexpr std::uint32_t kParameterCount = 8;
constexpr std::uint32_t kColorModeId = 1;
constexpr std::uint32_t kCharSizeId = 0;
constexpr std::uint32_t kBlendId = 4;

std::uint32_t FloatBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// An RGBA8 picture whose every texel tells its own position: red and green carry the low bits
// of x and y, blue mixes in the high bits, so a texel fetched from the wrong place shows.
std::vector<std::uint8_t> PositionPicture(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  std::size_t at = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      pixels[at++] = static_cast<std::uint8_t>(x);
      pixels[at++] = static_cast<std::uint8_t>(y);
      pixels[at++] = static_cast<std::uint8_t>((x >> 8) * 29 + (y >> 8) * 71 + 5);
      pixels[at++] = 255;
    }
  }
  return pixels;
}

// A picture whose brightness runs from black to white across it, in changing colours, so that
// every glyph level and cell size shows.
std::vector<std::uint8_t> GradientPicture(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  std::size_t at = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      pixels[at++] = static_cast<std::uint8_t>(255 * x / std::max(1u, width - 1));
      pixels[at++] = static_cast<std::uint8_t>(255 * y / std::max(1u, height - 1));
      pixels[at++] = static_cast<std::uint8_t>((x * 37 + y * 11) % 256);
      pixels[at++] = 255;
    }
  }
  return pixels;
}

// A host that keeps its own program, vertex array, active unit and unit-0 texture bound while
// it calls the module; the module's frame must leave the GL defaults behind, not these.
class HostBindings {
 public:
  HostBindings() {
    const char* vertexSource = "#version 410 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    const char* fragmentSource =
        "#version 410 core\nout vec4 color;\nvoid main() { color = vec4(1.0); }\n";
    const GLuint vertex = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(vertex, 1, &vertexSource, nullptr);
    glCompileShader(vertex);
    const GLuint fragment = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(fragment, 1, &fragmentSource, nullptr);
    glCompileShader(fragment);
    program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);  // a name becomes an object when first bound
    glBindVertexArray(0);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  ~HostBindings() {
    glUseProgram(0);
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteProgram(program);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteTextures(1, &texture);
  }
  HostBindings(const HostBindings&) = delete;
  HostBindings& operator=(const HostBindings&) = delete;

  void Apply() const {
    glUseProgram(program);
    glBindVertexArray(vertexArray);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glActiveTexture(GL_TEXTURE3);
  }

 private:
  GLuint program = 0;
  GLuint vertexArray = 0;
  GLuint texture = 0;
};

// RGBA8 pixels of a rectangle of a framebuffer, first row at the bottom.
std::vector<std::uint8_t> ReadRGBA8(GLuint framebuffer, GLint x, GLint y, GLsizei width,
                                    GLsizei height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  return pixels;
}

// Live GL objects of the kinds the module makes (programs, shaders, buffers, vertex arrays),
// counted over every name up to a little beyond the next free ones.
struct LiveGLObjects {
  int programs = 0, shaders = 0, buffers = 0, vertexArrays = 0;
  bool operator==(const LiveGLObjects& other) const {
    return programs == other.programs && shaders == other.shaders && buffers == other.buffers &&
           vertexArrays == other.vertexArrays;
  }
};

LiveGLObjects CountLiveGLObjects() {
  constexpr GLuint kSlack = 64;
  const GLuint probeProgram = glCreateProgram();
  const GLuint probeShader = glCreateShader(GL_VERTEX_SHADER);
  GLuint probeBuffer = 0, probeArray = 0;
  glGenBuffers(1, &probeBuffer);
  glGenVertexArrays(1, &probeArray);
  const GLuint lastName = std::max({probeProgram, probeShader, probeBuffer, probeArray}) + kSlack;
  glDeleteProgram(probeProgram);
  glDeleteShader(probeShader);
  glDeleteBuffers(1, &probeBuffer);
  glDeleteVertexArrays(1, &probeArray);

  LiveGLObjects live;
  for (GLuint name = 1; name <= lastName; ++name) {
    live.programs += glIsProgram(name) ? 1 : 0;
    live.shaders += glIsShader(name) ? 1 : 0;
    live.buffers += glIsBuffer(name) ? 1 : 0;
    live.vertexArrays += glIsVertexArray(name) ? 1 : 0;
  }
  return live;
}

std::ostream& operator<<(std::ostream& out, const LiveGLObjects& live) {
  return out << live.programs << " programs, " << live.shaders << " shaders, " << live.buffers
             << " buffers, " << live.vertexArrays << " vertex arrays";
}

class Stress : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(EnsureGLContext(&error)) << error;
    module = std::make_unique<LoadedModule>(VexModulePath());
    ASSERT_TRUE(module->ok()) << module->error();
  }

  void TearDown() override {
    if (module && module->ok()) module->Call(FunctionCode::ReleaseModule);  // as a host unloads
    module.reset();
  }

  std::uint32_t Draw(void* instance, const TextureInfo& texture, GLuint framebuffer) const {
    const TextureInfo* textures[] = {&texture};
    FrameInput frame{1, 0, textures, framebuffer};
    return LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance));
  }

  std::uint32_t Write(void* instance, std::uint32_t id, float value) const {
    ParameterValueInput input{};
    input.id = id;
    input.value.floatValue = value;
    return LoadedModule::Low(module->Call(FunctionCode::WriteParameter, &input, instance));
  }

  float Default(std::uint32_t id) const {
    const std::uint32_t bits =
        LoadedModule::Low(module->Call(FunctionCode::QueryParameterDefault, id));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  std::unique_ptr<LoadedModule> module;
};

TEST_F(Stress, ThousandCreateDrawDestroyCyclesLeaveNoHeapAndNoGLObjects) {
  constexpr int kCycles = 1000;
  constexpr int kStateCheckEvery = 50;
  constexpr std::uint32_t kSize = 32;
  ModuleHeapWatch watch(module->Symbol("plugMain"));
  ASSERT_TRUE(watch.ok());
  HostTexture input = MakeInputTexture(kSize, kSize, kSize, kSize, PositionPicture(kSize, kSize));
  HostFramebuffer target = MakeFramebuffer(kSize, kSize, false);
  HostBindings host;

  // The first creation also makes the prototype and loads the GL entry points, once.
  void* warmUp = module->CreateInstance(kSize, kSize);
  ASSERT_NE(warmUp, nullptr);
  ASSERT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, warmUp)), kSuccess);
  const LiveGLObjects objectsBefore = CountLiveGLObjects();

  watch.Start();
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    void* instance = module->CreateInstance(kSize, kSize);
    ASSERT_NE(instance, nullptr) << "cycle " << cycle;
    host.Apply();
    ASSERT_EQ(Draw(instance, input.info, target.framebuffer), kSuccess) << "cycle " << cycle;
    ASSERT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess)
        << "cycle " << cycle;
    if (cycle % kStateCheckEvery == 0) {
      ASSERT_EQ(GLStateProblems(), "") << "cycle " << cycle;
    }
  }
  watch.Stop();

  const ModuleHeapCounts heap = watch.Counts();
  EXPECT_GE(heap.allocations, static_cast<std::uint64_t>(kCycles)) << "the watch saw no instance";
  EXPECT_EQ(heap.liveBlocks, 0u) << heap.liveBytes << " bytes of the module's heap left behind";
  EXPECT_EQ(heap.unattributed, 0u);
  EXPECT_EQ(CountLiveGLObjects(), objectsBefore);
  EXPECT_EQ(GLStateProblems(), "");
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

TEST_F(Stress, SixtyFourLiveInstancesEachDrawTheirOwnPicture) {
  constexpr int kInstances = 64;
  constexpr int kColorModes = 4;
  constexpr std::uint32_t kWidth = 64, kHeight = 48;
  // The character colours of modes 0, 2 and 3; every output pixel is a multiple of it
  // (lit: colour x brightness, unlit: colour x 0.03). Mode 1 takes the input's colours.
  constexpr float kModeColor[kColorModes][3] = {
      {0.2f, 1.0f, 0.1f}, {0, 0, 0}, {0.9f, 0.9f, 0.9f}, {1.0f, 0.0f, 0.5f}};
  HostTexture input =
      MakeInputTexture(kWidth, kHeight, kWidth, kHeight, GradientPicture(kWidth, kHeight));
  HostFramebuffer target = MakeFramebuffer(kWidth, kHeight, true);
  HostBindings host;

  std::vector<void*> instances;
  for (int i = 0; i < kInstances; ++i) {
    void* instance = module->CreateInstance(kWidth, kHeight);
    ASSERT_NE(instance, nullptr) << "instance " << i;
    instances.push_back(instance);
    // 4 colour modes x 16 cell sizes: 64 different settings.
    ASSERT_EQ(Write(instance, kColorModeId, static_cast<float>(i % kColorModes)), kSuccess);
    ASSERT_EQ(Write(instance, kCharSizeId, static_cast<float>(i / kColorModes) / 15.0f), kSuccess);
  }

  std::vector<std::vector<float>> pictures(kInstances);
  for (int i = 0; i < kInstances; ++i) {
    host.Apply();
    ASSERT_EQ(Draw(instances[i], input.info, target.framebuffer), kSuccess) << "instance " << i;
    ASSERT_EQ(GLStateProblems(), "") << "instance " << i;
    pictures[i] = ReadPixels(target);
  }
  // A second round in the opposite order gives every instance the same picture again: no
  // instance's settings leak into another's frame.
  for (int i = kInstances - 1; i >= 0; --i) {
    host.Apply();
    ASSERT_EQ(Draw(instances[i], input.info, target.framebuffer), kSuccess) << "instance " << i;
    EXPECT_TRUE(ReadPixels(target) == pictures[i]) << "instance " << i << " drew differently";
  }

  std::set<std::vector<float>> distinct(pictures.begin(), pictures.end());
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kInstances));
  for (int i = 0; i < kInstances; ++i) {
    const int mode = i % kColorModes;
    if (mode == 1) continue;
    const float* color = kModeColor[mode];
    int off = 0;
    for (std::size_t p = 0; p < pictures[i].size(); p += 4) {
      // Scale the mode colour to the pixel's largest channel and compare channel by channel.
      const float* pixel = &pictures[i][p];
      const float scale =
          std::max({pixel[0], pixel[1], pixel[2]}) / std::max({color[0], color[1], color[2]});
      for (int c = 0; c < 3; ++c) {
        if (std::fabs(pixel[c] - color[c] * scale) > 1e-4f) ++off;
      }
      if (pixel[3] != 1.0f) ++off;
    }
    EXPECT_EQ(off, 0) << "instance " << i << " (colour mode " << mode << ")";
  }

  for (void* instance : instances) {
    EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, instance)),
              kSuccess);
  }
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

// Pixel coordinates along one axis of `textureSize` pixels whose texel in a picture of
// `pictureSize` (stretched over the whole texture by MaxUV) is far from a texel border, with the
// texel each of them must show. The first and last pixel are always among them.
std::vector<std::pair<std::uint32_t, std::uint32_t>> SamplePoints(std::uint32_t pictureSize,
                                                                  std::uint32_t textureSize) {
  constexpr std::uint32_t kWanted = 9;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> points;
  for (std::uint32_t k = 0; k < kWanted; ++k) {
    const std::uint64_t start =
        textureSize == 1 ? 0 : static_cast<std::uint64_t>(k) * (textureSize - 1) / (kWanted - 1);
    for (std::uint64_t pixel = start; pixel < textureSize; ++pixel) {
      const double texel = (static_cast<double>(pixel) + 0.5) * pictureSize / textureSize;
      const double fraction = texel - std::floor(texel);
      if (fraction > 0.2 && fraction < 0.8) {
        points.emplace_back(static_cast<std::uint32_t>(pixel), static_cast<std::uint32_t>(texel));
        break;
      }
    }
  }
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

TEST_F(Stress, InputTexturesFromOneTexelToTheLargestAllowed) {
  // The module's viewport is the texture's size, so the largest texture it can draw whole is
  // also bounded by the largest viewport (both 16384 on llvmpipe).
  GLint maxTextureSize = 0;
  GLint maxViewport[2] = {0, 0};
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  const GLint largestSide = std::min({maxTextureSize, maxViewport[0], maxViewport[1]});
  ASSERT_GT(largestSide, 0);
  const auto largest = static_cast<std::uint32_t>(largestSide);
  // The largest texture on each axis is allowed at its full length when the other side is one
  // texel (64 KiB at 16384). A square of the largest size is 1 GiB of RGBA8 at 16384, plus as
  // much again for the framebuffer that shows it, which a shared test machine cannot spare; the
  // large square is therefore 4096 (64 MiB each), with an odd picture inside it.
  const std::uint32_t square = std::min<std::uint32_t>(4096, largest);
  struct SizeCase {
    const char* name;
    std::uint32_t width, height, hardwareWidth, hardwareHeight;
  };
  const SizeCase cases[] = {
      {"one texel", 1, 1, 1, 1},
      {"odd 333x177", 333, 177, 333, 177},
      {"16x9 picture in a 1024x1024 texture", 16, 9, 1024, 1024},
      {"widest: the largest size by one texel", largest, 1, largest, 1},
      {"tallest: one texel by the largest size", 1, largest, 1, largest},
      {"large square with an odd picture", square - 3, square - 5, square, square},
  };

  void* instance = module->CreateInstance(64, 64);
  ASSERT_NE(instance, nullptr);
  HostBindings host;
  for (const SizeCase& size : cases) {
    SCOPED_TRACE(size.name);
    HostTexture input =
        MakeInputTexture(size.width, size.height, size.hardwareWidth, size.hardwareHeight,
                         PositionPicture(size.width, size.height));
    HostFramebuffer target = MakeFramebuffer(size.hardwareWidth, size.hardwareHeight, false);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "the test could not make its textures";

    // Blend 0 shows the input alone: the picture stretched over the whole texture area.
    ASSERT_EQ(Write(instance, kBlendId, 0.0f), kSuccess);
    host.Apply();
    ASSERT_EQ(Draw(instance, input.info, target.framebuffer), kSuccess);
    EXPECT_EQ(GLStateProblems(), "");
    const auto columns = SamplePoints(size.width, size.hardwareWidth);
    const auto rows = SamplePoints(size.height, size.hardwareHeight);
    const std::vector<std::uint8_t> expected = PositionPicture(size.width, size.height);
    int wrong = 0;
    for (const auto& [y, texelY] : rows) {
      for (const auto& [x, texelX] : columns) {
        const std::vector<std::uint8_t> shown = ReadRGBA8(target.framebuffer, x, y, 1, 1);
        const std::uint8_t* want =
            &expected[(static_cast<std::size_t>(texelY) * size.width + texelX) * 4];
        for (int c = 0; c < 4; ++c) {
          if (std::abs(shown[c] - want[c]) > 1) ++wrong;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "channels showing another texel than the picture's";

    // The character picture itself: drawn, with alpha 1 everywhere it was sampled.
    ASSERT_EQ(Write(instance, kBlendId, Default(kBlendId)), kSuccess);
    host.Apply();
    ASSERT_EQ(Draw(instance, input.info, target.framebuffer), kSuccess);
    EXPECT_EQ(GLStateProblems(), "");
    for (const auto& [y, texelY] : rows) {
      for (const auto& [x, texelX] : columns) {
        EXPECT_EQ(ReadRGBA8(target.framebuffer, x, y, 1, 1)[3], 255) << x << "," << y;
      }
    }
    DeleteFramebuffer(&target);
    DeleteTexture(&input);
  }
  EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
}

TEST_F(Stress, NonFiniteAndHugeParameterValues) {
  constexpr std::uint32_t kSize = 40;
  const float kValues[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(), -1e9f, 1e9f};
  HostTexture input = MakeInputTexture(kSize, kSize, kSize, kSize, PositionPicture(kSize, kSize));
  HostFramebuffer target = MakeFramebuffer(kSize, kSize, true);
  void* instance = module->CreateInstance(kSize, kSize);
  ASSERT_NE(instance, nullptr);
  HostBindings host;

  // Every parameter alone at each value, then all of them at once.
  for (const float value : kValues) {
    for (std::uint32_t only = 0; only <= kParameterCount; ++only) {
      const bool all = only == kParameterCount;
      SCOPED_TRACE(::testing::Message()
                   << "value " << value << (all ? " on every parameter" : " on parameter ")
                   << (all ? "" : std::to_string(only)));
      for (std::uint32_t id = 0; id < kParameterCount; ++id) {
        ASSERT_EQ(Write(instance, id, (all || id == only) ? value : Default(id)), kSuccess);
      }
      for (std::uint32_t id = 0; id < kParameterCount; ++id) {
        if (!all && id != only) continue;
        EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::ReadParameter, id, instance)),
                  FloatBits(value));
        // The display text stays a terminated text within its 16 bytes, cut from "%f".
        const auto* text = reinterpret_cast<const char*>(
            module->Call(FunctionCode::QueryParameterDisplay, id, instance));
        ASSERT_NE(text, nullptr);
        ASSERT_NE(std::memchr(text, '\0', 16), nullptr) << "display text not terminated";
        char full[64];
        std::snprintf(full, sizeof full, "%f", static_cast<double>(value));
        EXPECT_EQ(std::strncmp(text, full, std::strlen(text)), 0) << text << " vs " << full;
      }
      host.Apply();
      ASSERT_EQ(Draw(instance, input.info, target.framebuffer), kSuccess);
      EXPECT_EQ(GLStateProblems(), "");
      const std::vector<float> pixels = ReadPixels(target);
      int alphaOff = 0;
      for (std::size_t p = 3; p < pixels.size(); p += 4) alphaOff += pixels[p] != 1.0f ? 1 : 0;
      EXPECT_EQ(alphaOff, 0) << "pixels not drawn with alpha 1";
    }
  }
  EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

}  // namespace
