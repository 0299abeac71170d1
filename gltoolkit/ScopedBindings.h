// Guards that make one GL binding on construction and restore the GL default (name 0, or
// texture unit 0) when they end, also on an exception. They never query or remember what was
// bound before. Unbind ends a guard early; a second Unbind, or the destructor after it, does
// nothing.
#pragma once

#include <cstdint>

namespace ffglex {

class ScopedBufferBinding {
 public:
  ScopedBufferBinding(std::uint32_t target, std::uint32_t buffer);
  virtual ~ScopedBufferBinding();
  ScopedBufferBinding(const ScopedBufferBinding&) = delete;
  ScopedBufferBinding& operator=(const ScopedBufferBinding&) = delete;
  void Unbind();

 private:
  std::uint32_t target;
  bool bound;
};

class ScopedVBOBinding : public ScopedBufferBinding {
 public:
  explicit ScopedVBOBinding(std::uint32_t buffer);
};

class ScopedTextureBinding {
 public:
  ScopedTextureBinding(std::uint32_t target, std::uint32_t texture);
  virtual ~ScopedTextureBinding();
  ScopedTextureBinding(const ScopedTextureBinding&) = delete;
  ScopedTextureBinding& operator=(const ScopedTextureBinding&) = delete;
  void Unbind();

 private:
  std::uint32_t target;
  bool bound;
};

class Scoped2DTextureBinding : public ScopedTextureBinding {
 public:
  explicit Scoped2DTextureBinding(std::uint32_t texture);
};

class ScopedProgramUse {
 public:
  explicit ScopedProgramUse(std::uint32_t program);
  ~ScopedProgramUse() { Unbind(); }
  ScopedProgramUse(const ScopedProgramUse&) = delete;
  ScopedProgramUse& operator=(const ScopedProgramUse&) = delete;
  void Unbind();

 private:
  bool bound;
};

// Activates GL_TEXTURE0 + unit; ends by activating GL_TEXTURE0.
class ScopedTextureUnit {
 public:
  explicit ScopedTextureUnit(std::uint32_t unit);
  ~ScopedTextureUnit() { Unbind(); }
  ScopedTextureUnit(const ScopedTextureUnit&) = delete;
  ScopedTextureUnit& operator=(const ScopedTextureUnit&) = delete;
  void Unbind();

 private:
  bool bound;
};

class ScopedVertexArrayBinding {
 public:
  explicit ScopedVertexArrayBinding(std::uint32_t vertexArray);
  ~ScopedVertexArrayBinding() { Unbind(); }
  ScopedVertexArrayBinding(const ScopedVertexArrayBinding&) = delete;
  ScopedVertexArrayBinding& operator=(const ScopedVertexArrayBinding&) = delete;
  void Unbind();

 private:
  bool bound;
};

}  // namespace ffglex
