#include "framework/CFFGLPlugin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Holds the display text of the last float-valued parameter described, on any instance.
// 16 bytes, always ending in a zero byte.
char displayTextBuffer[16];

}  // namespace

CFFGLPlugin::CFFGLPlugin(bool optionalCapability) : CFFGLPluginManager(optionalCapability) {}

std::uint32_t CFFGLPlugin::InitGL(const ViewportRect* viewport) {
  this->viewport = *viewport;
  return kSuccess;
}

std::uint32_t CFFGLPlugin::ShutdownGL() {
  return kSuccess;
}

HostWord CFFGLPlugin::DescribeParameter(std::uint32_t id) {
  const std::uint32_t type = valueSource->GetParameterType(id);
  if (type == kFailure) return 0;
  if (IsTextParameterType(type)) return valueSource->ReadTextParameter(id);

  // "%f" of any float fits: the longest is 3.4e38 with six decimals, 47 characters.
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%f",
                                   static_cast<double>(valueSource->ReadFloatParameter(id)));
  std::memset(displayTextBuffer, 0, sizeof displayTextBuffer);
  // Values of 1e8 and above (or -1e7 and below) are cut to their first 15 characters, so
  // the host always reads a terminated text.
  const std::size_t kept = length < 0 ? 0
                                      : std::min<std::size_t>(static_cast<std::size_t>(length),
                                                              sizeof displayTextBuffer - 1);
  std::memcpy(displayTextBuffer, text, kept);
  return reinterpret_cast<HostWord>(displayTextBuffer);
}

std::uint32_t CFFGLPlugin::ApplyFloatParameter(std::uint32_t, float) {
  return kFailure;
}

std::uint32_t CFFGLPlugin::ApplyTextParameter(std::uint32_t, const char*) {
  return kFailure;
}

float CFFGLPlugin::ReadFloatParameter(std::uint32_t) {
  return 0.0f;
}

HostWord CFFGLPlugin::ReadTextParameter(std::uint32_t) {
  return kFailureWord;
}

std::uint32_t CFFGLPlugin::RenderFrame(const FrameInput*) {
  return kFailure;
}

std::uint32_t CFFGLPlugin::UpdateHostTime(double time) {
  hostTime = time;
  return kSuccess;
}

void CFFGLPlugin::UpdateTempo(float beatsPerMinute, float phase) {
  tempo = beatsPerMinute;
  barPhase = phase;
}

void CFFGLPlugin::UpdateHostIdentity(const char* name, const char* version) {
  hostName = name ? name : "";
  hostVersion = version ? version : "";
}

void CFFGLPlugin::UpdateSampleRate(std::uint32_t rate) {
  sampleRate = rate;
}

std::uint32_t CFFGLPlugin::QueryInputState(std::uint32_t slot) {
  return slot < static_cast<std::uint32_t>(GetMaximumInputs()) ? 1u : kFailure;
}

void* CFFGLPlugin::QueryPluginData() {
  return nullptr;
}

std::uint32_t CFFGLPlugin::HostConnect() {
  return kSuccess;
}

std::uint32_t CFFGLPlugin::HostDisconnect() {
  return kSuccess;
}

std::uint32_t CFFGLPlugin::ApplyViewport(const ViewportRect* viewport) {
  this->viewport = *viewport;
  return kSuccess;
}
