#include "bench/BenchSupport.h"

#include <GL/glew.h>
#include <dlfcn.h>

#include <cstddef>
#include <fstream>
#include <sstream>

#include "bench/ReferenceShader.h"

namespace vexbench {

Module::~Module() {
  // Released first, as a host does before it unloads a module, so no prototype outlives it.
  if (plugMain) plugMain(static_cast<std::uint32_t>(FunctionCode::ReleaseModule), 0, nullptr);
  if (handle) dlclose(handle);
}

bool Module::Load(const std::string& path, std::string* error) {
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = dlerror();
    return false;
  }
  plugMain = reinterpret_cast<PlugMainFunction>(dlsym(handle, "plugMain"));
  if (!plugMain) {
    *error = "module lacks plugMain";
    return false;
  }
  return true;
}

void* Module::CreateInstance(std::uint32_t width, std::uint32_t height) const {
  ViewportRect viewport{0, 0, width, height};
  const HostWord answer = plugMain(static_cast<std::uint32_t>(FunctionCode::CreateInstance),
                                   reinterpret_cast<HostWord>(&viewport), nullptr);
  if (answer == kFailureWord || answer == 0) return nullptr;
  return reinterpret_cast<void*>(answer);
}

bool Module::SetParameter(void* instance, std::uint32_t id, float value) const {
  ParameterValueInput record{};
  record.id = id;
  record.value.floatValue = value;
  const HostWord answer = plugMain(static_cast<std::uint32_t>(FunctionCode::WriteParameter),
                                   reinterpret_cast<HostWord>(&record), instance);
  return static_cast<std::uint32_t>(answer) == kSuccess;
}

std::uint32_t Module::DrawFrame(void* instance, const FrameInput* frame) const {
  return static_cast<std::uint32_t>(plugMain(static_cast<std::uint32_t>(FunctionCode::DrawFrame),
                                             reinterpret_cast<HostWord>(frame), instance));
}

void Module::DestroyInstance(void* instance) const {
  plugMain(static_cast<std::uint32_t>(FunctionCode::DestroyInstance), 0, instance);
}

Surface MakeSurface(std::uint32_t width, std::uint32_t height, std::uint32_t hardwareWidth,
                    std::uint32_t hardwareHeight, const std::vector<std::uint8_t>& pixels,
                    bool floatTarget, SamplerChoice sampler) {
  Surface surface;
  surface.floatTarget = floatTarget;
  surface.input = {width, height, hardwareWidth, hardwareHeight, 0};
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(hardwareWidth),
               static_cast<GLsizei>(hardwareHeight), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                  GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, sampler.filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, sampler.filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, sampler.wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, sampler.wrap);
  glBindTexture(GL_TEXTURE_2D, 0);
  surface.input.handle = texture;

  GLuint color = 0;
  glGenTextures(1, &color);
  glBindTexture(GL_TEXTURE_2D, color);
  glTexImage2D(GL_TEXTURE_2D, 0, floatTarget ? GL_RGBA32F : GL_RGBA8,
               static_cast<GLsizei>(hardwareWidth), static_cast<GLsizei>(hardwareHeight), 0,
               GL_RGBA, floatTarget ? GL_FLOAT : GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  surface.framebuffer = framebuffer;
  surface.colorTexture = color;
  return surface;
}

void DeleteSurface(Surface* surface) {
  GLuint texture = surface->input.handle;
  GLuint color = surface->colorTexture;
  GLuint framebuffer = surface->framebuffer;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(1, &color);
  glDeleteTextures(1, &texture);
  *surface = Surface{};
}

std::vector<float> ReadTarget(const Surface& surface) {
  const std::size_t count =
      static_cast<std::size_t>(surface.input.hardwareWidth) * surface.input.hardwareHeight * 4;
  std::vector<float> pixels(count);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, surface.framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(surface.input.hardwareWidth),
               static_cast<GLsizei>(surface.input.hardwareHeight), GL_RGBA, GL_FLOAT,
               pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  return pixels;
}

std::vector<std::uint8_t> NoisePixels(std::uint32_t width, std::uint32_t height,
                                      std::uint32_t seed) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  std::uint32_t state = seed * 2654435761u + 1u;
  for (std::uint8_t& byte : pixels) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return pixels;
}

namespace {

struct QuadVertex {
  float u, v;
  float x, y, z;
};
// The module's upright quad: texture coordinate (0, 0) at clip-space (-1, -1).
constexpr QuadVertex kQuad[6] = {
    {0, 1, -1, 1, 0},  {1, 1, 1, 1, 0}, {0, 0, -1, -1, 0},
    {0, 0, -1, -1, 0}, {1, 1, 1, 1, 0}, {1, 0, 1, -1, 0},
};
constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kTexCoordAttribute = 1;
}  // namespace

DirectProgram::~DirectProgram() {
  // Objects of a context that is gone by now are gone with it; the bench keeps its context
  // for the whole run, so this only tidies up when one ends early.
  if (program) glDeleteProgram(program);
  if (vertexBuffer) glDeleteBuffers(1, &vertexBuffer);
  if (vertexArray) glDeleteVertexArrays(1, &vertexArray);
}

bool DirectProgram::Build(const char* vertexSource, const char* fragmentSource,
                          std::string* error) {
  program = glhost::BuildProgram(vertexSource, fragmentSource, error);
  if (!program) return false;

  glGenVertexArrays(1, &vertexArray);
  glGenBuffers(1, &vertexBuffer);
  glBindVertexArray(vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
  glEnableVertexAttribArray(kPositionAttribute);
  glVertexAttribPointer(kPositionAttribute, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                        reinterpret_cast<const void*>(offsetof(QuadVertex, x)));
  glEnableVertexAttribArray(kTexCoordAttribute);
  glVertexAttribPointer(kTexCoordAttribute, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                        reinterpret_cast<const void*>(offsetof(QuadVertex, u)));
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindVertexArray(0);
  return true;
}

void DirectProgram::Draw(const Surface& surface, const EffectUniforms& uniforms) const {
  const TextureInfo& input = surface.input;
  glBindFramebuffer(GL_FRAMEBUFFER, surface.framebuffer);
  glViewport(0, 0, static_cast<GLsizei>(input.hardwareWidth),
             static_cast<GLsizei>(input.hardwareHeight));
  glUseProgram(program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, input.handle);
  const float hardwareWidth = static_cast<float>(input.hardwareWidth);
  const float hardwareHeight = static_cast<float>(input.hardwareHeight);
  glUniform1i(glGetUniformLocation(program, "InputTexture"), 0);
  glUniform2f(glGetUniformLocation(program, "MaxUV"),
              static_cast<float>(input.width) / hardwareWidth,
              static_cast<float>(input.height) / hardwareHeight);
  glUniform2f(glGetUniformLocation(program, "Resolution"), hardwareWidth, hardwareHeight);
  glUniform1f(glGetUniformLocation(program, "CharSize"), uniforms.charSize);
  glUniform1i(glGetUniformLocation(program, "ColorMode"), uniforms.colorMode);
  glUniform1f(glGetUniformLocation(program, "EdgeBoost"), uniforms.edgeBoost);
  glUniform1f(glGetUniformLocation(program, "Invert"), uniforms.invert);
  glUniform1f(glGetUniformLocation(program, "Blend"), uniforms.blend);
  glUniform1f(glGetUniformLocation(program, "Contrast"), uniforms.contrast);
  glUniform1f(glGetUniformLocation(program, "HueShift"), uniforms.hueShift);
  glBindVertexArray(vertexArray);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
}

const char* const kCopyFragmentSource = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;
uniform vec2 MaxUV;
void main() { fragColor = texture(InputTexture, uv * MaxUV); }
)glsl";

// The effect's coordinates, computed as the effect computes them, and its six reads.
const char* const kSixReadsFragmentSource = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;
uniform vec2 MaxUV;
uniform vec2 Resolution;
uniform float CharSize;
void main() {
  float cellPx = mix(4.0, 32.0, CharSize);
  vec2 cellSize = vec2(cellPx, cellPx * 1.4);
  vec2 pixelCoord = uv * Resolution;
  vec2 cellIndex = floor(pixelCoord / cellSize);
  vec2 cellCenter = (cellIndex + 0.5) * cellSize / Resolution * MaxUV;
  vec2 cellStep = cellSize / Resolution * MaxUV;
  fragColor = texture(InputTexture, uv * MaxUV) + texture(InputTexture, cellCenter)
            + texture(InputTexture, cellCenter - vec2(cellStep.x, 0.0))
            + texture(InputTexture, cellCenter + vec2(cellStep.x, 0.0))
            + texture(InputTexture, cellCenter + vec2(0.0, cellStep.y))
            + texture(InputTexture, cellCenter - vec2(0.0, cellStep.y));
}
)glsl";

bool ReadShaderPair(const std::string& path, std::string* vertexSource,
                    std::string* fragmentSource) {
  auto read = [](const std::string& name, std::string* text) {
    std::ifstream in(name);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return true;
  };
  if (!read(path, fragmentSource)) return false;
  const std::string suffix = ".frag";
  if (path.size() > suffix.size() &&
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0 &&
      read(path.substr(0, path.size() - suffix.size()) + ".vert", vertexSource)) {
    return true;
  }
  *vertexSource = kReferenceVertexSource;
  return true;
}

const char* const kTunedSixReadsVertexSource = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;
flat out vec4 frame;
flat out vec4 cell;
uniform vec2 MaxUV;
uniform vec2 Resolution;
uniform float CharSize;
void main() {
  gl_Position = vPosition;
  uv = vUV;
  float cellPx = mix(4.0, 32.0, CharSize);
  vec2 cellSize = vec2(cellPx, cellPx * 1.4);
  frame = vec4(MaxUV, Resolution);
  cell = vec4(cellSize, cellSize / Resolution);
}
)glsl";

const char* const kTunedSixReadsFragmentSource = R"glsl(#version 410 core
in vec2 uv;
flat in vec4 frame;
flat in vec4 cell;
out vec4 fragColor;
uniform sampler2D InputTexture;
void main() {
  vec2 maxUV = frame.xy;
  vec2 resolution = frame.zw;
  vec2 cellSize = cell.xy;
  vec2 pixelCoord = uv * resolution;
  vec2 cellIndex = floor(pixelCoord / cellSize);
  vec2 cellCenter = (cellIndex + 0.5) * cellSize / resolution * maxUV;
  vec2 cellStep = cell.zw * maxUV;
  fragColor = texture(InputTexture, uv * maxUV) + texture(InputTexture, cellCenter)
            + texture(InputTexture, cellCenter - vec2(cellStep.x, 0.0))
            + texture(InputTexture, cellCenter + vec2(cellStep.x, 0.0))
            + texture(InputTexture, cellCenter + vec2(0.0, cellStep.y))
            + texture(InputTexture, cellCenter - vec2(0.0, cellStep.y));
}
)glsl";

std::string BuiltModulePath() {
  return VEX_MODULE_PATH;
}

}  // namespace vexbench
