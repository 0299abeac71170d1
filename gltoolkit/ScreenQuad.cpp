#include "gltoolkit/ScreenQuad.h"

#include <GL/glew.h>

#include "gltoolkit/ScopedBindings.h"

namespace ffglex {

namespace {

struct QuadVertex {
  float u, v;
  float x, y, z;
};
static_assert(sizeof(QuadVertex) == 20);

constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kTexCoordAttribute = 1;
constexpr GLsizei kVertexCount = 6;

// Top-left, top-right, bottom-left; bottom-left, top-right, bottom-right.
constexpr QuadVertex kUprightVertices[kVertexCount] = {
    {0, 1, -1, 1, 0},  {1, 1, 1, 1, 0}, {0, 0, -1, -1, 0},
    {0, 0, -1, -1, 0}, {1, 1, 1, 1, 0}, {1, 0, 1, -1, 0},
};
constexpr QuadVertex kFlippedVertices[kVertexCount] = {
    {0, 0, -1, 1, 0},  {1, 0, 1, 1, 0}, {0, 1, -1, -1, 0},
    {0, 1, -1, -1, 0}, {1, 0, 1, 1, 0}, {1, 1, 1, -1, 0},
};
static_assert(sizeof(kUprightVertices) == 120);

const void* ByteOffset(std::size_t offset) {
  return reinterpret_cast<const void*>(offset);
}

}  // namespace

bool ScreenQuad::Create(bool flipVertical) {
  glGenVertexArrays(1, &vertexArray);
  glGenBuffers(1, &vertexBuffer);
  if (vertexArray == 0 || vertexBuffer == 0) {
    glDeleteBuffers(1, &vertexBuffer);
    vertexBuffer = 0;
    glDeleteVertexArrays(1, &vertexArray);
    vertexArray = 0;
    return false;
  }

  ScopedVertexArrayBinding arrayBinding(vertexArray);
  ScopedVBOBinding bufferBinding(vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof kUprightVertices,
               flipVertical ? kFlippedVertices : kUprightVertices, GL_STATIC_DRAW);
  glEnableVertexAttribArray(kPositionAttribute);
  glVertexAttribPointer(kPositionAttribute, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                        ByteOffset(offsetof(QuadVertex, x)));
  glEnableVertexAttribArray(kTexCoordAttribute);
  glVertexAttribPointer(kTexCoordAttribute, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                        ByteOffset(offsetof(QuadVertex, u)));
  bufferBinding.Unbind();
  arrayBinding.Unbind();
  return true;
}

void ScreenQuad::Draw() {
  if (vertexArray == 0 || vertexBuffer == 0) return;
  ScopedVertexArrayBinding arrayBinding(vertexArray);
  glDrawArrays(GL_TRIANGLES, 0, kVertexCount);
}

void ScreenQuad::Release() {
  glDeleteBuffers(1, &vertexBuffer);
  vertexBuffer = 0;
  glDeleteVertexArrays(1, &vertexArray);
  vertexArray = 0;
}

}  // namespace ffglex
