// The GL side of the tests: one OpenGL 4.1 core context per test process (on its own Xvfb
// when there is no display), and the host-side textures and framebuffers a host would make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/HostRecords.h"

namespace testhost {

// Makes the process's context current; false (with the reason) when none can be had.
bool EnsureGLContext(std::string* error);
// Leaves no context current (for tests of what happens without one).
void ReleaseGLContextFromThread();
void MakeGLContextCurrentAgain();

// An RGBA8 texture of hardwareWidth x hardwareHeight whose lower-left width x height corner
// holds `pixels` (RGBA8, first row at the bottom), and a TextureInfo naming it.
struct HostTexture {
  std::uint32_t name = 0;
  TextureInfo info{};
};
HostTexture MakeInputTexture(std::uint32_t width, std::uint32_t height, std::uint32_t hardwareWidth,
                             std::uint32_t hardwareHeight, const std::vector<std::uint8_t>& pixels);
void DeleteTexture(HostTexture* texture);

// A framebuffer with one colour texture; float32 keeps values above 1.0.
struct HostFramebuffer {
  std::uint32_t framebuffer = 0;
  std::uint32_t colorTexture = 0;
  std::uint32_t width = 0, height = 0;
};
HostFramebuffer MakeFramebuffer(std::uint32_t width, std::uint32_t height, bool floatingPoint);
void DeleteFramebuffer(HostFramebuffer* target);
// RGBA floats, first row at the bottom.
std::vector<float> ReadPixels(const HostFramebuffer& target);

}  // namespace testhost
