#include "tools/plughost/PluginModule.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "host/PluginInfo.h"

namespace plughost {

namespace {

// More parameters or elements than this is taken as a module answering nonsense.
constexpr std::uint32_t kMaximumListSize = 4096;
constexpr std::uint32_t kPluginTypeEffect = 0;

std::uint32_t Low(HostWord word) {
  return static_cast<std::uint32_t>(word);
}

float FloatBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A text the module answered by pointer; null and the failure word mean none.
const char* TextAt(HostWord word) {
  if (word == 0 || word == kFailureWord) return nullptr;
  return reinterpret_cast<const char*>(word);
}

// A fixed field that has no terminator when it is full.
std::string FixedText(const char* field, std::size_t width) {
  std::size_t length = 0;
  while (length < width && field[length] != '\0') ++length;
  return std::string(field, length);
}

struct LogSink {
  std::mutex mutex;
  std::vector<std::string> lines;
  bool echo = false;
};

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

void ReceiveLogLine(const char* line) {
  LogSink& sink = Sink();
  std::lock_guard<std::mutex> lock(sink.mutex);
  sink.lines.emplace_back(line ? line : "");
  if (sink.echo) std::fprintf(stderr, "[module] %s\n", sink.lines.back().c_str());
}

}  // namespace

std::string ParameterTypeName(std::uint32_t type) {
  switch (type) {
    case ParamTypeBoolean:
      return "boolean";
    case ParamTypeUnitFloat:
      return "float";
    case ParamTypeOption:
      return "option";
    case ParamTypeAltText:
      return "alt text";
    case ParamTypeText:
      return "text";
    default:
      return "type " + std::to_string(type);
  }
}

std::string PluginTypeName(std::uint32_t type) {
  return type == kPluginTypeEffect ? "effect" : "type " + std::to_string(type);
}

void ModuleLog::SetEcho(bool echo) {
  std::lock_guard<std::mutex> lock(Sink().mutex);
  Sink().echo = echo;
}

bool ModuleLog::Echo() {
  std::lock_guard<std::mutex> lock(Sink().mutex);
  return Sink().echo;
}

std::vector<std::string> ModuleLog::Lines() {
  std::lock_guard<std::mutex> lock(Sink().mutex);
  return Sink().lines;
}

void ModuleLog::Clear() {
  std::lock_guard<std::mutex> lock(Sink().mutex);
  Sink().lines.clear();
}

PluginModule::~PluginModule() {
  if (plugMain) Call(FunctionCode::ReleaseModule);
  if (setLogCallback) setLogCallback(nullptr);
  plugMain = nullptr;
  library.Close();
}

HostWord PluginModule::Call(FunctionCode code, HostWord input, void* instance) const {
  return plugMain(static_cast<std::uint32_t>(code), input, instance);
}

std::string PluginModule::DisplayName() const {
  if (!identity.name.empty()) return identity.name;
  if (!identity.identifier.empty()) return identity.identifier;
  return "the plugin";
}

bool PluginModule::Load(const std::string& path, std::string* error) {
  std::string reason;
  if (!library.Open(path, &reason)) {
    *error = "cannot load module '" + path + "': " + reason;
    return false;
  }
  plugMain = reinterpret_cast<PlugMainFunction>(library.Symbol("plugMain"));
  if (!plugMain) {
    *error = "'" + path + "' is not a plugin module: it does not export plugMain";
    library.Close();
    return false;
  }
  setLogCallback = reinterpret_cast<SetLogCallbackFunction>(library.Symbol("SetLogCallback"));
  if (setLogCallback) {
    setLogCallback(ReceiveLogLine);
    hasLogCallback = true;
  }
  return ReadIdentity(error) && ReadParameters(error);
}

bool PluginModule::ReadIdentity(std::string* error) {
  const auto* info = reinterpret_cast<const PluginInfoPart*>(Call(FunctionCode::QueryInfo));
  if (!info || reinterpret_cast<HostWord>(info) == kFailureWord) {
    *error = "the module answers no identity (QueryInfo failed)";
    return false;
  }
  identity.identifier = FixedText(info->identifier, sizeof info->identifier);
  identity.name = FixedText(info->name, sizeof info->name);
  identity.interfaceMajor = info->interfaceMajor;
  identity.interfaceMinor = info->interfaceMinor;
  identity.pluginType = info->pluginType;

  const auto* extended =
      reinterpret_cast<const PluginExtendedInfoPart*>(Call(FunctionCode::QueryExtendedInfo));
  if (extended && reinterpret_cast<HostWord>(extended) != kFailureWord) {
    identity.hasExtendedInfo = true;
    identity.pluginMajor = extended->pluginMajor;
    identity.pluginMinor = extended->pluginMinor;
    if (extended->description) identity.description = extended->description;
    if (extended->about) identity.about = extended->about;
  }

  const std::uint32_t initStatus = Low(Call(FunctionCode::InitModule));
  if (initStatus != kSuccess) {
    char word[16];
    std::snprintf(word, sizeof word, "0x%08X", initStatus);
    *error = DisplayName() + " refused to initialise (InitModule answered " + word + ")";
    return false;
  }

  auto capability = [this](Capability which) {
    return Low(Call(FunctionCode::QueryCapability, static_cast<HostWord>(which)));
  };
  identity.baseCapability = capability(Capability::Base) == 1;
  identity.optionalCapability = capability(Capability::Optional) == 1;
  identity.minimumInputs = capability(Capability::MinimumInputs);
  identity.maximumInputs = capability(Capability::MaximumInputs);
  if (identity.minimumInputs == kFailure) identity.minimumInputs = 0;
  if (identity.maximumInputs == kFailure) identity.maximumInputs = 0;
  return true;
}

bool PluginModule::ReadParameters(std::string* error) {
  const std::uint32_t count = Low(Call(FunctionCode::QueryParameterCount));
  if (count == kFailure || count > kMaximumListSize) {
    *error = DisplayName() + " cannot list its parameters (QueryParameterCount failed)";
    return false;
  }
  parameters.clear();
  for (std::uint32_t id = 0; id < count; ++id) {
    ParameterInfo parameter;
    parameter.id = id;
    if (const char* name = TextAt(Call(FunctionCode::QueryParameterName, id))) {
      parameter.name = name;
    }
    parameter.type = Low(Call(FunctionCode::QueryParameterType, id));
    parameter.textValued = IsTextParameterType(parameter.type);
    const HostWord defaultWord = Call(FunctionCode::QueryParameterDefault, id);
    if (parameter.textValued) {
      if (const char* text = TextAt(defaultWord)) parameter.defaultText = text;
    } else {
      parameter.defaultValue = FloatBits(Low(defaultWord));
    }
    RangeQuery range{id, 0.0f, 1.0f};
    if (Low(CallWith(FunctionCode::QueryParameterRange, &range)) == kSuccess) {
      parameter.rangeMinimum = range.minimum;
      parameter.rangeMaximum = range.maximum;
    }
    if (parameter.type == ParamTypeOption) {
      const std::uint32_t elements = Low(Call(FunctionCode::QueryElementCount, id));
      for (std::uint32_t index = 0;
           elements != kFailure && index < elements && index < kMaximumListSize; ++index) {
        ElementRef ref{id, index};
        ElementInfo element;
        if (const char* name = TextAt(CallWith(FunctionCode::QueryElementName, &ref))) {
          element.name = name;
        }
        element.value = FloatBits(Low(CallWith(FunctionCode::QueryElementValue, &ref)));
        parameter.elements.push_back(element);
      }
    }
    parameters.push_back(parameter);
  }
  return true;
}

void* PluginModule::CreateInstance(const ViewportRect& viewport) {
  ViewportRect record = viewport;
  const HostWord answer = CallWith(FunctionCode::CreateInstance, &record);
  if (answer == 0 || answer == kFailureWord) return nullptr;
  return reinterpret_cast<void*>(answer);
}

bool PluginModule::DestroyInstance(void* instance) {
  return Low(Call(FunctionCode::DestroyInstance, 0, instance)) == kSuccess;
}

bool PluginModule::SendHostIdentity(void* instance, const char* name, const char* version) {
  HostIdentityInput record{name, version};
  return Low(CallWith(FunctionCode::SendHostIdentity, &record, instance)) == kSuccess;
}

bool PluginModule::SendHostTime(void* instance, double seconds) {
  double time = seconds;
  return Low(CallWith(FunctionCode::SendHostTime, &time, instance)) == kSuccess;
}

bool PluginModule::ResizeInstance(void* instance, const ViewportRect& viewport) {
  ViewportRect record = viewport;
  return Low(CallWith(FunctionCode::ResizeInstance, &record, instance)) == kSuccess;
}

bool PluginModule::WriteFloat(void* instance, std::uint32_t id, float value) {
  ParameterValueInput record{};
  record.id = id;
  record.value.floatValue = value;
  return Low(CallWith(FunctionCode::WriteParameter, &record, instance)) == kSuccess;
}

bool PluginModule::WriteText(void* instance, std::uint32_t id, const char* text) {
  ParameterValueInput record{};
  record.id = id;
  record.value.text = text;
  return Low(CallWith(FunctionCode::WriteParameter, &record, instance)) == kSuccess;
}

bool PluginModule::ReadValue(void* instance, const ParameterInfo& parameter, float* value,
                             std::string* text) {
  const HostWord answer = Call(FunctionCode::ReadParameter, parameter.id, instance);
  if (parameter.textValued) {
    const char* characters = TextAt(answer);
    if (!characters) return false;
    *text = characters;
    return true;
  }
  // Float bits of 0xFFFFFFFF are a NaN no plugin stores on purpose: the failure answer.
  if (Low(answer) == kFailure) return false;
  *value = FloatBits(Low(answer));
  return true;
}

std::string PluginModule::DisplayText(void* instance, std::uint32_t id) {
  const char* text = TextAt(Call(FunctionCode::QueryParameterDisplay, id, instance));
  if (!text) return std::string();
  // Display texts are short; a missing terminator must not send us through the module.
  constexpr std::size_t kDisplayLimit = 256;
  return FixedText(text, kDisplayLimit);
}

std::uint32_t PluginModule::DrawFrame(void* instance, const FrameInput& frame) {
  FrameInput record = frame;
  return Low(CallWith(FunctionCode::DrawFrame, &record, instance));
}

PluginInstance& PluginInstance::operator=(PluginInstance&& other) noexcept {
  if (this != &other) {
    Destroy();
    module = other.module;
    handle = other.handle;
    other.handle = nullptr;
  }
  return *this;
}

void PluginInstance::Destroy() {
  if (module && handle) module->DestroyInstance(handle);
  handle = nullptr;
}

}  // namespace plughost
