// A full-screen rectangle: one vertex array and one 120-byte array buffer of six vertices (two
// triangles), each a texture coordinate (attribute 1, vec2) then a position (attribute 0, vec3).
// Create in the GL context, Draw per frame with the caller's program bound, Release at shutdown.
#pragma once

#include <cstdint>

namespace ffglex {

class ScreenQuad {
 public:
  ScreenQuad() = default;
  ScreenQuad(const ScreenQuad&) = delete;
  ScreenQuad& operator=(const ScreenQuad&) = delete;

  // True when both objects exist and are filled. flipVertical puts texture row 0 at the top.
  // Meant for an empty quad: Release first to create again.
  bool Create(bool flipVertical);
  // Six vertices as triangles; nothing when the quad is empty.
  void Draw();
  // Deletes both objects (GL ignores the name 0) and zeroes the names; may run twice.
  void Release();

 private:
  std::uint32_t vertexArray = 0;
  std::uint32_t vertexBuffer = 0;
};

}  // namespace ffglex
