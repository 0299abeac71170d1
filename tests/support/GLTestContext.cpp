#include "tests/support/GLTestContext.h"

#include <GL/glew.h>

#include "tools/glcontext/GLContext.h"

namespace testhost {

namespace {

glhost::HeadlessDisplay& Display() {
  static glhost::HeadlessDisplay display;
  return display;
}

glhost::GLContext& Context() {
  static glhost::GLContext context;
  return context;
}

}  // namespace

bool EnsureGLContext(std::string* error) {
  static bool created = false;
  static std::string failure;
  if (!created && failure.empty()) {
    if (Display().Ensure(&failure) && Context().Create(4, 1, &failure)) created = true;
  }
  if (created) Context().MakeCurrent();
  *error = failure;
  return created;
}

void ReleaseGLContextFromThread() {
  glhost::GLContext::ClearCurrent();
}
void MakeGLContextCurrentAgain() {
  Context().MakeCurrent();
}

HostTexture MakeInputTexture(std::uint32_t width, std::uint32_t height, std::uint32_t hardwareWidth,
                             std::uint32_t hardwareHeight,
                             const std::vector<std::uint8_t>& pixels) {
  HostTexture texture;
  texture.info = {width, height, hardwareWidth, hardwareHeight, 0};
  glGenTextures(1, &texture.name);
  glBindTexture(GL_TEXTURE_2D, texture.name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(hardwareWidth),
               static_cast<GLsizei>(hardwareHeight), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (!pixels.empty()) {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width),
                    static_cast<GLsizei>(height), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, 0);
  texture.info.handle = texture.name;
  return texture;
}

void DeleteTexture(HostTexture* texture) {
  glDeleteTextures(1, &texture->name);
  texture->name = 0;
}

HostFramebuffer MakeFramebuffer(std::uint32_t width, std::uint32_t height, bool floatingPoint) {
  HostFramebuffer target;
  target.width = width;
  target.height = height;
  glGenTextures(1, &target.colorTexture);
  glBindTexture(GL_TEXTURE_2D, target.colorTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, floatingPoint ? GL_RGBA32F : GL_RGBA8, static_cast<GLsizei>(width),
               static_cast<GLsizei>(height), 0, GL_RGBA,
               floatingPoint ? GL_FLOAT : GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenFramebuffers(1, &target.framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.colorTexture,
                         0);
  return target;
}

void DeleteFramebuffer(HostFramebuffer* target) {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &target->framebuffer);
  glDeleteTextures(1, &target->colorTexture);
  target->framebuffer = target->colorTexture = 0;
}

std::vector<float> ReadPixels(const HostFramebuffer& target) {
  std::vector<float> pixels(static_cast<std::size_t>(target.width) * target.height * 4);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, target.framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(target.width), static_cast<GLsizei>(target.height),
               GL_RGBA, GL_FLOAT, pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  return pixels;
}

}  // namespace testhost
