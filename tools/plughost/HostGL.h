// plughost's own side of OpenGL, as a host has it: the context (through tools/glcontext,
// which also brings up a display when there is none), the input texture it hands a plugin,
// the framebuffer the plugin draws into, reading the result back, and a plain copy shader
// used as the reference in `bench`. Host textures keep their first row at the bottom; the
// callers say which way their rows run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "tools/glcontext/GLContext.h"

namespace plughost {

class GLSession {
 public:
  // An OpenGL 4.1 core-profile context, current on this thread.
  bool Start(std::string* error);
  std::string Renderer() const { return session.Renderer(); }

 private:
  glhost::GLSession session;
};

// An RGBA8 texture the picture fills (width == hardwareWidth), linear filtering, edges
// clamped.
class InputTexture {
 public:
  InputTexture() = default;
  ~InputTexture() { Destroy(); }
  InputTexture(const InputTexture&) = delete;
  InputTexture& operator=(const InputTexture&) = delete;

  void Create(std::uint32_t width, std::uint32_t height);
  // `rgba` holds width*height pixels; `topRowFirst` as image files store them.
  void Upload(const std::uint8_t* rgba, bool topRowFirst);
  void Destroy();
  const TextureInfo& Info() const { return info; }

 private:
  TextureInfo info{};
  std::vector<std::uint8_t> flipped;
};

// A framebuffer with one colour texture, RGBA8 or (`floatingPoint`) RGBA16F.
class HostFramebuffer {
 public:
  HostFramebuffer() = default;
  ~HostFramebuffer() { Destroy(); }
  HostFramebuffer(const HostFramebuffer&) = delete;
  HostFramebuffer& operator=(const HostFramebuffer&) = delete;

  bool Create(std::uint32_t width, std::uint32_t height, bool floatingPoint, std::string* error);
  void Destroy();
  std::uint32_t Name() const { return framebuffer; }
  std::uint32_t Width() const { return width; }
  std::uint32_t Height() const { return height; }
  // Reads the whole picture as RGBA8 into `rgba` (width*height*4 bytes).
  void ReadBack(std::uint8_t* rgba, bool topRowFirst);

  // Read-back in step with drawing: StartReadBack queues the current picture, FinishReadBack
  // copies out the oldest queued one, bottom row first (false when none is queued). No more
  // than ReadBacksInFlight() may be queued. On a GPU two pixel-buffer objects let a frame's
  // pixels travel while the next frame is drawn. On a software renderer the processor does the
  // copy either way and a pixel buffer only adds a second one, so there FinishReadBack reads
  // the framebuffer directly and one read-back is queued at a time.
  void StartReadBack();
  bool FinishReadBack(std::uint8_t* rgba);
  unsigned ReadBacksInFlight() const { return pixelBuffers[0] ? 2u : 1u; }

 private:
  std::uint32_t framebuffer = 0;
  std::uint32_t colorTexture = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t pixelBuffers[2] = {0, 0};
  unsigned queuedReads = 0;  // started, not yet finished
  unsigned nextRead = 0;     // index of the buffer StartReadBack fills next
};

// Draws an input texture unchanged into a framebuffer: what "doing nothing" costs, for bench.
class PassThroughCopy {
 public:
  PassThroughCopy() = default;
  ~PassThroughCopy() { Destroy(); }
  PassThroughCopy(const PassThroughCopy&) = delete;
  PassThroughCopy& operator=(const PassThroughCopy&) = delete;

  bool Create(std::string* error);
  void Draw(const TextureInfo& input, std::uint32_t framebuffer);
  void Destroy();

 private:
  std::uint32_t program = 0;
  std::uint32_t vertexArray = 0;
};

// True for Mesa's software renderers (llvmpipe, softpipe), which draw on this processor.
bool IsSoftwareRenderer();

// Any GL error since the last call, as text ("" when none); clears the error flags.
std::string TakeGLErrors();

}  // namespace plughost
