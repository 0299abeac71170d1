#include "effect/VexASCII.h"

#include <GL/glew.h>

#include <iterator>
#include <limits>
#include <new>

#include "effect/AsciiShaders.h"
#include "gltoolkit/ScopedBindings.h"
#include "host/HostLog.h"
#include "host/PluginInfo.h"

namespace {

const PluginInfo registration(VexASCII::Create, "VA01", "VEX ASCII", 2, 1, 2, 1,
                              0,  // effect
                              "ASCII art effect \xE2\x80\x94 converts video to character grid",
                              "Lanternfish Studios", 0, nullptr, nullptr, nullptr);

struct ColorModeElement {
  const char* name;
  float value;
};
constexpr ColorModeElement kColorModes[] = {
    {"Green Terminal", 0.0f}, {"Source Color", 1.0f}, {"White", 2.0f}, {"Zirco Pink", 3.0f}};

struct FloatParameter {
  std::uint32_t id;
  const char* name;
  std::uint32_t type;
};
constexpr FloatParameter kFloatParameters[] = {
    {VexASCII::kCharSize, "Char Size", ParamTypeUnitFloat},
    {VexASCII::kEdgeBoost, "Edge Boost", ParamTypeUnitFloat},
    {VexASCII::kInvert, "Invert", ParamTypeBoolean},
    {VexASCII::kBlend, "Blend", ParamTypeUnitFloat},
    {VexASCII::kContrast, "Contrast", ParamTypeUnitFloat},
    {VexASCII::kHueShift, "Hue Shift", ParamTypeUnitFloat},
    {VexASCII::kSpeed, "Speed", ParamTypeUnitFloat},
};

// colorMode + 0.5 truncated toward zero. Values that no int holds (NaN, beyond +-2^31) saturate
// instead of being undefined; every one of them selects the same pink as any other mode >= 3.
std::int32_t ColorModeNumber(float colorMode) {
  const float rounded = colorMode + 0.5f;
  if (rounded != rounded) return -1;
  if (rounded >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (rounded <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

VexASCII::VexASCII() : CFFGLPlugin(false) {
  DeclareOptionParameter(kColorMode, "Color Mode", std::size(kColorModes), 0.0f);
  for (std::uint32_t element = 0; element < std::size(kColorModes); ++element) {
    DeclareOptionElement(kColorMode, element, kColorModes[element].name,
                         kColorModes[element].value);
  }
  for (const FloatParameter& parameter : kFloatParameters) {
    DeclareParameter(parameter.id, parameter.name, parameter.type,
                     VexASCII::ReadFloatParameter(parameter.id));
  }
  SetMinimumInputs(1);
  SetMaximumInputs(1);
}

std::uint32_t VexASCII::Create(CFFGLPlugin** instance) {
  try {
    *instance = new VexASCII;
  } catch (const std::bad_alloc&) {
    *instance = nullptr;
  }
  return *instance ? kSuccess : kFailure;
}

std::uint32_t VexASCII::InitGL(const ViewportRect* viewport) {
  if (!shader.Build(vexascii::kVertexShaderSource, vexascii::kFragmentShaderSource)) {
    WriteHostLog("VexASCII: shader compile failed");
    return kFailure;
  }
  if (!quad.Create(false)) {
    WriteHostLog("VexASCII: quad init failed");
    return kFailure;
  }
  WriteHostLog("VexASCII v1.0: InitGL OK");
  this->viewport = *viewport;
  return kSuccess;
}

std::uint32_t VexASCII::ShutdownGL() {
  shader.Release();
  quad.Release();
  return kSuccess;
}

float* VexASCII::Field(std::uint32_t id) {
  switch (id) {
    case kCharSize:
      return &charSize;
    case kColorMode:
      return &colorMode;
    case kEdgeBoost:
      return &edgeBoost;
    case kInvert:
      return &invert;
    case kBlend:
      return &blend;
    case kContrast:
      return &contrast;
    case kHueShift:
      return &hueShift;
    case kSpeed:
      return &speed;
    default:
      return nullptr;
  }
}

std::uint32_t VexASCII::ApplyFloatParameter(std::uint32_t id, float value) {
  float* field = Field(id);
  if (!field) return kFailure;
  *field = value;
  return kSuccess;
}

float VexASCII::ReadFloatParameter(std::uint32_t id) {
  const float* field = Field(id);
  return field ? *field : 0.0f;
}

std::uint32_t VexASCII::RenderFrame(const FrameInput* frame) {
  if (frame->inputTextureCount < 1 || !frame->inputTextures) return kFailure;
  const TextureInfo* input = frame->inputTextures[0];
  if (!input) return kFailure;

  glBindFramebuffer(GL_FRAMEBUFFER, frame->hostFramebuffer);
  glViewport(0, 0, static_cast<GLsizei>(input->hardwareWidth),
             static_cast<GLsizei>(input->hardwareHeight));

  ffglex::ScopedProgramUse programUse(shader.ProgramHandle());
  ffglex::ScopedTextureUnit textureUnit(0);
  ffglex::Scoped2DTextureBinding textureBinding(input->handle);

  const float hardwareWidth = static_cast<float>(input->hardwareWidth);
  const float hardwareHeight = static_cast<float>(input->hardwareHeight);
  shader.SetUniformInt("InputTexture", 0);
  shader.SetUniformFloat2("MaxUV", static_cast<float>(input->width) / hardwareWidth,
                          static_cast<float>(input->height) / hardwareHeight);
  shader.SetUniformFloat2("Resolution", hardwareWidth, hardwareHeight);
  shader.SetUniformFloat("CharSize", charSize);
  shader.SetUniformInt("ColorMode", ColorModeNumber(colorMode));
  shader.SetUniformFloat("EdgeBoost", edgeBoost);
  shader.SetUniformFloat("Invert", invert);
  shader.SetUniformFloat("Blend", blend);
  shader.SetUniformFloat("Contrast", contrast);
  shader.SetUniformFloat("HueShift", hueShift);

  quad.Draw();
  return kSuccess;
}
