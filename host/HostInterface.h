// The host boundary: the two exported entry points, the function codes of plugMain, the
// result conventions, and every record the host passes to plugMain by pointer. Everything here
// is a byte layout the host reads or writes directly; each record is pinned by static_assert.
// Hosts (such as plughost) include this header too, so it depends on nothing but <cstdint>.
#pragma once

#include <cstddef>
#include <cstdint>

// The 64-bit word plugMain takes and answers: a u32 or float bits in its low half, or a pointer.
using HostWord = std::uint64_t;

// Every status crossing the boundary: 0 is success, 0xFFFFFFFF is failure.
constexpr std::uint32_t kSuccess = 0u;
constexpr std::uint32_t kFailure = 0xFFFFFFFFu;
// The pointer-sized failure answer of some codes: kFailure in the low half, zero above.
constexpr HostWord kFailureWord = HostWord{kFailure};

enum class FunctionCode : std::uint32_t {
  QueryInfo = 0,
  ReleaseModule = 2,
  QueryParameterCount = 4,
  QueryParameterName = 5,
  QueryParameterDefault = 6,
  QueryParameterDisplay = 7,
  WriteParameter = 8,
  ReadParameter = 9,
  QueryCapability = 10,
  QueryExtendedInfo = 13,
  QueryParameterType = 15,
  QueryInputSlot = 16,
  DrawFrame = 17,
  CreateInstance = 18,
  DestroyInstance = 19,
  SendHostTime = 20,
  ConnectInstance = 21,
  DisconnectInstance = 22,
  ResizeInstance = 23,
  QueryElementCount = 31,
  QueryIntAttribute = 32,
  FetchPluginData = 33,
  InitModule = 34,
  QueryElementName = 35,
  QueryElementValue = 36,
  WriteElementValue = 37,
  SendTempo = 38,
  SendHostIdentity = 39,
  SendSampleRate = 40,
  QueryParameterRange = 41,
  QueryImage = 42,
  QueryTextListCount = 43,
  QueryTextListItem = 44,
  QueryFlagAttribute = 45,
  FetchPendingEvents = 46,
  QueryValueListCount = 47,
  QueryValueListItem = 48,
  EnableCapability = 49,
  FetchSharedText = 50,
  FetchInstanceText = 51,
};

// Capability numbers of QueryCapability and EnableCapability.
enum class Capability : std::uint32_t {
  Base = 5,
  MinimumInputs = 10,
  MaximumInputs = 11,
  Optional = 16,
};

// Parameter type codes. Text and AltText carry text; every other code carries a 32-bit float.
enum ParameterType : std::uint32_t {
  ParamTypeBoolean = 0,
  ParamTypeUnitFloat = 10,
  ParamTypeOption = 11,
  ParamTypeAltText = 14,
  ParamTypeText = 100,
};

constexpr bool IsTextParameterType(std::uint32_t type) {
  return type == ParamTypeText || type == ParamTypeAltText;
}

// The entry points, as a host looks them up by name.
using HostLogCallback = void (*)(const char* line);
using PlugMainFunction = HostWord (*)(std::uint32_t code, HostWord input, void* instance);
using SetLogCallbackFunction = void (*)(HostLogCallback callback);

// --- Records the host passes by pointer in the input word -------------------------------------

struct ParameterValueInput {  // WriteParameter
  std::uint32_t id;
  std::uint32_t padding;
  union {
    float floatValue;  // the first 4 bytes; bytes 12 to 15 are not read
    const char* text;  // for text-valued parameters
  } value;
};
static_assert(sizeof(ParameterValueInput) == 16);
static_assert(offsetof(ParameterValueInput, id) == 0);
static_assert(offsetof(ParameterValueInput, value) == 8);

struct ElementRef {  // QueryElementName, QueryElementValue, QueryTextListItem, QueryValueListItem
  std::uint32_t id;
  std::uint32_t index;
};
static_assert(sizeof(ElementRef) == 8);
static_assert(offsetof(ElementRef, index) == 4);

struct ElementValueInput {  // WriteElementValue
  std::uint32_t id;
  std::uint32_t index;
  float value;
};
static_assert(sizeof(ElementValueInput) == 12);
static_assert(offsetof(ElementValueInput, index) == 4);
static_assert(offsetof(ElementValueInput, value) == 8);

struct TempoInput {  // SendTempo
  float tempo;       // beats per minute
  float barPhase;    // 0 to 1
};
static_assert(sizeof(TempoInput) == 8);
static_assert(offsetof(TempoInput, barPhase) == 4);

struct HostIdentityInput {  // SendHostIdentity
  const char* name;
  const char* version;
};
static_assert(sizeof(HostIdentityInput) == 16);
static_assert(offsetof(HostIdentityInput, version) == 8);

struct RangeQuery {  // QueryParameterRange; minimum and maximum are written by the module
  std::uint32_t id;
  float minimum;
  float maximum;
};
static_assert(sizeof(RangeQuery) == 12);
static_assert(offsetof(RangeQuery, minimum) == 4);
static_assert(offsetof(RangeQuery, maximum) == 8);

struct ImageQuery {  // QueryImage; width and height are written by the module
  std::uint32_t width;
  std::uint32_t height;
  void* pixels;
};
static_assert(sizeof(ImageQuery) == 16);
static_assert(offsetof(ImageQuery, height) == 4);
static_assert(offsetof(ImageQuery, pixels) == 8);

// One pending parameter event, written by the module into the host's array.
struct ParameterEvent {
  std::uint32_t id;
  std::uint32_t unused;  // not written
  std::uint64_t pendingEvent;
};
static_assert(sizeof(ParameterEvent) == 16);
static_assert(offsetof(ParameterEvent, pendingEvent) == 8);

struct PendingEventQuery {  // FetchPendingEvents
  std::uint32_t count;      // in: capacity of items; out: items written, or events pending
  std::uint32_t padding;
  ParameterEvent* items;  // may be null
};
static_assert(sizeof(PendingEventQuery) == 16);
static_assert(offsetof(PendingEventQuery, items) == 8);

struct TextFetchRequest {  // FetchSharedText, FetchInstanceText
  std::uint32_t id;
  std::uint32_t padding;
  char* buffer;
  std::uint32_t bufferSize;  // bytes
};
static_assert(sizeof(TextFetchRequest) == 24);
static_assert(offsetof(TextFetchRequest, buffer) == 8);
static_assert(offsetof(TextFetchRequest, bufferSize) == 16);
