// The module's one effect: turns its input picture into a grid of 5x7 character cells chosen by
// brightness, drawn into the host's framebuffer in one shader pass. Eight float parameters live
// in plain fields; GL objects exist between InitGL and ShutdownGL only.
#pragma once

#include <cstdint>

#include "framework/CFFGLPlugin.h"
#include "gltoolkit/ScreenQuad.h"
#include "gltoolkit/ShaderProgram.h"

class VexASCII : public CFFGLPlugin {
 public:
  // Parameter ids as the host sees them.
  enum ParameterId : std::uint32_t {
    kCharSize = 0,
    kColorMode = 1,
    kEdgeBoost = 2,
    kInvert = 3,
    kBlend = 4,
    kContrast = 5,
    kHueShift = 6,
    kSpeed = 7,
    kParameterCount = 8,
  };

  VexASCII();
  ~VexASCII() override = default;

  // Makes one instance for the registration record; kFailure and null when none could be made.
  static std::uint32_t Create(CFFGLPlugin** instance);

  // Builds the program and the quad; logs "VexASCII v1.0: InitGL OK" or the failing step.
  std::uint32_t InitGL(const ViewportRect* viewport) override;
  std::uint32_t ShutdownGL() override;
  // Stores any value unchanged for ids 0-7; refuses other ids.
  std::uint32_t ApplyFloatParameter(std::uint32_t id, float value) override;
  float ReadFloatParameter(std::uint32_t id) override;
  // Draws the first input into frame->hostFramebuffer over the texture's allocated size.
  // kFailure, with no GL call, when there is no first input.
  std::uint32_t RenderFrame(const FrameInput* frame) override;

 private:
  float* Field(std::uint32_t id);

  ffglex::ShaderProgram shader;
  ffglex::ScreenQuad quad;
  float charSize = 0.3f;
  float colorMode = 0.0f;
  float edgeBoost = 0.3f;
  float invert = 0.0f;
  float blend = 1.0f;
  float hueShift = 0.0f;
  float contrast = 0.3f;
  float speed = 0.5f;  // held and reported; nothing in the picture depends on it
};
