#include "gltoolkit/ScopedBindings.h"

#include <GL/glew.h>

namespace ffglex {

ScopedBufferBinding::ScopedBufferBinding(std::uint32_t target, std::uint32_t buffer)
    : target(target), bound(true) {
  glBindBuffer(target, buffer);
}

ScopedBufferBinding::~ScopedBufferBinding() {
  Unbind();
}

void ScopedBufferBinding::Unbind() {
  if (!bound) return;
  glBindBuffer(target, 0);
  bound = false;
}

ScopedVBOBinding::ScopedVBOBinding(std::uint32_t buffer)
    : ScopedBufferBinding(GL_ARRAY_BUFFER, buffer) {}

ScopedTextureBinding::ScopedTextureBinding(std::uint32_t target, std::uint32_t texture)
    : target(target), bound(true) {
  glBindTexture(target, texture);
}

ScopedTextureBinding::~ScopedTextureBinding() {
  Unbind();
}

void ScopedTextureBinding::Unbind() {
  if (!bound) return;
  glBindTexture(target, 0);
  bound = false;
}

Scoped2DTextureBinding::Scoped2DTextureBinding(std::uint32_t texture)
    : ScopedTextureBinding(GL_TEXTURE_2D, texture) {}

ScopedProgramUse::ScopedProgramUse(std::uint32_t program) : bound(true) {
  glUseProgram(program);
}

void ScopedProgramUse::Unbind() {
  if (!bound) return;
  glUseProgram(0);
  bound = false;
}

ScopedTextureUnit::ScopedTextureUnit(std::uint32_t unit) : bound(true) {
  glActiveTexture(GL_TEXTURE0 + unit);
}

void ScopedTextureUnit::Unbind() {
  if (!bound) return;
  glActiveTexture(GL_TEXTURE0);
  bound = false;
}

ScopedVertexArrayBinding::ScopedVertexArrayBinding(std::uint32_t vertexArray) : bound(true) {
  glBindVertexArray(vertexArray);
}

void ScopedVertexArrayBinding::Unbind() {
  if (!bound) return;
  glBindVertexArray(0);
  bound = false;
}

}  // namespace ffglex
