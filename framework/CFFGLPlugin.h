// The base of every plugin instance: the parameter registry plus the state the host feeds in,
// and the virtual operations through which plugMain drives an instance. Each operation has a
// default; a plugin class overrides what it stores and draws.
//
// Lifecycle, all on the host's thread: the factory constructs; plugMain sets valueSource, applies
// every parameter's default, loads GL and calls InitGL; then any number of frames and updates;
// HostDisconnect (if connected), ShutdownGL and the destructor. Results are status words.
#pragma once

#include <cstdint>
#include <string>

#include "framework/CFFGLPluginManager.h"
#include "framework/HostRecords.h"

class CFFGLPlugin : public CFFGLPluginManager {
 public:
  explicit CFFGLPlugin(bool optionalCapability);
  ~CFFGLPlugin() override = default;

  // Called once after creation, GL context current. Non-zero fails the creation, after which
  // ShutdownGL runs and the instance is destroyed. Default: stores the viewport, succeeds.
  virtual std::uint32_t InitGL(const ViewportRect* viewport);
  // Deletes what InitGL made; may run twice or after a partial InitGL. GL context current.
  virtual std::uint32_t ShutdownGL();
  // Display text of a parameter's current value, read through valueSource: "%f" of the float
  // for float-valued types in a module-wide 16-byte buffer, ReadTextParameter's word for text
  // types, null for an unknown id. The buffer is overwritten by the next float description.
  virtual HostWord DescribeParameter(std::uint32_t id);
  // Store a value; called with every default at creation and on the host's writes.
  // The defaults refuse (kFailure), so a plugin with parameters must override them.
  virtual std::uint32_t ApplyFloatParameter(std::uint32_t id, float value);
  virtual std::uint32_t ApplyTextParameter(std::uint32_t id, const char* text);
  // Current values. Defaults: 0.0, and kFailureWord for text.
  virtual float ReadFloatParameter(std::uint32_t id);
  virtual HostWord ReadTextParameter(std::uint32_t id);
  // Draws one frame into frame->hostFramebuffer, GL context current. Default refuses.
  virtual std::uint32_t RenderFrame(const FrameInput* frame);
  virtual std::uint32_t UpdateHostTime(double time);
  virtual void UpdateTempo(float beatsPerMinute, float phase);
  // Copies both texts; a null text is stored as an empty one.
  virtual void UpdateHostIdentity(const char* name, const char* version);
  virtual void UpdateSampleRate(std::uint32_t rate);
  // 1 when the slot is below maximumInputs (compared unsigned), else kFailure.
  virtual std::uint32_t QueryInputState(std::uint32_t slot);
  // Asked of the prototype only. Default: none (null).
  virtual void* QueryPluginData();
  // Before the first frame, or on the host's connect request. Default succeeds.
  virtual std::uint32_t HostConnect();
  virtual std::uint32_t HostDisconnect();
  virtual std::uint32_t ApplyViewport(const ViewportRect* viewport);

  // Read and written by plugMain only.
  bool connected = false;
  CFFGLPlugin* valueSource = nullptr;

 protected:
  ViewportRect viewport{};
  float tempo = 120.0f;
  float barPhase = 0.0f;
  std::string hostName;
  std::string hostVersion;
  double hostTime = 0.0;
  std::uint32_t sampleRate = 0;
};
