#include "tools/plughost/HostGL.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstring>

#include "tools/plughost/Picture.h"

namespace plughost {

namespace {

constexpr int kBytesPerPixel = 4;
constexpr int kMaxGLErrors = 8;

const char* const kCopyVertexSource = R"(#version 410 core
out vec2 uv;
void main() {
  // One triangle that covers the viewport: (-1,-1), (3,-1), (-1,3).
  vec2 corner = vec2(float((gl_VertexID & 1) << 2) - 1.0, float((gl_VertexID & 2) << 1) - 1.0);
  uv = corner * 0.5 + 0.5;
  gl_Position = vec4(corner, 0.0, 1.0);
}
)";

const char* const kCopyFragmentSource = R"(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;
uniform vec2 MaxUV;
void main() { fragColor = texture(InputTexture, uv * MaxUV); }
)";

}  // namespace

bool GLSession::Start(std::string* error) {
  std::string reason;
  if (!session.Start(&reason)) {
    *error = "no OpenGL 4.1 context: " + reason;
    return false;
  }
  return true;
}

void InputTexture::Create(std::uint32_t width, std::uint32_t height) {
  Destroy();
  info = {width, height, width, height, 0};
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
               static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, 0);
  info.handle = name;
}

void InputTexture::Upload(const std::uint8_t* rgba, bool topRowFirst) {
  const std::uint8_t* pixels = rgba;
  if (topRowFirst) {
    flipped.assign(rgba,
                   rgba + static_cast<std::size_t>(info.width) * info.height * kBytesPerPixel);
    FlipRows(flipped.data(), info.width, info.height);
    pixels = flipped.data();
  }
  glBindTexture(GL_TEXTURE_2D, info.handle);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(info.width),
                  static_cast<GLsizei>(info.height), GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void InputTexture::Destroy() {
  if (info.handle) {
    GLuint name = info.handle;
    glDeleteTextures(1, &name);
  }
  info = {};
}

bool HostFramebuffer::Create(std::uint32_t w, std::uint32_t h, bool floatingPoint,
                             std::string* error) {
  Destroy();
  width = w;
  height = h;
  glGenTextures(1, &colorTexture);
  glBindTexture(GL_TEXTURE_2D, colorTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, floatingPoint ? GL_RGBA16F : GL_RGBA8, static_cast<GLsizei>(w),
               static_cast<GLsizei>(h), 0, GL_RGBA, floatingPoint ? GL_FLOAT : GL_UNSIGNED_BYTE,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture, 0);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    *error = "the host framebuffer is incomplete (" + std::to_string(w) + "x" + std::to_string(h) +
             (floatingPoint ? ", RGBA16F)" : ", RGBA8)");
    Destroy();
    return false;
  }
  if (IsSoftwareRenderer()) return true;
  glGenBuffers(2, pixelBuffers);
  const GLsizeiptr bytes = static_cast<GLsizeiptr>(w) * h * kBytesPerPixel;
  for (GLuint buffer : pixelBuffers) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  return true;
}

void HostFramebuffer::Destroy() {
  if (pixelBuffers[0]) glDeleteBuffers(2, pixelBuffers);
  if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
  if (colorTexture) glDeleteTextures(1, &colorTexture);
  pixelBuffers[0] = pixelBuffers[1] = 0;
  framebuffer = colorTexture = 0;
  queuedReads = nextRead = 0;
}

void HostFramebuffer::ReadBack(std::uint8_t* rgba, bool topRowFirst) {
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
               GL_UNSIGNED_BYTE, rgba);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  if (topRowFirst) FlipRows(rgba, width, height);
}

void HostFramebuffer::StartReadBack() {
  if (!pixelBuffers[0]) {
    // Read in FinishReadBack, before the next frame is drawn over it.
    ++queuedReads;
    return;
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers[nextRead]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
               GL_UNSIGNED_BYTE, nullptr);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  nextRead ^= 1u;
  ++queuedReads;
}

bool HostFramebuffer::FinishReadBack(std::uint8_t* rgba) {
  if (queuedReads == 0) return false;
  if (!pixelBuffers[0]) {
    ReadBack(rgba, false);
    --queuedReads;
    return true;
  }
  // With two queued the oldest is the one StartReadBack fills next; with one, the other.
  const unsigned oldest = queuedReads == 2 ? nextRead : nextRead ^ 1u;
  const std::size_t bytes = static_cast<std::size_t>(width) * height * kBytesPerPixel;
  glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers[oldest]);
  const void* mapped =
      glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT);
  if (mapped) std::memcpy(rgba, mapped, bytes);
  glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  --queuedReads;
  return mapped != nullptr;
}

bool PassThroughCopy::Create(std::string* error) {
  Destroy();
  std::string reason;
  program = glhost::BuildProgram(kCopyVertexSource, kCopyFragmentSource, &reason);
  if (!program) {
    *error = "the copy shader does not build: " + reason;
    return false;
  }
  glGenVertexArrays(1, &vertexArray);
  return true;
}

void PassThroughCopy::Draw(const TextureInfo& input, std::uint32_t framebuffer) {
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glViewport(0, 0, static_cast<GLsizei>(input.hardwareWidth),
             static_cast<GLsizei>(input.hardwareHeight));
  glUseProgram(program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, input.handle);
  glUniform1i(glGetUniformLocation(program, "InputTexture"), 0);
  glUniform2f(glGetUniformLocation(program, "MaxUV"),
              static_cast<float>(input.width) / static_cast<float>(input.hardwareWidth),
              static_cast<float>(input.height) / static_cast<float>(input.hardwareHeight));
  glBindVertexArray(vertexArray);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
}

void PassThroughCopy::Destroy() {
  if (vertexArray) glDeleteVertexArrays(1, &vertexArray);
  if (program) glDeleteProgram(program);
  vertexArray = 0;
  program = 0;
}

bool IsSoftwareRenderer() {
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (!renderer) return false;
  const std::string name = renderer;
  return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos;
}

std::string TakeGLErrors() {
  std::string errors;
  for (int i = 0; i < kMaxGLErrors; ++i) {
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR) break;
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", code);
    if (!errors.empty()) errors += ", ";
    errors += text;
  }
  return errors;
}

}  // namespace plughost
