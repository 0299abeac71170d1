// libFuzzer target at the host boundary. Each input is a script of calls a host could make:
// plugMain with any function code (0 to 63 and codes far beyond), ids, element indices, buffer
// sizes, texts and float bits taken from the input; SetLogCallback; and instances created,
// drawn with input textures of fuzzed sizes (up to 256x256, picture within texture) in a real
// GL context, and destroyed. The script never passes what the host contract forbids: instance
// arguments are null or instances this host created and has not destroyed, record pointers are
// null or point at records this host built in exact-size heap blocks (so AddressSanitizer sees
// any read or write beyond them), and a text-valued parameter gets a text. A few answers are
// checked against the contract on the way (unlisted codes, null instances and null records give
// the failure answer; GL bindings end at their defaults); a violation aborts like a crash.
//
// The module is loaded once, as a host loads it: from VEX_FUZZ_MODULE if set, else the effect
// module of this build. Input format: see fuzz/README.md.
#include <GL/glew.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "host/HostInterface.h"
#include "tests/support/GLState.h"
#include "tools/glcontext/GLContext.h"

namespace {

constexpr std::size_t kMaxLiveInstances = 4;
constexpr int kMaxCreationsPerInput = 2;
constexpr int kMaxOperationsPerInput = 64;
constexpr std::uint32_t kMaxTextureSide = 256;
constexpr std::uint32_t kMaxFrameTextures = 3;
constexpr std::uint32_t kMaxEventCapacity = 8;
constexpr std::uint32_t kMaxFetchBuffer = 64;
constexpr std::uint32_t kMaxTextLength = 48;
constexpr std::uint32_t kUsualIdBound = 12;      // ids and indices mostly near the declared ones
constexpr std::size_t kFrameInputReadSize = 20;  // nothing beyond hostFramebuffer is read
constexpr std::size_t kFloatValueReadSize = 12;  // bytes 12 to 15 of a float value unread
constexpr std::size_t kImageQueryWriteSize = 8;  // width and height; the pointer is the host's
constexpr std::size_t kTextFetchReadSize = 20;   // bufferSize is the last field read

// Far codes beyond the table, besides 61 to 63 that the op byte reaches directly.
constexpr std::uint32_t kFarCodes[] = {64,   100,         255,         256,
                                       1000, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
constexpr std::uint8_t kOpFarCodeFirst = 0x40;
constexpr std::uint8_t kOpFarCodeFromInput = 0x48;
constexpr std::uint8_t kOpInstallLog = 0x49;
constexpr std::uint8_t kOpRemoveLog = 0x4A;
constexpr std::uint8_t kCodeOpBound = 64;

// Crash on a broken promise of the contract, with the reason, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                             \
  do {                                                         \
    if (!(condition)) {                                        \
      std::fprintf(stderr, "contract violated: " __VA_ARGS__); \
      std::fprintf(stderr, "\n");                              \
      std::abort();                                            \
    }                                                          \
  } while (0)

// Reads the input front to back; past its end every read gives zero.
class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
  bool Done() const { return at >= size; }
  std::uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::uint32_t U32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return value;
  }
  std::uint64_t U64() {
    const std::uint64_t low = U32();
    return low | static_cast<std::uint64_t>(U32()) << 32;
  }
  // Mostly a small number, near the declared ids; sometimes any 32-bit value.
  std::uint32_t Id() {
    const std::uint8_t selector = Byte();
    return selector < 0xF0 ? selector % kUsualIdBound : U32();
  }

 private:
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
};

// Heap blocks of exactly the requested size, freed when the call is over.
class Blocks {
 public:
  ~Blocks() {
    for (void* block : blocks) std::free(block);
  }
  unsigned char* Make(std::size_t size) {
    // malloc(0) gives a valid pointer to no bytes: touching it is a report.
    auto* block = static_cast<unsigned char*>(std::malloc(size));
    blocks.push_back(block);
    return block;
  }
  // A NUL-terminated text from the script in a block of its exact length, or null.
  const char* Text(Script& script) {
    const std::uint8_t length = script.Byte();
    if (length == 0xFF) return nullptr;
    const std::size_t used = length % (kMaxTextLength + 1);
    char* text = reinterpret_cast<char*>(Make(used + 1));
    for (std::size_t i = 0; i < used; ++i) text[i] = static_cast<char>(script.Byte());
    text[used] = '\0';
    return text;
  }

 private:
  std::vector<void*> blocks;
};

template <typename Field>
void Put(unsigned char* record, std::size_t offset, Field value) {
  std::memcpy(record + offset, &value, sizeof value);
}

void SilentLog(const char*) {}

struct Host {
  glhost::GLSession gl;
  PlugMainFunction plugMain = nullptr;
  SetLogCallbackFunction setLogCallback = nullptr;
  GLuint framebuffer = 0;
  GLuint framebufferTexture = 0;
};

Host* host = nullptr;
bool trace = false;  // VEX_FUZZ_TRACE=1 prints every plugMain call, to follow a saved input

HostWord Call(std::uint32_t code, HostWord input, void* instance) {
  return host->plugMain(code, input, instance);
}

std::uint32_t Low(HostWord word) {
  return static_cast<std::uint32_t>(word);
}

bool IsListedCode(std::uint32_t code) {
  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::QueryInfo:
    case FunctionCode::ReleaseModule:
    case FunctionCode::QueryParameterCount:
    case FunctionCode::QueryParameterName:
    case FunctionCode::QueryParameterDefault:
    case FunctionCode::QueryParameterDisplay:
    case FunctionCode::WriteParameter:
    case FunctionCode::ReadParameter:
    case FunctionCode::QueryCapability:
    case FunctionCode::QueryExtendedInfo:
    case FunctionCode::QueryParameterType:
    case FunctionCode::QueryInputSlot:
    case FunctionCode::DrawFrame:
    case FunctionCode::CreateInstance:
    case FunctionCode::DestroyInstance:
    case FunctionCode::SendHostTime:
    case FunctionCode::ConnectInstance:
    case FunctionCode::DisconnectInstance:
    case FunctionCode::ResizeInstance:
    case FunctionCode::QueryElementCount:
    case FunctionCode::QueryIntAttribute:
    case FunctionCode::FetchPluginData:
    case FunctionCode::InitModule:
    case FunctionCode::QueryElementName:
    case FunctionCode::QueryElementValue:
    case FunctionCode::WriteElementValue:
    case FunctionCode::SendTempo:
    case FunctionCode::SendHostIdentity:
    case FunctionCode::SendSampleRate:
    case FunctionCode::QueryParameterRange:
    case FunctionCode::QueryImage:
    case FunctionCode::QueryTextListCount:
    case FunctionCode::QueryTextListItem:
    case FunctionCode::QueryFlagAttribute:
    case FunctionCode::FetchPendingEvents:
    case FunctionCode::QueryValueListCount:
    case FunctionCode::QueryValueListItem:
    case FunctionCode::EnableCapability:
    case FunctionCode::FetchSharedText:
    case FunctionCode::FetchInstanceText:
      return true;
  }
  return false;
}

// Codes whose input word is a value (a parameter id, slot, capability or rate).
bool TakesValue(std::uint32_t code) {
  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::QueryParameterName:
    case FunctionCode::QueryParameterDefault:
    case FunctionCode::QueryParameterDisplay:
    case FunctionCode::ReadParameter:
    case FunctionCode::QueryCapability:
    case FunctionCode::QueryParameterType:
    case FunctionCode::QueryInputSlot:
    case FunctionCode::QueryElementCount:
    case FunctionCode::QueryIntAttribute:
    case FunctionCode::SendSampleRate:
    case FunctionCode::QueryTextListCount:
    case FunctionCode::QueryFlagAttribute:
    case FunctionCode::QueryValueListCount:
    case FunctionCode::EnableCapability:
      return true;
    default:
      return false;
  }
}

// Codes that fail on a null instance (their failure answer is kFailure in the low half, except
// QueryParameterDisplay's whole failure word).
bool RequiresInstance(std::uint32_t code) {
  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::QueryParameterDisplay:
    case FunctionCode::WriteParameter:
    case FunctionCode::ReadParameter:
    case FunctionCode::QueryInputSlot:
    case FunctionCode::DrawFrame:
    case FunctionCode::DestroyInstance:
    case FunctionCode::SendHostTime:
    case FunctionCode::ConnectInstance:
    case FunctionCode::DisconnectInstance:
    case FunctionCode::ResizeInstance:
    case FunctionCode::WriteElementValue:
    case FunctionCode::SendTempo:
    case FunctionCode::SendHostIdentity:
    case FunctionCode::SendSampleRate:
    case FunctionCode::FetchPendingEvents:
    case FunctionCode::EnableCapability:
    case FunctionCode::FetchInstanceText:
      return true;
    default:
      return false;
  }
}

// The answer of a code whose record pointer is null (all take one except those listed false).
bool NullRecordAnswer(std::uint32_t code, HostWord* answer) {
  switch (static_cast<FunctionCode>(code)) {
    case FunctionCode::CreateInstance:
      *answer = kFailureWord;
      return true;
    case FunctionCode::QueryElementName:
    case FunctionCode::QueryTextListItem:
      *answer = 0;
      return true;
    case FunctionCode::WriteParameter:
    case FunctionCode::DrawFrame:
    case FunctionCode::SendHostTime:
    case FunctionCode::ResizeInstance:
    case FunctionCode::QueryElementValue:
    case FunctionCode::WriteElementValue:
    case FunctionCode::SendTempo:
    case FunctionCode::SendHostIdentity:
    case FunctionCode::QueryParameterRange:
    case FunctionCode::QueryImage:
    case FunctionCode::FetchPendingEvents:
    case FunctionCode::QueryValueListItem:
    case FunctionCode::FetchSharedText:
    case FunctionCode::FetchInstanceText:
      *answer = kFailure;
      return true;
    default:
      return false;
  }
}

// The state one input builds up; everything is undone when the input ends.
class Session {
 public:
  explicit Session(Script& script) : script(script) {}

  ~Session() {
    for (void* instance : live) {
      FUZZ_CHECK(Low(Call(static_cast<std::uint32_t>(FunctionCode::DestroyInstance), 0,
                          instance)) == kSuccess,
                 "DestroyInstance of a live instance failed");
    }
    CheckGL("after the final DestroyInstance calls");
    for (GLuint texture : textures) glDeleteTextures(1, &texture);
    Call(static_cast<std::uint32_t>(FunctionCode::ReleaseModule), 0, nullptr);
    host->setLogCallback(nullptr);
  }

  void Run() {
    for (int operation = 0; operation < kMaxOperationsPerInput && !script.Done(); ++operation) {
      const std::uint8_t op = script.Byte();
      if (op < kCodeOpBound) {
        CallCode(op);
      } else if (op < kOpFarCodeFromInput) {
        CallCode(kFarCodes[op - kOpFarCodeFirst]);
      } else if (op == kOpFarCodeFromInput) {
        CallCode(script.U32());
      } else if (op == kOpInstallLog) {
        host->setLogCallback(SilentLog);
      } else if (op == kOpRemoveLog) {
        host->setLogCallback(nullptr);
      } else {
        CallCode(op % kCodeOpBound);
      }
    }
  }

 private:
  void* PickInstance() {
    const std::uint8_t selector = script.Byte();
    if (live.empty() || selector % 4 == 0) return nullptr;
    return live[selector % live.size()];
  }

  static void CheckGL(const char* when) {
    const std::string problems = testhost::GLStateProblems();
    FUZZ_CHECK(problems.empty(), "GL state %s: %s", when, problems.c_str());
  }

  // A texture of fuzzed size made on this host's context, and its TextureInfo record.
  const TextureInfo* MakeTexture(Blocks& blocks) {
    const std::uint32_t hardwareWidth = 1 + script.Byte() % kMaxTextureSide;
    const std::uint32_t hardwareHeight = 1 + script.Byte() % kMaxTextureSide;
    const std::uint32_t width = script.Byte() % (hardwareWidth + 1);
    const std::uint32_t height = script.Byte() % (hardwareHeight + 1);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(hardwareWidth),
                 static_cast<GLsizei>(hardwareHeight), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    script.Byte() & 1 ? GL_LINEAR : GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    textures.push_back(texture);
    auto* info = reinterpret_cast<TextureInfo*>(blocks.Make(sizeof(TextureInfo)));
    *info = {width, height, hardwareWidth, hardwareHeight, texture};
    return info;
  }

  // Builds the record of a record-taking code in `blocks`.
  bool BuildRecord(std::uint32_t code, Blocks& blocks, unsigned char** record) {
    switch (static_cast<FunctionCode>(code)) {
      case FunctionCode::WriteParameter: {
        const std::uint32_t id = script.Id();
        const std::uint32_t type =
            Low(Call(static_cast<std::uint32_t>(FunctionCode::QueryParameterType), id, nullptr));
        if (IsTextParameterType(type)) {
          *record = blocks.Make(sizeof(ParameterValueInput));
          Put<std::uint32_t>(*record, 0, id);
          Put<std::uint32_t>(*record, 4, script.U32());
          Put<const char*>(*record, 8, blocks.Text(script));
        } else {
          *record = blocks.Make(kFloatValueReadSize);
          Put<std::uint32_t>(*record, 0, id);
          Put<std::uint32_t>(*record, 4, script.U32());
          Put<std::uint32_t>(*record, 8, script.U32());  // any float, NaN and infinities too
        }
        return true;
      }
      case FunctionCode::DrawFrame: {
        const std::uint32_t count = script.Byte() % (kMaxFrameTextures + 1);
        auto** entries =
            reinterpret_cast<const TextureInfo**>(blocks.Make(count * sizeof(TextureInfo*)));
        for (std::uint32_t i = 0; i < count; ++i) {
          entries[i] = script.Byte() % 8 == 0 ? nullptr : MakeTexture(blocks);
        }
        *record = blocks.Make(kFrameInputReadSize);
        Put<std::uint32_t>(*record, 0, count);
        Put<std::uint32_t>(*record, 4, script.U32());
        Put<const TextureInfo* const*>(*record, 8, entries);
        Put<std::uint32_t>(*record, 16, script.Byte() % 4 == 0 ? 0u : host->framebuffer);
        return true;
      }
      case FunctionCode::CreateInstance:
      case FunctionCode::ResizeInstance:
        *record = blocks.Make(sizeof(ViewportRect));
        for (std::size_t offset = 0; offset < sizeof(ViewportRect); offset += 4) {
          Put<std::uint32_t>(*record, offset, script.U32());
        }
        return true;
      case FunctionCode::SendHostTime:
        *record = blocks.Make(sizeof(double));
        Put<std::uint64_t>(*record, 0, script.U64());
        return true;
      case FunctionCode::QueryElementName:
      case FunctionCode::QueryElementValue:
      case FunctionCode::QueryTextListItem:
      case FunctionCode::QueryValueListItem:
        *record = blocks.Make(sizeof(ElementRef));
        Put<std::uint32_t>(*record, 0, script.Id());
        Put<std::uint32_t>(*record, 4, script.Id());
        return true;
      case FunctionCode::WriteElementValue:
        *record = blocks.Make(sizeof(ElementValueInput));
        Put<std::uint32_t>(*record, 0, script.Id());
        Put<std::uint32_t>(*record, 4, script.Id());
        Put<std::uint32_t>(*record, 8, script.U32());
        return true;
      case FunctionCode::SendTempo:
        *record = blocks.Make(sizeof(TempoInput));
        Put<std::uint64_t>(*record, 0, script.U64());
        return true;
      case FunctionCode::SendHostIdentity:
        *record = blocks.Make(sizeof(HostIdentityInput));
        Put<const char*>(*record, 0, blocks.Text(script));
        Put<const char*>(*record, 8, blocks.Text(script));
        return true;
      case FunctionCode::QueryParameterRange:
        *record = blocks.Make(sizeof(RangeQuery));
        Put<std::uint32_t>(*record, 0, script.Id());
        Put<std::uint64_t>(*record, 4, script.U64());
        return true;
      case FunctionCode::QueryImage:
        *record = blocks.Make(kImageQueryWriteSize);
        Put<std::uint64_t>(*record, 0, script.U64());
        return true;
      case FunctionCode::FetchPendingEvents: {
        const std::uint32_t capacity = script.Byte() % (kMaxEventCapacity + 1);
        const bool withItems = script.Byte() % 4 != 0;
        *record = blocks.Make(sizeof(PendingEventQuery));
        Put<std::uint32_t>(*record, 0, capacity);
        Put<std::uint32_t>(*record, 4, script.U32());
        Put<ParameterEvent*>(*record, 8,
                             withItems ? reinterpret_cast<ParameterEvent*>(
                                             blocks.Make(capacity * sizeof(ParameterEvent)))
                                       : nullptr);
        return true;
      }
      case FunctionCode::FetchSharedText:
      case FunctionCode::FetchInstanceText: {
        const std::uint32_t bufferSize = script.Byte() % (kMaxFetchBuffer + 1);
        const bool withBuffer = script.Byte() % 8 != 0;
        *record = blocks.Make(kTextFetchReadSize);
        Put<std::uint32_t>(*record, 0, script.Id());
        Put<std::uint32_t>(*record, 4, script.U32());
        Put<unsigned char*>(*record, 8, withBuffer ? blocks.Make(bufferSize) : nullptr);
        Put<std::uint32_t>(*record, 16, bufferSize);
        return true;
      }
      default:
        return false;
    }
  }

  void CallCode(std::uint32_t code) {
    const auto function = static_cast<FunctionCode>(code);
    if (function == FunctionCode::CreateInstance &&
        (live.size() >= kMaxLiveInstances || creations >= kMaxCreationsPerInput)) {
      return;
    }
    void* instance = PickInstance();
    Blocks blocks;
    HostWord input = 0;
    HostWord nullRecordAnswer = 0;
    bool nullRecord = false;
    if (!IsListedCode(code)) {
      input = script.U64();  // never looked at
    } else if (TakesValue(code)) {
      input = static_cast<HostWord>(script.U32()) << 32 | script.Id();  // upper half ignored
    } else if (NullRecordAnswer(code, &nullRecordAnswer)) {
      unsigned char* record = nullptr;
      nullRecord = script.Byte() % 16 == 0;
      if (!nullRecord) BuildRecord(code, blocks, &record);
      input = reinterpret_cast<HostWord>(record);
    } else {
      input = script.U64();  // a code that does not use its input
    }

    const HostWord answer = Call(code, input, instance);
    if (trace) {
      std::fprintf(stderr, "plugMain(%u, %#llx, %p) -> %#llx\n", code,
                   static_cast<unsigned long long>(input), instance,
                   static_cast<unsigned long long>(answer));
    }

    if (!IsListedCode(code)) {
      FUZZ_CHECK(Low(answer) == kFailure, "unlisted code %u answered %#llx", code,
                 static_cast<unsigned long long>(answer));
    } else if (!instance && RequiresInstance(code)) {
      const HostWord failure =
          function == FunctionCode::QueryParameterDisplay ? kFailureWord : HostWord{kFailure};
      FUZZ_CHECK(function == FunctionCode::QueryParameterDisplay ? answer == failure
                                                                 : Low(answer) == kFailure,
                 "code %u without an instance answered %#llx", code,
                 static_cast<unsigned long long>(answer));
    } else if (nullRecord) {
      // Pointer answers (CreateInstance, the two name queries) fill the whole word.
      const bool wholeWord = function == FunctionCode::CreateInstance || nullRecordAnswer == 0;
      FUZZ_CHECK(wholeWord ? answer == nullRecordAnswer : Low(answer) == kFailure,
                 "code %u with a null record answered %#llx", code,
                 static_cast<unsigned long long>(answer));
    }

    if (function == FunctionCode::CreateInstance) {
      ++creations;
      if (answer != kFailureWord && answer != 0) live.push_back(reinterpret_cast<void*>(answer));
      FUZZ_CHECK(!nullRecord || answer == kFailureWord, "CreateInstance without a viewport");
    }
    if (function == FunctionCode::DestroyInstance && instance) {
      FUZZ_CHECK(Low(answer) == kSuccess, "DestroyInstance of a live instance failed");
      for (std::size_t i = 0; i < live.size(); ++i) {
        if (live[i] == instance) {
          live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    }
    if (function == FunctionCode::CreateInstance || function == FunctionCode::DrawFrame ||
        function == FunctionCode::DestroyInstance) {
      CheckGL("after a GL code");
    }
  }

  Script& script;
  std::vector<void*> live;
  std::vector<GLuint> textures;
  int creations = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  host = new Host;  // lives as long as the process, like a host's context
  std::string error;
  if (!host->gl.Start(&error)) {
    std::fprintf(stderr, "no GL context: %s\n", error.c_str());
    std::exit(1);
  }
  const char* traceSetting = std::getenv("VEX_FUZZ_TRACE");
  trace = traceSetting && *traceSetting == '1';
  const char* path = std::getenv("VEX_FUZZ_MODULE");
  if (!path || !*path) path = VEX_MODULE_PATH;
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    std::exit(1);
  }
  host->plugMain = reinterpret_cast<PlugMainFunction>(dlsym(module, "plugMain"));
  host->setLogCallback = reinterpret_cast<SetLogCallbackFunction>(dlsym(module, "SetLogCallback"));
  if (!host->plugMain || !host->setLogCallback) {
    std::fprintf(stderr, "%s lacks plugMain or SetLogCallback\n", path);
    std::exit(1);
  }
  glGenTextures(1, &host->framebufferTexture);
  glBindTexture(GL_TEXTURE_2D, host->framebufferTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kMaxTextureSide, kMaxTextureSide, 0, GL_RGBA,
               GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenFramebuffers(1, &host->framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, host->framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                         host->framebufferTexture, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  std::fprintf(stderr, "fuzzing %s on %s\n", path, host->gl.Renderer().c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Script script(data, size);
  Session session(script);
  session.Run();
  return 0;
}
