// A plugin module driven the way a host drives it: through its exported plugMain and
// SetLogCallback only. Load reads the module's identity and its whole parameter catalogue from
// the module's own answers; the instance calls wrap the function codes one by one. Nothing
// here knows any particular plugin.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "host/HostInterface.h"
#include "tools/plughost/platform/ModuleLoader.h"

namespace plughost {

struct ElementInfo {
  std::string name;
  float value = 0.0f;
};

struct ParameterInfo {
  std::uint32_t id = 0;
  std::string name;
  std::uint32_t type = 0;
  bool textValued = false;
  float defaultValue = 0.0f;
  std::string defaultText;
  float rangeMinimum = 0.0f;
  float rangeMaximum = 1.0f;
  std::vector<ElementInfo> elements;  // option parameters only
};

struct ModuleIdentity {
  std::string identifier;
  std::string name;
  std::uint32_t interfaceMajor = 0;
  std::uint32_t interfaceMinor = 0;
  std::uint32_t pluginType = 0;
  bool hasExtendedInfo = false;
  std::uint32_t pluginMajor = 0;
  std::uint32_t pluginMinor = 0;
  std::string description;
  std::string about;
  std::uint32_t minimumInputs = 0;
  std::uint32_t maximumInputs = 0;
  bool baseCapability = false;
  bool optionalCapability = false;
};

// "boolean", "float", "option", "text", "alt text", or "type N" for a code this host does not
// name.
std::string ParameterTypeName(std::uint32_t type);
// "effect" for type 0, "type N" otherwise.
std::string PluginTypeName(std::uint32_t type);

// The module's host-log lines. The log callback has no context pointer, so the sink is
// process-wide; `echo` copies each line to standard error as it arrives (--verbose).
class ModuleLog {
 public:
  static void SetEcho(bool echo);
  static bool Echo();
  static std::vector<std::string> Lines();
  static void Clear();
};

class PluginModule {
 public:
  PluginModule() = default;
  // Releases the module (ReleaseModule) and unloads it. Instances must be gone by then.
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the file, finds plugMain (required) and SetLogCallback (optional; installs the log
  // sink), then QueryInfo, QueryExtendedInfo, InitModule, the capabilities and every
  // parameter. False with one line of reason when any required step fails.
  bool Load(const std::string& path, std::string* error);

  const ModuleIdentity& Identity() const { return identity; }
  const std::vector<ParameterInfo>& Parameters() const { return parameters; }
  // The plugin's name for messages: its registered name, else its identifier.
  std::string DisplayName() const;
  bool HasLogCallback() const { return hasLogCallback; }

  // Instance operations. `instance` is what CreateInstance answered.
  void* CreateInstance(const ViewportRect& viewport);
  bool DestroyInstance(void* instance);
  bool SendHostIdentity(void* instance, const char* name, const char* version);
  bool SendHostTime(void* instance, double seconds);
  bool ResizeInstance(void* instance, const ViewportRect& viewport);
  bool WriteFloat(void* instance, std::uint32_t id, float value);
  bool WriteText(void* instance, std::uint32_t id, const char* text);
  // The instance's current value (ReadParameter): `value` for float-valued parameters, `text`
  // for text-valued ones. False when the module answers failure.
  bool ReadValue(void* instance, const ParameterInfo& parameter, float* value, std::string* text);
  // QueryParameterDisplay; empty when the module offers none.
  std::string DisplayText(void* instance, std::uint32_t id);
  // DrawFrame's status word.
  std::uint32_t DrawFrame(void* instance, const FrameInput& frame);

 private:
  HostWord Call(FunctionCode code, HostWord input = 0, void* instance = nullptr) const;
  template <typename Record>
  HostWord CallWith(FunctionCode code, Record* record, void* instance = nullptr) const {
    return Call(code, reinterpret_cast<HostWord>(record), instance);
  }
  bool ReadIdentity(std::string* error);
  bool ReadParameters(std::string* error);

  LoadedLibrary library;
  PlugMainFunction plugMain = nullptr;
  SetLogCallbackFunction setLogCallback = nullptr;
  bool hasLogCallback = false;
  ModuleIdentity identity;
  std::vector<ParameterInfo> parameters;
};

// An instance that is destroyed (DestroyInstance) when this object ends; the GL context must
// still be current then.
class PluginInstance {
 public:
  PluginInstance() = default;
  PluginInstance(PluginModule* module, void* handle) : module(module), handle(handle) {}
  ~PluginInstance() { Destroy(); }
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;
  PluginInstance(PluginInstance&& other) noexcept { *this = std::move(other); }
  PluginInstance& operator=(PluginInstance&& other) noexcept;

  void* get() const { return handle; }
  explicit operator bool() const { return handle != nullptr; }
  void Destroy();

 private:
  PluginModule* module = nullptr;
  void* handle = nullptr;
};

}  // namespace plughost
