// The records the host hands to an instance: the viewport of InitGL and ApplyViewport, and the
// frame of RenderFrame with its input textures. Byte layouts are part of the host interface.
#pragma once

#include <cstddef>
#include <cstdint>

// Copied whole and never interpreted by the framework.
struct ViewportRect {
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t width;
  std::uint32_t height;
};
static_assert(sizeof(ViewportRect) == 16);

// One input texture. The picture fills the corner from texture coordinate 0 up to
// width/hardwareWidth and height/hardwareHeight; the rest of the allocation is unused.
struct TextureInfo {
  std::uint32_t width;           // picture width, pixels
  std::uint32_t height;          // picture height, pixels
  std::uint32_t hardwareWidth;   // allocated texture width, texels
  std::uint32_t hardwareHeight;  // allocated texture height, texels
  std::uint32_t handle;          // GL_TEXTURE_2D name
};
static_assert(sizeof(TextureInfo) == 20);
static_assert(offsetof(TextureInfo, width) == 0);
static_assert(offsetof(TextureInfo, height) == 4);
static_assert(offsetof(TextureInfo, hardwareWidth) == 8);
static_assert(offsetof(TextureInfo, hardwareHeight) == 12);
static_assert(offsetof(TextureInfo, handle) == 16);

struct FrameInput {
  std::uint32_t inputTextureCount;
  std::uint32_t unused;                     // not read
  const TextureInfo* const* inputTextures;  // inputTextureCount entries; an entry may be null
  std::uint32_t hostFramebuffer;            // GL framebuffer name to draw into
};
static_assert(sizeof(FrameInput) == 24);
static_assert(offsetof(FrameInput, inputTextureCount) == 0);
static_assert(offsetof(FrameInput, inputTextures) == 8);
static_assert(offsetof(FrameInput, hostFramebuffer) == 16);
