// plugMain: decodes the host's function code and input word, asks the registration record, the
// prototype instance or the host's instance, and encodes the answer. Every call starts from the
// failure answer; no exception leaves this unit (running out of memory gives that failure).
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "framework/CFFGLPlugin.h"
#include "host/Exports.h"
#include "host/GLEntryPoints.h"
#include "host/PluginInfo.h"

namespace {

// The module-owned instance that answers parameter queries made without an instance. It
// never gets GL resources and lives until ReleaseModule.
CFFGLPlugin* prototypeInstance = nullptr;

HostWord FromStatus(std::uint32_t status) {
  return HostWord{status};
}

HostWord FromFloat(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return HostWord{bits};
}

HostWord FromPointer(const void* pointer) {
  return reinterpret_cast<HostWord>(pointer);
}

std::uint32_t LowHalf(HostWord word) {
  return static_cast<std::uint32_t>(word);
}

template <typename Record>
Record* RecordIn(HostWord input) {
  return reinterpret_cast<Record*>(static_cast<std::uintptr_t>(input));
}

// Runs the init hook, then makes the prototype if missing. Non-zero means no prototype.
std::uint32_t EnsurePrototype() {
  const PluginInfo* record = RegisteredPluginInfo();
  if (!record) return kFailure;
  if (ModuleInitHook hook = record->InitHook()) {
    const std::uint32_t result = hook();
    if (result != kSuccess) return result;
  }
  if (!prototypeInstance) {
    PluginFactory factory = record->Factory();
    if (!factory || factory(&prototypeInstance) == kFailure || !prototypeInstance) {
      prototypeInstance = nullptr;
      return kFailure;
    }
  }
  return kSuccess;
}

CFFGLPlugin* Prototype() {
  if (!prototypeInstance && EnsurePrototype() != kSuccess) return nullptr;
  return prototypeInstance;
}

// The registry that answers a query that may name an instance: the instance's, else the
// prototype's.
const CFFGLPlugin* InstanceOrPrototype(CFFGLPlugin* instance) {
  return instance ? instance : Prototype();
}

std::uint32_t PrototypeParameterType(std::uint32_t id) {
  const CFFGLPlugin* prototype = Prototype();
  return prototype ? prototype->GetParameterType(id) : kFailure;
}

// Destroys an instance whose creation failed (or the prototype), without ShutdownGL.
void Discard(CFFGLPlugin* instance) {
  delete instance;
}

HostWord CreateInstance(const ViewportRect* viewport) {
  if (!viewport) return kFailureWord;
  CFFGLPlugin* prototype = Prototype();
  if (!prototype) return kFailureWord;

  CFFGLPlugin* instance = nullptr;
  PluginFactory factory = RegisteredPluginInfo()->Factory();
  if (factory(&instance) == kFailure || !instance) return kFailureWord;
  instance->valueSource = instance;

  try {
    for (std::uint32_t id = 0; id < prototype->GetParameterCount(); ++id) {
      HostWord defaultWord = kFailureWord;
      prototype->GetParameterDefault(id, &defaultWord);
      std::uint32_t status;
      if (IsTextParameterType(prototype->GetParameterType(id))) {
        status = instance->ApplyTextParameter(
            id, reinterpret_cast<const char*>(static_cast<std::uintptr_t>(defaultWord)));
      } else {
        std::uint32_t bits = LowHalf(defaultWord);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        status = instance->ApplyFloatParameter(id, value);
      }
      if (status == kFailure) {
        Discard(instance);
        return kFailureWord;
      }
    }
    if (!EnsureGLEntryPoints()) {
      Discard(instance);
      return kFailureWord;
    }
  } catch (...) {
    Discard(instance);
    return kFailureWord;
  }

  bool initialised = false;
  try {
    initialised = instance->InitGL(viewport) == kSuccess;
  } catch (...) {
  }
  if (!initialised) {
    try {
      instance->ShutdownGL();
    } catch (...) {
    }
    Discard(instance);
    return kFailureWord;
  }
  return FromPointer(instance);
}

HostWord DrawFrame(CFFGLPlugin* instance, const FrameInput* frame) {
  if (!instance || !frame) return FromStatus(kFailure);
  if (!instance->connected) {
    instance->HostConnect();
    instance->connected = true;
  }
  return FromStatus(instance->RenderFrame(frame));
}

// The host drops its pointer after this call whatever it answers, so the instance is destroyed
// even when its disconnect or GL teardown fails or throws; neither result is read.
HostWord DestroyInstance(CFFGLPlugin* instance) {
  if (!instance) return FromStatus(kFailure);
  if (instance->connected) {
    instance->connected = false;
    try {
      instance->HostDisconnect();
    } catch (...) {
    }
  }
  try {
    instance->ShutdownGL();
  } catch (...) {
  }
  delete instance;
  return FromStatus(kSuccess);
}

HostWord ReleaseModule() {
  Discard(prototypeInstance);
  prototypeInstance = nullptr;
  const PluginInfo* record = RegisteredPluginInfo();
  if (record && record->DeinitHook()) record->DeinitHook()();
  return FromStatus(kSuccess);
}

HostWord WriteParameter(CFFGLPlugin* instance, const ParameterValueInput* value) {
  if (!instance || !value) return FromStatus(kFailure);
  if (IsTextParameterType(PrototypeParameterType(value->id))) {
    return FromStatus(instance->ApplyTextParameter(value->id, value->value.text));
  }
  return FromStatus(instance->ApplyFloatParameter(value->id, value->value.floatValue));
}

HostWord ReadParameter(CFFGLPlugin* instance, std::uint32_t id) {
  if (!instance) return FromStatus(kFailure);
  if (IsTextParameterType(PrototypeParameterType(id))) return instance->ReadTextParameter(id);
  return FromFloat(instance->ReadFloatParameter(id));
}

HostWord QueryCapability(std::uint32_t capability) {
  const CFFGLPlugin* prototype = Prototype();
  if (!prototype) return FromStatus(kFailure);
  switch (static_cast<Capability>(capability)) {
    case Capability::Base:
      return FromStatus(prototype->HasBaseCapability() ? 1u : 0u);
    case Capability::MinimumInputs:
      return FromStatus(static_cast<std::uint32_t>(std::max(prototype->GetMinimumInputs(), 0)));
    case Capability::MaximumInputs:
      return FromStatus(static_cast<std::uint32_t>(std::max(prototype->GetMaximumInputs(), 0)));
    case Capability::Optional:
      return FromStatus(prototype->HasOptionalCapability() ? 1u : 0u);
  }
  return FromStatus(0);
}

HostWord EnableCapability(CFFGLPlugin* instance, std::uint32_t capability) {
  if (instance && capability == static_cast<std::uint32_t>(Capability::Optional)) {
    const CFFGLPlugin* prototype = Prototype();
    if (prototype && prototype->HasOptionalCapability()) instance->EnableOptionalCapability();
  }
  return FromStatus(kFailure);
}

HostWord FetchPendingEvents(CFFGLPlugin* instance, PendingEventQuery* query) {
  if (!instance || !query) return FromStatus(kFailure);
  const std::uint32_t pending = instance->CountPendingEvents();
  query->count =
      query->items ? instance->CollectPendingEvents(query->items, query->count) : pending;
  return FromStatus(kSuccess);
}

// Copies the text's bytes into the host's buffer, cut to its size, with no terminator.
HostWord CopyTextToHost(const std::string& text, const TextFetchRequest* request) {
  const std::size_t count = std::min<std::size_t>(text.size(), request->bufferSize);
  std::memcpy(request->buffer, text.data(), count);
  return FromStatus(kSuccess);
}

bool IsUsable(const TextFetchRequest* request) {
  return request && request->bufferSize != 0 && request->buffer;
}

HostWord FetchSharedText(const TextFetchRequest* request) {
  if (!IsUsable(request)) return FromStatus(kFailure);
  const CFFGLPlugin* prototype = Prototype();
  if (!prototype) return FromStatus(kFailure);
  return CopyTextToHost(prototype->CopySharedText(request->id), request);
}

HostWord FetchInstanceText(CFFGLPlugin* instance, const TextFetchRequest* request) {
  if (!instance || !IsUsable(request)) return FromStatus(kFailure);
  return CopyTextToHost(instance->CopyInstanceText(request->id), request);
}

HostWord QueryImage(ImageQuery* query) {
  if (query) {
    query->width = 0;
    query->height = 0;
  }
  return FromStatus(kFailure);
}

HostWord QueryParameterRange(RangeQuery* query) {
  if (!query) return FromStatus(kFailure);
  const CFFGLPlugin* prototype = Prototype();
  if (!prototype) return FromStatus(kFailure);
  prototype->GetParameterRange(query->id, &query->minimum, &query->maximum);
  return FromStatus(kSuccess);
}

HostWord Dispatch(std::uint32_t code, HostWord input, CFFGLPlugin* instance) {
  const std::uint32_t inputValue = LowHalf(input);
  const HostWord failure = FromStatus(kFailure);
  const PluginInfo* record = RegisteredPluginInfo();

  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::QueryInfo:
      return FromPointer(record ? record->InfoPart() : nullptr);
    case FunctionCode::QueryExtendedInfo:
      return FromPointer(record ? record->ExtendedPart() : nullptr);
    case FunctionCode::ReleaseModule:
      return ReleaseModule();
    case FunctionCode::InitModule:
      return FromStatus(EnsurePrototype());

    case FunctionCode::QueryParameterCount: {
      const CFFGLPlugin* prototype = Prototype();
      return prototype ? FromStatus(prototype->GetParameterCount()) : failure;
    }
    case FunctionCode::QueryParameterName: {
      const CFFGLPlugin* prototype = Prototype();
      return FromPointer(prototype ? prototype->GetParameterName(inputValue) : nullptr);
    }
    case FunctionCode::QueryParameterDefault: {
      const CFFGLPlugin* prototype = Prototype();
      HostWord result = failure;
      if (prototype) prototype->GetParameterDefault(inputValue, &result);
      return result;
    }
    case FunctionCode::QueryParameterType: {
      const CFFGLPlugin* prototype = Prototype();
      return prototype ? FromStatus(prototype->GetParameterType(inputValue)) : failure;
    }
    case FunctionCode::QueryIntAttribute: {
      const CFFGLPlugin* prototype = Prototype();
      return prototype ? FromStatus(prototype->GetIntAttribute(inputValue)) : failure;
    }
    case FunctionCode::QueryTextListCount: {
      const CFFGLPlugin* prototype = Prototype();
      return prototype ? FromStatus(prototype->GetTextListCount(inputValue)) : failure;
    }
    case FunctionCode::QueryTextListItem: {
      const ElementRef* ref = RecordIn<const ElementRef>(input);
      const CFFGLPlugin* prototype = ref ? Prototype() : nullptr;
      return FromPointer(prototype ? prototype->GetTextListItem(ref->id, ref->index) : nullptr);
    }
    case FunctionCode::QueryValueListCount: {
      const CFFGLPlugin* prototype = Prototype();
      return FromStatus(prototype ? prototype->GetValueListCount(inputValue) : 0u);
    }
    case FunctionCode::QueryValueListItem: {
      const ElementRef* ref = RecordIn<const ElementRef>(input);
      const CFFGLPlugin* prototype = ref ? Prototype() : nullptr;
      return prototype ? FromStatus(prototype->GetValueListItem(ref->id, ref->index)) : failure;
    }
    case FunctionCode::QueryParameterRange:
      return QueryParameterRange(RecordIn<RangeQuery>(input));
    case FunctionCode::QueryCapability:
      return QueryCapability(inputValue);
    case FunctionCode::FetchPluginData: {
      CFFGLPlugin* prototype = Prototype();
      return FromPointer(prototype ? prototype->QueryPluginData() : nullptr);
    }
    case FunctionCode::FetchSharedText:
      return FetchSharedText(RecordIn<const TextFetchRequest>(input));

    case FunctionCode::QueryElementCount: {
      const CFFGLPlugin* registry = InstanceOrPrototype(instance);
      return registry ? FromStatus(registry->GetElementCount(inputValue)) : failure;
    }
    case FunctionCode::QueryElementName: {
      const ElementRef* ref = RecordIn<const ElementRef>(input);
      const CFFGLPlugin* registry = ref ? InstanceOrPrototype(instance) : nullptr;
      return FromPointer(registry ? registry->GetElementName(ref->id, ref->index) : nullptr);
    }
    case FunctionCode::QueryElementValue: {
      const ElementRef* ref = RecordIn<const ElementRef>(input);
      const CFFGLPlugin* registry = ref ? InstanceOrPrototype(instance) : nullptr;
      HostWord result = failure;
      if (registry) registry->GetElementValue(ref->id, ref->index, &result);
      return result;
    }
    case FunctionCode::QueryFlagAttribute: {
      const CFFGLPlugin* registry = InstanceOrPrototype(instance);
      return registry ? FromStatus(registry->GetFlagAttribute(inputValue)) : failure;
    }

    case FunctionCode::QueryParameterDisplay:
      return instance ? instance->DescribeParameter(inputValue) : kFailureWord;
    case FunctionCode::WriteParameter:
      return WriteParameter(instance, RecordIn<const ParameterValueInput>(input));
    case FunctionCode::ReadParameter:
      return ReadParameter(instance, inputValue);
    case FunctionCode::QueryInputSlot:
      return instance ? FromStatus(instance->QueryInputState(inputValue)) : failure;
    case FunctionCode::WriteElementValue: {
      const ElementValueInput* value = RecordIn<const ElementValueInput>(input);
      if (!instance || !value) return failure;
      return FromStatus(instance->SetElementValue(value->id, value->index, value->value));
    }
    case FunctionCode::DrawFrame:
      return DrawFrame(instance, RecordIn<const FrameInput>(input));
    case FunctionCode::CreateInstance:
      return CreateInstance(RecordIn<const ViewportRect>(input));
    case FunctionCode::DestroyInstance:
      return DestroyInstance(instance);
    case FunctionCode::SendHostTime: {
      const double* time = RecordIn<const double>(input);
      if (!instance || !time) return failure;
      return FromStatus(instance->UpdateHostTime(*time));
    }
    case FunctionCode::ConnectInstance: {
      if (!instance) return failure;
      const std::uint32_t status = instance->HostConnect();
      if (status == kSuccess) instance->connected = true;
      return FromStatus(status);
    }
    case FunctionCode::DisconnectInstance: {
      if (!instance) return failure;
      const std::uint32_t status = instance->HostDisconnect();
      if (status == kSuccess) instance->connected = false;
      return FromStatus(status);
    }
    case FunctionCode::ResizeInstance: {
      const ViewportRect* viewport = RecordIn<const ViewportRect>(input);
      if (!instance || !viewport) return failure;
      return FromStatus(instance->ApplyViewport(viewport));
    }
    case FunctionCode::SendTempo: {
      const TempoInput* tempo = RecordIn<const TempoInput>(input);
      if (!instance || !tempo) return failure;
      instance->UpdateTempo(tempo->tempo, tempo->barPhase);
      return FromStatus(kSuccess);
    }
    case FunctionCode::SendHostIdentity: {
      const HostIdentityInput* identity = RecordIn<const HostIdentityInput>(input);
      if (!instance || !identity) return failure;
      instance->UpdateHostIdentity(identity->name, identity->version);
      return FromStatus(kSuccess);
    }
    case FunctionCode::SendSampleRate:
      if (!instance) return failure;
      instance->UpdateSampleRate(inputValue);
      return FromStatus(kSuccess);
    case FunctionCode::FetchPendingEvents:
      return FetchPendingEvents(instance, RecordIn<PendingEventQuery>(input));
    case FunctionCode::EnableCapability:
      return EnableCapability(instance, inputValue);
    case FunctionCode::FetchInstanceText:
      return FetchInstanceText(instance, RecordIn<const TextFetchRequest>(input));
    case FunctionCode::QueryImage:
      return QueryImage(RecordIn<ImageQuery>(input));
  }
  return failure;  // an unlisted code touches nothing
}

// The failure answer of each code, for a call left by an exception.
HostWord FailureAnswer(std::uint32_t code) {
  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::QueryParameterName:
    case FunctionCode::QueryElementName:
    case FunctionCode::QueryTextListItem:
    case FunctionCode::FetchPluginData:
      return 0;
    case FunctionCode::QueryValueListCount:
      return FromStatus(0);
    default:
      return kFailureWord;
  }
}

}  // namespace

extern "C" VEX_EXPORT HostWord plugMain(std::uint32_t code, HostWord input, void* instance) {
  try {
    return Dispatch(code, input, static_cast<CFFGLPlugin*>(instance));
  } catch (...) {
    return FailureAnswer(code);
  }
}
