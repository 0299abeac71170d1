// plugMain as a host drives it: the answer and the failure answer of every function code, which
// failures are null, the low-half 0xFFFFFFFF or the full word 0x00000000FFFFFFFF, when the
// prototype is made, and the record-copying codes. The effect module answers the catalogue
// questions; the test plugin module makes refusals and pending events reachable.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "tests/testplugin/TestPluginHost.h"

using namespace testhost;

namespace {

// One expected answer. `fullWord` compares all 64 bits (pointer answers and the word
// 0x00000000FFFFFFFF); otherwise only the low half carries the answer.
struct Answer {
  const char* what;
  FunctionCode code;
  HostWord input;
  void* instance;
  HostWord expected;
  bool fullWord;
};

void ExpectAnswers(const LoadedModule& module, const std::vector<Answer>& answers) {
  for (const Answer& answer : answers) {
    const HostWord got = module.Call(answer.code, answer.input, answer.instance);
    if (answer.fullWord) {
      EXPECT_EQ(got, answer.expected) << answer.what;
    } else {
      EXPECT_EQ(LoadedModule::Low(got), LoadedModule::Low(answer.expected)) << answer.what;
    }
  }
}

HostWord WordOf(const void* record) {
  return reinterpret_cast<HostWord>(record);
}

constexpr HostWord kNull = 0;

TEST(Dispatch, UnlistedCodesFailWithoutTouchingAnything) {
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  // Stands in for both the input record and the instance: any read of it as an instance or
  // any write into it would show.
  alignas(16) unsigned char junk[64];
  std::memset(junk, 0xAB, sizeof junk);
  std::vector<std::uint32_t> codes = {1, 3, 11, 12, 14, 52, 53, 1000, 0x7FFFFFFF, 0xFFFFFFFF};
  for (std::uint32_t code = 24; code <= 30; ++code) codes.push_back(code);
  for (std::uint32_t code : codes) {
    EXPECT_EQ(LoadedModule::Low(module.CallRaw(code, WordOf(junk), junk)), kFailure) << code;
    EXPECT_EQ(LoadedModule::Low(module.CallRaw(code)), kFailure) << code;
  }
  for (unsigned char byte : junk) ASSERT_EQ(byte, 0xAB);
  EXPECT_EQ(module.knobs().factoryCalls, 0);
  EXPECT_EQ(module.knobs().initHookCalls, 0);
}

TEST(Dispatch, PrototypeIsMadeOnDemandAndRemadeAfterRelease) {
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  TestPluginKnobs& knobs = module.knobs();

  EXPECT_NE(module.Call(FunctionCode::QueryInfo), kNull);
  EXPECT_NE(module.Call(FunctionCode::QueryExtendedInfo), kNull);
  EXPECT_EQ(module.Call(FunctionCode::CreateInstance, kNull), kFailureWord);
  EXPECT_EQ(knobs.factoryCalls, 0) << "identity queries and a refused creation make no prototype";
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);
  EXPECT_EQ(knobs.deinitHookCalls, 1);

  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterCount)), 4u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterType, kTestLevel)),
            ParamTypeUnitFloat);
  EXPECT_EQ(knobs.factoryCalls, 1);
  EXPECT_EQ(knobs.initHookCalls, 1);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::InitModule)), kSuccess);
  EXPECT_EQ(knobs.initHookCalls, 2) << "InitModule runs the hook every time";
  EXPECT_EQ(knobs.factoryCalls, 1) << "but makes no second prototype";

  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);
  EXPECT_EQ(knobs.liveInstances, 0);
  EXPECT_EQ(knobs.deinitHookCalls, 2);
  EXPECT_EQ(knobs.journal.back(), "dtor");
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);

  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterCount)), 4u);
  EXPECT_EQ(knobs.factoryCalls, 2);
  EXPECT_EQ(knobs.liveInstances, 1);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, EffectCountsEightParametersBeforeAndAfterRelease) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterCount)), 8u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterCount)), 8u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::InitModule)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

// Every way the prototype can be missing, and the failure answer each code then gives.
struct Refusal {
  const char* what;
  void (*arrange)(TestPluginKnobs&);
  std::uint32_t initModuleAnswer;
  int factoryCallsPerAttempt;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
  *out << refusal.what;
}

class RefusedPrototype : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedPrototype, CodesNeedingItGiveTheirFailureAnswer) {
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  GetParam().arrange(module.knobs());

  ElementRef element{kTestMode, 0};
  RangeQuery range{kTestLevel, -5.0f, -5.0f};
  char buffer[8] = {};
  TextFetchRequest fetch{kTestCaption, 0, buffer, sizeof buffer};
  ViewportRect viewport{0, 0, 16, 16};
  ExpectAnswers(
      module,
      {
          {"InitModule", FunctionCode::InitModule, 0, nullptr, GetParam().initModuleAnswer, false},
          {"QueryParameterCount", FunctionCode::QueryParameterCount, 0, nullptr, kFailure, false},
          {"QueryParameterName", FunctionCode::QueryParameterName, 0, nullptr, kNull, true},
          {"QueryParameterDefault", FunctionCode::QueryParameterDefault, 0, nullptr, kFailure,
           false},
          {"QueryParameterType", FunctionCode::QueryParameterType, 0, nullptr, kFailure, false},
          {"QueryCapability", FunctionCode::QueryCapability, 5, nullptr, kFailure, false},
          {"QueryElementCount", FunctionCode::QueryElementCount, 2, nullptr, kFailure, false},
          {"QueryIntAttribute", FunctionCode::QueryIntAttribute, 0, nullptr, kFailure, false},
          {"FetchPluginData", FunctionCode::FetchPluginData, 0, nullptr, kNull, true},
          {"QueryElementName", FunctionCode::QueryElementName, WordOf(&element), nullptr, kNull,
           true},
          {"QueryElementValue", FunctionCode::QueryElementValue, WordOf(&element), nullptr,
           kFailure, false},
          {"QueryParameterRange", FunctionCode::QueryParameterRange, WordOf(&range), nullptr,
           kFailure, false},
          {"QueryTextListCount", FunctionCode::QueryTextListCount, 0, nullptr, kFailure, false},
          {"QueryTextListItem", FunctionCode::QueryTextListItem, WordOf(&element), nullptr, kNull,
           true},
          {"QueryFlagAttribute", FunctionCode::QueryFlagAttribute, 0, nullptr, kFailure, false},
          {"QueryValueListCount", FunctionCode::QueryValueListCount, 0, nullptr, 0, false},
          {"QueryValueListItem", FunctionCode::QueryValueListItem, WordOf(&element), nullptr,
           kFailure, false},
          {"FetchSharedText", FunctionCode::FetchSharedText, WordOf(&fetch), nullptr, kFailure,
           false},
          {"CreateInstance", FunctionCode::CreateInstance, WordOf(&viewport), nullptr, kFailureWord,
           true},
      });
  EXPECT_EQ(buffer[0], '\0') << "nothing copied";
  // Every code above looked for the prototype again.
  EXPECT_EQ(module.knobs().factoryCalls, 19 * GetParam().factoryCallsPerAttempt);
  EXPECT_EQ(module.knobs().liveInstances, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatch, RefusedPrototype,
    ::testing::Values(
        Refusal{"InitHookRefuses", [](TestPluginKnobs& k) { k.initHookResult = 7; }, 7, 0},
        Refusal{"InitHookThrows", [](TestPluginKnobs& k) { k.throwIn = "InitHook"; }, kFailure, 0},
        Refusal{
            "FactoryAnswersFailure",
            [](TestPluginKnobs& k) { k.factoryMode = TestPluginKnobs::FactoryMode::AnswerFailure; },
            kFailure, 1},
        Refusal{"FactoryLeavesNull",
                [](TestPluginKnobs& k) {
                  k.factoryMode = TestPluginKnobs::FactoryMode::AnswerSuccessWithNull;
                },
                kFailure, 1},
        Refusal{"ConstructorThrows", [](TestPluginKnobs& k) { k.throwIn = "ctor"; }, kFailure, 1}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.what); });

TEST(Dispatch, RequiredInstanceOrRecordMissingFailsAndCallsNothing) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  TestPluginKnobs& knobs = module.knobs();
  knobs.journal.clear();

  ParameterValueInput value{kTestLevel, 0, {}};
  value.value.floatValue = 0.5f;
  ElementValueInput elementValue{kTestMode, 0, 4.0f};
  TempoInput tempo{90.0f, 0.5f};
  HostIdentityInput identity{"Host", "1.0"};
  double time = 1.0;
  ViewportRect viewport{0, 0, 8, 8};
  const TextureInfo* textures[] = {nullptr};
  FrameInput frame{1, 0, textures, 0};
  PendingEventQuery events{4, 0, nullptr};
  char buffer[8] = {};
  TextFetchRequest fetch{kTestCaption, 0, buffer, sizeof buffer};

  ExpectAnswers(
      module,
      {
          // A required instance that is null.
          {"QueryParameterDisplay", FunctionCode::QueryParameterDisplay, kTestLevel, nullptr,
           kFailureWord, true},
          {"WriteParameter", FunctionCode::WriteParameter, WordOf(&value), nullptr, kFailure,
           false},
          {"ReadParameter", FunctionCode::ReadParameter, kTestLevel, nullptr, kFailure, false},
          {"QueryInputSlot", FunctionCode::QueryInputSlot, 0, nullptr, kFailure, false},
          {"DrawFrame", FunctionCode::DrawFrame, WordOf(&frame), nullptr, kFailure, false},
          {"DestroyInstance", FunctionCode::DestroyInstance, 0, nullptr, kFailure, false},
          {"SendHostTime", FunctionCode::SendHostTime, WordOf(&time), nullptr, kFailure, false},
          {"ConnectInstance", FunctionCode::ConnectInstance, 0, nullptr, kFailure, false},
          {"DisconnectInstance", FunctionCode::DisconnectInstance, 0, nullptr, kFailure, false},
          {"ResizeInstance", FunctionCode::ResizeInstance, WordOf(&viewport), nullptr, kFailure,
           false},
          {"WriteElementValue", FunctionCode::WriteElementValue, WordOf(&elementValue), nullptr,
           kFailure, false},
          {"SendTempo", FunctionCode::SendTempo, WordOf(&tempo), nullptr, kFailure, false},
          {"SendHostIdentity", FunctionCode::SendHostIdentity, WordOf(&identity), nullptr, kFailure,
           false},
          {"SendSampleRate", FunctionCode::SendSampleRate, 48000, nullptr, kFailure, false},
          {"FetchPendingEvents", FunctionCode::FetchPendingEvents, WordOf(&events), nullptr,
           kFailure, false},
          {"EnableCapability", FunctionCode::EnableCapability, 16, nullptr, kFailure, false},
          {"FetchInstanceText", FunctionCode::FetchInstanceText, WordOf(&fetch), nullptr, kFailure,
           false},
          // A null record with a live instance.
          {"WriteParameter null", FunctionCode::WriteParameter, kNull, instance, kFailure, false},
          {"DrawFrame null", FunctionCode::DrawFrame, kNull, instance, kFailure, false},
          {"SendHostTime null", FunctionCode::SendHostTime, kNull, instance, kFailure, false},
          {"ResizeInstance null", FunctionCode::ResizeInstance, kNull, instance, kFailure, false},
          {"QueryElementName null", FunctionCode::QueryElementName, kNull, instance, kNull, true},
          {"QueryElementValue null", FunctionCode::QueryElementValue, kNull, instance, kFailure,
           false},
          {"WriteElementValue null", FunctionCode::WriteElementValue, kNull, instance, kFailure,
           false},
          {"SendTempo null", FunctionCode::SendTempo, kNull, instance, kFailure, false},
          {"SendHostIdentity null", FunctionCode::SendHostIdentity, kNull, instance, kFailure,
           false},
          {"QueryParameterRange null", FunctionCode::QueryParameterRange, kNull, nullptr, kFailure,
           false},
          {"QueryImage null", FunctionCode::QueryImage, kNull, nullptr, kFailure, false},
          {"QueryTextListItem null", FunctionCode::QueryTextListItem, kNull, nullptr, kNull, true},
          {"FetchPendingEvents null", FunctionCode::FetchPendingEvents, kNull, instance, kFailure,
           false},
          {"QueryValueListItem null", FunctionCode::QueryValueListItem, kNull, nullptr, kFailure,
           false},
          {"FetchSharedText null", FunctionCode::FetchSharedText, kNull, nullptr, kFailure, false},
          {"FetchInstanceText null", FunctionCode::FetchInstanceText, kNull, instance, kFailure,
           false},
          {"CreateInstance null", FunctionCode::CreateInstance, kNull, nullptr, kFailureWord, true},
      });
  EXPECT_TRUE(knobs.journal.empty()) << knobs.journal.front();
  EXPECT_EQ(knobs.liveInstances, 2) << "the prototype and the instance";
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, CapabilitiesImageAndPluginData) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  const struct {
    std::uint32_t capability;
    std::uint32_t answer;
  } capabilities[] = {{5, 1}, {10, 1}, {11, 1}, {16, 0}, {12, 0}, {0, 0}, {0xFFFFFFFF, 0}};
  for (const auto& entry : capabilities) {
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, entry.capability)),
              entry.answer)
        << entry.capability;
  }
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  for (std::uint32_t capability : {16u, 5u, 0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::EnableCapability, capability, instance)),
              kFailure)
        << capability;
  }
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 16)), 0u);

  int pixels = 0x5A5A;
  ImageQuery image{640, 480, &pixels};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryImage, &image)), kFailure);
  EXPECT_EQ(image.width, 0u);
  EXPECT_EQ(image.height, 0u);
  EXPECT_EQ(image.pixels, &pixels);
  EXPECT_EQ(pixels, 0x5A5A);
  EXPECT_EQ(module.Call(FunctionCode::FetchPluginData), kNull);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, OptionalCapabilityIsReportedButNeverEnabled) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  module.knobs().optionalCapability = true;
  int data = 0;
  module.knobs().pluginData = &data;
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 16)), 1u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 10)), 1u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 11)), 2u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::EnableCapability, 16, instance)), kFailure);
  EXPECT_EQ(module.Call(FunctionCode::FetchPluginData), WordOf(&data));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);

  // Negative input counts are answered as 0.
  module.Call(FunctionCode::ReleaseModule);
  module.knobs().minimumInputs = -3;
  module.knobs().maximumInputs = -1;
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 10)), 0u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryCapability, 11)), 0u);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, ParameterValuesTravelAsFloatBitsInTheLowHalf) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);

  const float defaults[] = {0.3f, 0.0f, 0.3f, 0.0f, 1.0f, 0.3f, 0.0f, 0.5f};
  for (std::uint32_t id = 0; id < 8; ++id) {
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReadParameter, id, instance)),
              BitsOf(defaults[id]))
        << id;
  }
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReadParameter, 0, instance)), 0x3E99999Au);

  const struct {
    std::uint32_t id;
    float value;
    std::uint32_t status;
    std::uint32_t readBack;
  } writes[] = {
      {4, 0.25f, kSuccess, BitsOf(0.25f)},
      {0, 5.0f, kSuccess, BitsOf(5.0f)},  // neither clamped nor quantised
      {1, -1.6f, kSuccess, BitsOf(-1.6f)},
      {7, 0.9f, kSuccess, BitsOf(0.9f)},
      {8, 1.0f, kFailure, 0u},  // no such parameter: refused, reads 0.0
      {0xFFFFFFFF, 1.0f, kFailure, 0u},
  };
  for (const auto& write : writes) {
    ParameterValueInput input{write.id, 0xCCCCCCCC, {}};
    std::memset(&input.value, 0xEE, sizeof input.value);  // bytes 12 to 15 are not read
    input.value.floatValue = write.value;
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::WriteParameter, &input, instance)),
              write.status)
        << write.id;
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::ReadParameter, write.id, instance)),
              write.readBack)
        << write.id;
  }
  // The id is the low half of the input word; the upper half is not part of it.
  EXPECT_EQ(
      LoadedModule::Low(module.Call(FunctionCode::ReadParameter, 0xDEADBEEF00000004ull, instance)),
      BitsOf(0.25f));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterType, 0xDEADBEEF00000003ull)),
            ParamTypeBoolean);

  // The prototype's defaults are not the instance's values.
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryParameterDefault, 0)), 0x3E99999Au);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, InstanceCodesAnswerSuccessAndInputSlots) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  TempoInput tempo{128.0f, 0.25f};
  HostIdentityInput identity{"Host", "2.1"};
  HostIdentityInput nullIdentity{nullptr, nullptr};
  double time = 12.5;
  ViewportRect viewport{0, 0, 320, 200};
  ExpectAnswers(
      module,
      {
          {"SendTempo", FunctionCode::SendTempo, WordOf(&tempo), instance, kSuccess, false},
          {"SendHostIdentity", FunctionCode::SendHostIdentity, WordOf(&identity), instance,
           kSuccess, false},
          {"SendHostIdentity nulls", FunctionCode::SendHostIdentity, WordOf(&nullIdentity),
           instance, kSuccess, false},
          {"SendSampleRate", FunctionCode::SendSampleRate, 44100, instance, kSuccess, false},
          {"SendHostTime", FunctionCode::SendHostTime, WordOf(&time), instance, kSuccess, false},
          {"ResizeInstance", FunctionCode::ResizeInstance, WordOf(&viewport), instance, kSuccess,
           false},
          {"ConnectInstance", FunctionCode::ConnectInstance, 0, instance, kSuccess, false},
          {"DisconnectInstance", FunctionCode::DisconnectInstance, 0, instance, kSuccess, false},
          {"QueryInputSlot 0", FunctionCode::QueryInputSlot, 0, instance, 1, false},
          {"QueryInputSlot 1", FunctionCode::QueryInputSlot, 1, instance, kFailure, false},
          {"QueryInputSlot max", FunctionCode::QueryInputSlot, 0xFFFFFFFF, instance, kFailure,
           false},
          {"QueryInputSlot upper half", FunctionCode::QueryInputSlot, 0x0000000100000000ull,
           instance, 1, false},
      });
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, ElementValueWrittenOnAnInstanceStaysThere) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  ElementValueInput write{1, 3, 9.5f};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::WriteElementValue, &write, instance)),
            kSuccess);
  ElementRef ref{1, 3};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryElementValue, &ref, instance)),
            BitsOf(9.5f));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryElementValue, &ref)), BitsOf(3.0f))
      << "the prototype keeps its value";
  void* other = module.CreateInstance();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::QueryElementValue, &ref, other)),
            BitsOf(3.0f))
      << "other instances keep theirs";

  const ElementValueInput refused[] = {{1, 4, 1.0f}, {8, 0, 1.0f}, {0, 1, 1.0f}};
  for (const ElementValueInput& bad : refused) {
    ElementValueInput input = bad;
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::WriteElementValue, &input, instance)),
              kFailure)
        << bad.id << "/" << bad.index;
  }
  ElementValueInput plain{0, 0, 0.75f};  // a float parameter's single element
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::WriteElementValue, &plain, instance)),
            kSuccess);
  for (void* each : {instance, other}) {
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, each)), kSuccess);
  }
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, TextFetchCopiesWithoutTerminator) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);

  const struct {
    const char* what;
    FunctionCode code;
    std::uint32_t id;
    std::uint32_t bufferSize;  // of the 12-byte buffer, prefilled with '#'
    bool nullBuffer;
    std::uint32_t answer;
    const char* buffer;
  } cases[] = {
      {"shared, 4 bytes", FunctionCode::FetchSharedText, kTestCaption, 4, false, kSuccess,
       "shar########"},
      {"shared, 6 bytes", FunctionCode::FetchSharedText, kTestCaption, 6, false, kSuccess,
       "shared######"},
      {"shared, 10 bytes", FunctionCode::FetchSharedText, kTestCaption, 10, false, kSuccess,
       "shared######"},
      {"shared, size 0", FunctionCode::FetchSharedText, kTestCaption, 0, false, kFailure,
       "############"},
      {"shared, null buffer", FunctionCode::FetchSharedText, kTestCaption, 4, true, kFailure,
       "############"},
      {"shared, empty text", FunctionCode::FetchSharedText, kTestLevel, 4, false, kSuccess,
       "############"},
      {"shared, unknown id", FunctionCode::FetchSharedText, 99, 4, false, kSuccess, "############"},
      {"instance, 4 bytes", FunctionCode::FetchInstanceText, kTestCaption, 4, false, kSuccess,
       "inst########"},
      {"instance, 12 bytes", FunctionCode::FetchInstanceText, kTestCaption, 12, false, kSuccess,
       "instance####"},
      {"instance, size 0", FunctionCode::FetchInstanceText, kTestCaption, 0, false, kFailure,
       "############"},
      {"instance, unknown id", FunctionCode::FetchInstanceText, 99, 12, false, kSuccess,
       "############"},
  };
  for (const auto& entry : cases) {
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    TextFetchRequest request{entry.id, 0, entry.nullBuffer ? nullptr : buffer, entry.bufferSize};
    EXPECT_EQ(LoadedModule::Low(module.Call(entry.code, &request, instance)), entry.answer)
        << entry.what;
    EXPECT_EQ(std::string(buffer, sizeof buffer), entry.buffer) << entry.what;
  }
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, EffectHasNoTextsListsOrPendingEvents) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  for (std::uint32_t id = 0; id < 8; ++id) {
    char buffer[4] = {'#', '#', '#', '#'};
    TextFetchRequest request{id, 0, buffer, sizeof buffer};
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::FetchSharedText, &request)), kSuccess);
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::FetchInstanceText, &request, instance)),
              kSuccess);
    EXPECT_EQ(std::string(buffer, 4), "####") << id;
  }
  ParameterEvent items[2];
  std::memset(items, 0x77, sizeof items);
  PendingEventQuery withItems{2, 0, items};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::FetchPendingEvents, &withItems, instance)),
            kSuccess);
  EXPECT_EQ(withItems.count, 0u);
  EXPECT_EQ(items[0].id, 0x77777777u);
  PendingEventQuery countOnly{5, 0, nullptr};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::FetchPendingEvents, &countOnly, instance)),
            kSuccess);
  EXPECT_EQ(countOnly.count, 0u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(Dispatch, PendingEventsAreCountedThenCollectedUpToCapacity) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  // Declaration order is 2, 0, 3, 1, so collection visits 2, 0, 3.
  module.knobs().pendingEvents = {
      {kTestLevel, 0x2222}, {kTestMode, 0x1111000000000001ull}, {kTestLabel, 0x3333}};
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);

  auto fetch = [&](std::uint32_t capacity, ParameterEvent* items) {
    PendingEventQuery query{capacity, 0xBBBBBBBB, items};
    EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::FetchPendingEvents, &query, instance)),
              kSuccess);
    EXPECT_EQ(query.items, items);
    return query.count;
  };
  // Without an array: the number pending, nothing cleared, whatever the capacity says.
  EXPECT_EQ(fetch(0, nullptr), 3u);
  EXPECT_EQ(fetch(1, nullptr), 3u);

  ParameterEvent items[4];
  std::memset(items, 0xAA, sizeof items);
  EXPECT_EQ(fetch(0, items), 0u) << "capacity 0 writes nothing";
  EXPECT_EQ(items[0].id, 0xAAAAAAAAu);
  EXPECT_EQ(fetch(2, items), 2u);
  EXPECT_EQ(items[0].id, std::uint32_t{kTestMode});
  EXPECT_EQ(items[0].unused, 0xAAAAAAAAu) << "bytes 4 to 7 are not written";
  EXPECT_EQ(items[0].pendingEvent, 0x1111000000000001ull);
  EXPECT_EQ(items[1].id, std::uint32_t{kTestLevel});
  EXPECT_EQ(items[1].pendingEvent, 0x2222u);
  EXPECT_EQ(items[2].id, 0xAAAAAAAAu) << "nothing beyond the capacity";

  EXPECT_EQ(fetch(4, nullptr), 1u) << "the one not collected is still pending";
  EXPECT_EQ(fetch(4, items), 1u);
  EXPECT_EQ(items[0].id, std::uint32_t{kTestLabel});
  EXPECT_EQ(items[0].pendingEvent, 0x3333u);
  EXPECT_EQ(fetch(4, items), 0u);
  EXPECT_EQ(fetch(4, nullptr), 0u);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

}  // namespace
