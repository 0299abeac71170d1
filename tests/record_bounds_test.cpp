// Host records at exactly the size the host contract gives them: every record, array, text and
// buffer that plugMain reads or writes is placed so that it ends where an inaccessible page
// begins, with canary bytes before it (and in any alignment padding after it, poisoned under
// AddressSanitizer). A read or write past what the host provided faults; a stray write before
// or after it shows in the canaries. Null records give each code's failure answer.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/GLState.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"
#include "tests/testplugin/TestPluginKnobs.h"

#if defined(__SANITIZE_ADDRESS__)
#define VEX_RECORDS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEX_RECORDS_ASAN 1
#endif
#endif
#if defined(VEX_RECORDS_ASAN)
#include <sanitizer/asan_interface.h>
#endif

using namespace testhost;

namespace {

constexpr unsigned char kCanary = 0xA5;

// `size` bytes aligned to `alignment`, ending as close to an inaccessible page as the alignment
// allows. A zero-size block is a valid address right at the inaccessible page.
class GuardedBlock {
 public:
  explicit GuardedBlock(std::size_t size, std::size_t alignment = alignof(std::max_align_t))
      : size(size) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t dataPages = (size + alignment + page - 1) / page;
    length = (dataPages + 1) * page;
    void* mapping =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return;
    base = static_cast<unsigned char*>(mapping);
    end = base + dataPages * page;
    mprotect(end, page, PROT_NONE);
    start = reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(end - size) &
                                             ~(static_cast<std::uintptr_t>(alignment) - 1));
    std::memset(base, kCanary, static_cast<std::size_t>(end - base));
    std::memset(start, 0, size);
#if defined(VEX_RECORDS_ASAN)
    ASAN_POISON_MEMORY_REGION(base, static_cast<std::size_t>(start - base));
    ASAN_POISON_MEMORY_REGION(start + size, static_cast<std::size_t>(end - (start + size)));
#endif
  }
  ~GuardedBlock() {
    if (!base) return;
#if defined(VEX_RECORDS_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(base, static_cast<std::size_t>(end - base));
#endif
    munmap(base, length);
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;

  unsigned char* data() const {
    return start;
  }
  HostWord word() const {
    return reinterpret_cast<HostWord>(start);
  }
  template <typename Record>
  Record* as() const {
    return reinterpret_cast<Record*>(start);
  }

  // True when every byte around the block still holds the canary.
  bool Intact() const {
#if defined(VEX_RECORDS_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(base, static_cast<std::size_t>(end - base));
#endif
    bool intact = true;
    for (const unsigned char* byte = base; byte < start; ++byte) intact &= *byte == kCanary;
    for (const unsigned char* byte = start + size; byte < end; ++byte) intact &= *byte == kCanary;
#if defined(VEX_RECORDS_ASAN)
    ASAN_POISON_MEMORY_REGION(base, static_cast<std::size_t>(start - base));
    ASAN_POISON_MEMORY_REGION(start + size, static_cast<std::size_t>(end - (start + size)));
#endif
    return intact;
  }

 private:
  std::size_t size;
  std::size_t length = 0;
  unsigned char* base = nullptr;
  unsigned char* start = nullptr;
  unsigned char* end = nullptr;
};

// A NUL-terminated text in a block of exactly its length plus one.
std::unique_ptr<GuardedBlock> GuardedText(const std::string& text) {
  auto block = std::make_unique<GuardedBlock>(text.size() + 1, 1);
  std::memcpy(block->data(), text.c_str(), text.size() + 1);
  return block;
}

template <typename Field>
void Put(GuardedBlock& block, std::size_t offset, Field value) {
  std::memcpy(block.data() + offset, &value, sizeof value);
}

template <typename Field>
Field Get(const GuardedBlock& block, std::size_t offset) {
  Field value;
  std::memcpy(&value, block.data() + offset, sizeof value);
  return value;
}

std::uint32_t FloatBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

class RecordBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(EnsureGLContext(&error)) << error;
    Load(VexModulePath());
  }

  void TearDown() override { Unload(); }

  void Load(const std::string& path) {
    module = std::make_unique<LoadedModule>(path);
    ASSERT_TRUE(module->ok()) << module->error();
    instance = module->CreateInstance(32, 32);
    ASSERT_NE(instance, nullptr);
  }

  void Unload() {
    if (!module) return;
    if (instance) module->Call(FunctionCode::DestroyInstance, 0, instance);
    instance = nullptr;
    module->Call(FunctionCode::ReleaseModule);  // as a host unloads
    module.reset();
  }

  HostWord Call(FunctionCode code, const GuardedBlock& record) const {
    return module->Call(code, record.word(), instance);
  }

  std::unique_ptr<LoadedModule> module;
  void* instance = nullptr;
};

TEST_F(RecordBounds, NullRecordsGiveEachCodesFailureAnswer) {
  struct NullCase {
    FunctionCode code;
    HostWord failure;
    bool wholeWord;  // a pointer answer: all 64 bits; otherwise the low half
  };
  const NullCase cases[] = {
      {FunctionCode::WriteParameter, kFailure, false},
      {FunctionCode::DrawFrame, kFailure, false},
      {FunctionCode::CreateInstance, kFailureWord, true},
      {FunctionCode::SendHostTime, kFailure, false},
      {FunctionCode::ResizeInstance, kFailure, false},
      {FunctionCode::QueryElementName, 0, true},
      {FunctionCode::QueryElementValue, kFailure, false},
      {FunctionCode::WriteElementValue, kFailure, false},
      {FunctionCode::SendTempo, kFailure, false},
      {FunctionCode::SendHostIdentity, kFailure, false},
      {FunctionCode::QueryParameterRange, kFailure, false},
      {FunctionCode::QueryImage, kFailure, false},
      {FunctionCode::QueryTextListItem, 0, true},
      {FunctionCode::FetchPendingEvents, kFailure, false},
      {FunctionCode::QueryValueListItem, kFailure, false},
      {FunctionCode::FetchSharedText, kFailure, false},
      {FunctionCode::FetchInstanceText, kFailure, false},
  };
  for (const NullCase& nullCase : cases) {
    const HostWord answer = module->Call(nullCase.code, 0, instance);
    if (nullCase.wholeWord) {
      EXPECT_EQ(answer, nullCase.failure) << "code " << static_cast<int>(nullCase.code);
    } else {
      EXPECT_EQ(LoadedModule::Low(answer), nullCase.failure)
          << "code " << static_cast<int>(nullCase.code);
    }
  }
}

// Each record exactly as long as the part the contract lets the module read or write.
TEST_F(RecordBounds, RecordsEndingWhereTheContractEnds) {
  struct RecordCase {
    const char* name;
    FunctionCode code;
    std::size_t size;
    std::function<void(GuardedBlock&)> fill;
    std::function<void(HostWord answer, const GuardedBlock&)> check;
  };
  auto text = GuardedText("Lanternfish Host");
  auto version = GuardedText("2.1");
  const RecordCase cases[] = {
      // A float parameter's value record: bytes 12 to 15 are not read.
      {"WriteParameter", FunctionCode::WriteParameter, 12,
       [](GuardedBlock& r) {
         Put<std::uint32_t>(r, 0, 0);
         Put<float>(r, 8, 0.75f);
       },
       [this](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
         EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::ReadParameter, 0, instance)),
                   FloatBits(0.75f));
       }},
      {"CreateInstance", FunctionCode::CreateInstance, sizeof(ViewportRect),
       [](GuardedBlock& r) {
         *r.as<ViewportRect>() = {0, 0, 16, 16};
       },
       [this](HostWord answer, const GuardedBlock&) {
         ASSERT_NE(answer, kFailureWord);
         ASSERT_NE(answer, 0u);
         EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0,
                                                  reinterpret_cast<void*>(answer))),
                   kSuccess);
       }},
      {"ResizeInstance", FunctionCode::ResizeInstance, sizeof(ViewportRect),
       [](GuardedBlock& r) {
         *r.as<ViewportRect>() = {0, 0, 640, 360};
       },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
       }},
      {"SendHostTime", FunctionCode::SendHostTime, sizeof(double),
       [](GuardedBlock& r) { Put<double>(r, 0, 12.5); },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
       }},
      {"QueryElementName", FunctionCode::QueryElementName, sizeof(ElementRef),
       [](GuardedBlock& r) {
         *r.as<ElementRef>() = {1, 2};
       },
       [](HostWord answer, const GuardedBlock&) {
         ASSERT_NE(answer, 0u);
         EXPECT_STREQ(reinterpret_cast<const char*>(answer), "White");
       }},
      {"QueryElementValue", FunctionCode::QueryElementValue, sizeof(ElementRef),
       [](GuardedBlock& r) {
         *r.as<ElementRef>() = {1, 3};
       },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), FloatBits(3.0f));
       }},
      {"QueryTextListItem", FunctionCode::QueryTextListItem, sizeof(ElementRef),
       [](GuardedBlock& r) {
         *r.as<ElementRef>() = {0, 0};
       },
       [](HostWord answer, const GuardedBlock&) { EXPECT_EQ(answer, 0u); }},
      {"QueryValueListItem", FunctionCode::QueryValueListItem, sizeof(ElementRef),
       [](GuardedBlock& r) {
         *r.as<ElementRef>() = {0, 0};
       },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kFailure);
       }},
      {"WriteElementValue", FunctionCode::WriteElementValue, sizeof(ElementValueInput),
       [](GuardedBlock& r) {
         *r.as<ElementValueInput>() = {1, 0, 5.0f};
       },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
       }},
      {"SendTempo", FunctionCode::SendTempo, sizeof(TempoInput),
       [](GuardedBlock& r) {
         *r.as<TempoInput>() = {128.0f, 0.25f};
       },
       [](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
       }},
      {"SendHostIdentity with texts of their exact length", FunctionCode::SendHostIdentity,
       sizeof(HostIdentityInput),
       [&](GuardedBlock& r) {
         *r.as<HostIdentityInput>() = {reinterpret_cast<const char*>(text->data()),
                                       reinterpret_cast<const char*>(version->data())};
       },
       [&](HostWord answer, const GuardedBlock&) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
         EXPECT_TRUE(text->Intact() && version->Intact());
       }},
      {"QueryParameterRange", FunctionCode::QueryParameterRange, sizeof(RangeQuery),
       [](GuardedBlock& r) {
         *r.as<RangeQuery>() = {0, -7.0f, -7.0f};
       },
       [](HostWord answer, const GuardedBlock& r) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
         EXPECT_EQ(r.as<RangeQuery>()->minimum, 0.0f);
         EXPECT_EQ(r.as<RangeQuery>()->maximum, 1.0f);
       }},
      // Only width and height are written; the pixel pointer that follows is never touched,
      // so a record without it must do.
      {"QueryImage without its pixel pointer", FunctionCode::QueryImage, 8,
       [](GuardedBlock& r) {
         Put<std::uint32_t>(r, 0, 99);
         Put<std::uint32_t>(r, 4, 99);
       },
       [](HostWord answer, const GuardedBlock& r) {
         EXPECT_EQ(LoadedModule::Low(answer), kFailure);
         EXPECT_EQ(Get<std::uint32_t>(r, 0), 0u);
         EXPECT_EQ(Get<std::uint32_t>(r, 4), 0u);
       }},
      {"FetchPendingEvents with no item array", FunctionCode::FetchPendingEvents,
       sizeof(PendingEventQuery),
       [](GuardedBlock& r) {
         *r.as<PendingEventQuery>() = {5, 0, nullptr};
       },
       [](HostWord answer, const GuardedBlock& r) {
         EXPECT_EQ(LoadedModule::Low(answer), kSuccess);
         EXPECT_EQ(r.as<PendingEventQuery>()->count, 0u);
       }},
  };
  for (const RecordCase& recordCase : cases) {
    SCOPED_TRACE(recordCase.name);
    GuardedBlock record(recordCase.size);
    recordCase.fill(record);
    const HostWord answer = Call(recordCase.code, record);
    recordCase.check(answer, record);
    EXPECT_TRUE(record.Intact()) << "bytes around the record were written";
  }
}

TEST_F(RecordBounds, FrameRecordsOfExactSize) {
  std::vector<std::uint8_t> white(16 * 16 * 4, 255);
  HostTexture input = MakeInputTexture(16, 16, 16, 16, white);
  HostFramebuffer target = MakeFramebuffer(16, 16, false);
  constexpr std::size_t kFrameInputReadSize = 20;  // nothing beyond hostFramebuffer is read

  auto frameWith = [&](std::uint32_t count, const GuardedBlock& textures) {
    auto frame = std::make_unique<GuardedBlock>(kFrameInputReadSize);
    Put<std::uint32_t>(*frame, 0, count);
    Put<const void*>(*frame, 8, textures.data());
    Put<std::uint32_t>(*frame, 16, target.framebuffer);
    return frame;
  };

  {
    SCOPED_TRACE("one texture");
    GuardedBlock info(sizeof(TextureInfo), alignof(TextureInfo));
    *info.as<TextureInfo>() = input.info;
    GuardedBlock textures(sizeof(const TextureInfo*));
    Put<const TextureInfo*>(textures, 0, info.as<TextureInfo>());
    auto frame = frameWith(1, textures);
    EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::DrawFrame, *frame)), kSuccess);
    EXPECT_EQ(GLStateProblems(), "");
    EXPECT_TRUE(frame->Intact() && textures.Intact() && info.Intact());
  }

  // Without a usable first texture nothing is drawn and no binding changes: the framebuffer
  // the host had bound stays bound.
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  {
    SCOPED_TRACE("no texture: an empty array right at the inaccessible page");
    GuardedBlock textures(0);
    auto frame = frameWith(0, textures);
    EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::DrawFrame, *frame)), kFailure);
    EXPECT_TRUE(frame->Intact() && textures.Intact());
  }
  {
    SCOPED_TRACE("a null first texture");
    GuardedBlock textures(sizeof(const TextureInfo*));
    Put<const TextureInfo*>(textures, 0, nullptr);
    auto frame = frameWith(1, textures);
    EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::DrawFrame, *frame)), kFailure);
    EXPECT_TRUE(frame->Intact() && textures.Intact());
  }
  GLint drawFramebuffer = -1;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
  EXPECT_EQ(drawFramebuffer, 0);
  EXPECT_EQ(GLStateProblems(), "");
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}

// The text paths, on the tests' own plugin, whose Caption parameter has the shared text
// "shared", the instance text "instance", and pending events when asked.
class TestPluginRecordBounds : public RecordBounds {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(EnsureGLContext(&error)) << error;
    module = std::make_unique<LoadedModule>(TestPluginModulePath());
    ASSERT_TRUE(module->ok()) << module->error();
    auto control = reinterpret_cast<TestPluginControlFunction>(module->Symbol("TestPluginControl"));
    ASSERT_NE(control, nullptr);
    control()->pendingEvents = {{kTestMode, 11}, {kTestLevel, 22}, {kTestCaption, 33}};
    instance = module->CreateInstance(32, 32);
    ASSERT_NE(instance, nullptr);
  }
};

TEST_F(TestPluginRecordBounds, TextFetchesWriteNoMoreThanTheBuffer) {
  struct FetchCase {
    FunctionCode code;
    std::string text;
  };
  const FetchCase fetches[] = {{FunctionCode::FetchSharedText, "shared"},
                               {FunctionCode::FetchInstanceText, "instance"}};
  constexpr std::size_t kTextFetchReadSize = 20;  // bufferSize is the last field read
  constexpr unsigned char kUntouched = 0x5A;
  for (const FetchCase& fetch : fetches) {
    for (std::uint32_t bufferSize = 1; bufferSize <= fetch.text.size() + 2; ++bufferSize) {
      SCOPED_TRACE(::testing::Message() << fetch.text << ", buffer of " << bufferSize);
      GuardedBlock buffer(bufferSize, 1);
      std::memset(buffer.data(), kUntouched, bufferSize);
      GuardedBlock request(kTextFetchReadSize);
      Put<std::uint32_t>(request, 0, kTestCaption);
      Put<void*>(request, 8, buffer.data());
      Put<std::uint32_t>(request, 16, bufferSize);
      EXPECT_EQ(LoadedModule::Low(Call(fetch.code, request)), kSuccess);
      const std::size_t copied = std::min<std::size_t>(bufferSize, fetch.text.size());
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), copied),
                fetch.text.substr(0, copied));
      for (std::size_t i = copied; i < bufferSize; ++i) EXPECT_EQ(buffer.data()[i], kUntouched);
      EXPECT_TRUE(buffer.Intact() && request.Intact());
    }
  }
}

TEST_F(TestPluginRecordBounds, PendingEventsFillNoMoreThanTheCapacity) {
  constexpr std::uint32_t kCapacity = 2;
  GuardedBlock items(kCapacity * sizeof(ParameterEvent));
  std::memset(items.data(), kCanary, kCapacity * sizeof(ParameterEvent));
  GuardedBlock query(sizeof(PendingEventQuery));
  *query.as<PendingEventQuery>() = {kCapacity, 0, items.as<ParameterEvent>()};
  EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::FetchPendingEvents, query)), kSuccess);
  EXPECT_EQ(query.as<PendingEventQuery>()->count, kCapacity);
  // Declaration order is Mode, Level, Label, Caption: the first two are collected.
  EXPECT_EQ(Get<std::uint32_t>(items, 0), static_cast<std::uint32_t>(kTestMode));
  EXPECT_EQ(Get<std::uint64_t>(items, 8), 11u);
  EXPECT_EQ(Get<std::uint32_t>(items, 16), static_cast<std::uint32_t>(kTestLevel));
  EXPECT_EQ(Get<std::uint64_t>(items, 24), 22u);
  for (std::size_t unused : {std::size_t{4}, std::size_t{20}}) {
    EXPECT_EQ(Get<std::uint32_t>(items, unused), 0xA5A5A5A5u) << "offset " << unused;
  }
  EXPECT_TRUE(items.Intact() && query.Intact());

  // The rest is left for the next collection.
  *query.as<PendingEventQuery>() = {kCapacity, 0, items.as<ParameterEvent>()};
  EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::FetchPendingEvents, query)), kSuccess);
  EXPECT_EQ(query.as<PendingEventQuery>()->count, 1u);
  EXPECT_EQ(Get<std::uint32_t>(items, 0), static_cast<std::uint32_t>(kTestCaption));
}

TEST_F(TestPluginRecordBounds, TextParameterValuesAreReadUpToTheirTerminator) {
  auto caption = GuardedText("guarded caption");
  GuardedBlock value(sizeof(ParameterValueInput));
  Put<std::uint32_t>(value, 0, kTestCaption);
  Put<const void*>(value, 8, caption->data());
  EXPECT_EQ(LoadedModule::Low(Call(FunctionCode::WriteParameter, value)), kSuccess);
  const HostWord read = module->Call(FunctionCode::ReadParameter, kTestCaption, instance);
  ASSERT_NE(read, 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(read), "guarded caption");
  EXPECT_TRUE(value.Intact() && caption->Intact());
}

}  // namespace
