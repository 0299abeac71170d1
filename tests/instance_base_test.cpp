// An instance's life as the dispatcher leads it: creation (defaults seeded by id, GL loading,
// InitGL) and every way it can fail, connection on first draw or on request, teardown order,
// text-valued parameters, display texts in the shared 16-byte buffer, and exceptions thrown by
// instance code, which must end as the code's failure answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "tests/testplugin/TestPluginHost.h"

using namespace testhost;

namespace {

using Journal = std::vector<std::string>;

std::uint32_t Low(HostWord word) {
  return LoadedModule::Low(word);
}

// A test plugin module whose prototype exists and whose journal starts empty.
class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GL_CONTEXT();
    ASSERT_TRUE(module.ready()) << module.error();
    ASSERT_EQ(Low(module.Call(FunctionCode::InitModule)), kSuccess);
    knobs().journal.clear();
  }
  void TearDown() override { module.Call(FunctionCode::ReleaseModule); }

  TestPluginKnobs& knobs() { return module.knobs(); }
  Journal TakeJournal() {
    Journal taken;
    taken.swap(knobs().journal);
    return taken;
  }
  HostWord Create() {
    ViewportRect viewport{0, 0, 32, 32};
    return module.Call(FunctionCode::CreateInstance, &viewport);
  }
  void Destroy(void* instance) {
    EXPECT_EQ(Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  }

  TestPluginModule module;
};

const Journal kSeeding = {"ctor", "ApplyFloat 0 0.25", "ApplyText 1 hello", "ApplyFloat 2 2",
                          "ApplyText 3 "};

Journal Concat(Journal head, const Journal& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(Lifecycle, CreationSeedsEveryDefaultByIdThenInitialisesGL) {
  const HostWord answer = Create();
  ASSERT_NE(answer, kFailureWord);
  ASSERT_NE(answer, HostWord{0});
  void* instance = reinterpret_cast<void*>(answer);
  // Declared as 2, 0, 3, 1; seeded as 0, 1, 2, 3 with the prototype's defaults.
  EXPECT_EQ(TakeJournal(), Concat(kSeeding, {"InitGL"}));
  EXPECT_EQ(knobs().liveInstances, 2);
  EXPECT_EQ(Low(module.Call(FunctionCode::ReadParameter, kTestLevel, instance)), BitsOf(0.25f));
  EXPECT_EQ(Low(module.Call(FunctionCode::ReadParameter, kTestMode, instance)), BitsOf(2.0f));
  EXPECT_STREQ(TextAt(module.Call(FunctionCode::ReadParameter, kTestCaption, instance)), "hello");
  Destroy(instance);
  EXPECT_EQ(TakeJournal(), (Journal{"ReadFloat", "ReadFloat", "ReadText", "ShutdownGL", "dtor"}))
      << "a never-connected instance is not disconnected";
}

TEST_F(Lifecycle, PluginWithoutParametersIsCreated) {
  module.Call(FunctionCode::ReleaseModule);
  knobs().declareParameters = false;
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterCount)), 0u);
  knobs().journal.clear();
  const HostWord answer = Create();
  ASSERT_NE(answer, kFailureWord);
  EXPECT_EQ(TakeJournal(), (Journal{"ctor", "InitGL"}));
  Destroy(reinterpret_cast<void*>(answer));
}

// A creation that fails at some step: the journal of that creation, and afterwards nothing is
// left alive but the prototype.
struct CreationFailure {
  const char* what;
  void (*arrange)(TestPluginKnobs&);
  Journal journal;
};

void PrintTo(const CreationFailure& failure, std::ostream* out) {
  *out << failure.what;
}

class FailedCreation : public Lifecycle, public ::testing::WithParamInterface<CreationFailure> {};

TEST_P(FailedCreation, LeavesNoInstanceAndAnswersTheFailureWord) {
  GetParam().arrange(knobs());
  EXPECT_EQ(Create(), kFailureWord);
  EXPECT_EQ(TakeJournal(), GetParam().journal);
  EXPECT_EQ(knobs().liveInstances, 1) << "only the prototype";
  // The failure was the instance's own: with the switches back, creation works.
  TestPluginKnobs defaults;
  defaults.liveInstances = knobs().liveInstances;
  knobs() = defaults;
  const HostWord answer = Create();
  ASSERT_NE(answer, kFailureWord);
  Destroy(reinterpret_cast<void*>(answer));
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, FailedCreation,
    ::testing::Values(
        CreationFailure{
            "FactoryAnswersFailure",
            [](TestPluginKnobs& k) { k.factoryMode = TestPluginKnobs::FactoryMode::AnswerFailure; },
            {}},
        CreationFailure{"FactoryLeavesNull",
                        [](TestPluginKnobs& k) {
                          k.factoryMode = TestPluginKnobs::FactoryMode::AnswerSuccessWithNull;
                        },
                        {}},
        CreationFailure{
            "ConstructorThrows", [](TestPluginKnobs& k) { k.throwIn = "ctor"; }, {"ctor"}},
        CreationFailure{"FirstApplyRefused",
                        [](TestPluginKnobs& k) { k.failApplyId = 0; },
                        {"ctor", "ApplyFloat 0 0.25", "dtor"}},
        CreationFailure{"TextApplyRefused",
                        [](TestPluginKnobs& k) { k.failApplyId = 1; },
                        {"ctor", "ApplyFloat 0 0.25", "ApplyText 1 hello", "dtor"}},
        CreationFailure{"LastApplyRefused", [](TestPluginKnobs& k) { k.failApplyId = 3; },
                        Concat(kSeeding, {"dtor"})},
        CreationFailure{"ApplyThrows",
                        [](TestPluginKnobs& k) { k.throwIn = "ApplyText"; },
                        {"ctor", "ApplyFloat 0 0.25", "ApplyText 1 hello", "dtor"}},
        CreationFailure{"InitGLRefuses", [](TestPluginKnobs& k) { k.initGLResult = kFailure; },
                        Concat(kSeeding, {"InitGL", "ShutdownGL", "dtor"})},
        CreationFailure{"InitGLAnswersOtherNonZero", [](TestPluginKnobs& k) { k.initGLResult = 1; },
                        Concat(kSeeding, {"InitGL", "ShutdownGL", "dtor"})},
        CreationFailure{"InitGLThrows", [](TestPluginKnobs& k) { k.throwIn = "InitGL"; },
                        Concat(kSeeding, {"InitGL", "ShutdownGL", "dtor"})},
        CreationFailure{"InitGLRefusesAndShutdownThrows",
                        [](TestPluginKnobs& k) {
                          k.initGLResult = kFailure;
                          k.throwIn = "ShutdownGL";
                        },
                        Concat(kSeeding, {"InitGL", "ShutdownGL", "dtor"})}),
    [](const ::testing::TestParamInfo<CreationFailure>& info) {
      return std::string(info.param.what);
    });

TEST_F(Lifecycle, ConnectionFollowsFirstDrawAndTheHostsRequests) {
  void* instance = reinterpret_cast<void*>(Create());
  ASSERT_NE(instance, reinterpret_cast<void*>(kFailureWord));
  FrameInput frame{0, 0, nullptr, 0};
  auto draw = [&] { return Low(module.Call(FunctionCode::DrawFrame, &frame, instance)); };
  auto call = [&](FunctionCode code) { return Low(module.Call(code, 0, instance)); };
  knobs().journal.clear();

  // A refused connect request leaves the instance unconnected: the first draw connects.
  knobs().hostConnectResult = kFailure;
  EXPECT_EQ(call(FunctionCode::ConnectInstance), kFailure);
  knobs().renderResult = 5;
  EXPECT_EQ(draw(), 5u) << "RenderFrame's status is the answer";
  EXPECT_EQ(draw(), 5u);
  EXPECT_EQ(TakeJournal(), (Journal{"HostConnect", "HostConnect", "RenderFrame", "RenderFrame"}))
      << "the draw's connect marks the instance connected whatever HostConnect answers";

  // A refused disconnect keeps it connected; a successful one makes the next draw connect.
  knobs().hostDisconnectResult = kFailure;
  EXPECT_EQ(call(FunctionCode::DisconnectInstance), kFailure);
  EXPECT_EQ(draw(), 5u);
  knobs().hostDisconnectResult = kSuccess;
  EXPECT_EQ(call(FunctionCode::DisconnectInstance), kSuccess);
  knobs().hostConnectResult = kSuccess;
  EXPECT_EQ(draw(), 5u);
  EXPECT_EQ(TakeJournal(), (Journal{"HostDisconnect", "RenderFrame", "HostDisconnect",
                                    "HostConnect", "RenderFrame"}));

  // A successful connect request means the draw does not connect again.
  EXPECT_EQ(call(FunctionCode::DisconnectInstance), kSuccess);
  EXPECT_EQ(call(FunctionCode::ConnectInstance), kSuccess);
  EXPECT_EQ(draw(), 5u);
  EXPECT_EQ(TakeJournal(), (Journal{"HostDisconnect", "HostConnect", "RenderFrame"}));

  // A draw whose connect throws fails and leaves the instance unconnected.
  EXPECT_EQ(call(FunctionCode::DisconnectInstance), kSuccess);
  knobs().throwIn = "HostConnect";
  EXPECT_EQ(draw(), kFailure);
  knobs().throwIn.clear();
  EXPECT_EQ(draw(), 5u);
  EXPECT_EQ(TakeJournal(),
            (Journal{"HostDisconnect", "HostConnect", "HostConnect", "RenderFrame"}));
  Destroy(instance);
}

struct Teardown {
  const char* what;
  void (*arrange)(TestPluginKnobs&);
};

void PrintTo(const Teardown& teardown, std::ostream* out) {
  *out << teardown.what;
}

class DestroyConnected : public Lifecycle, public ::testing::WithParamInterface<Teardown> {};

TEST_P(DestroyConnected, DisconnectsShutsDownDestroysAndAnswersZero) {
  void* instance = reinterpret_cast<void*>(Create());
  ASSERT_NE(instance, reinterpret_cast<void*>(kFailureWord));
  ASSERT_EQ(Low(module.Call(FunctionCode::ConnectInstance, 0, instance)), kSuccess);
  knobs().journal.clear();
  GetParam().arrange(knobs());
  EXPECT_EQ(Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  EXPECT_EQ(TakeJournal(), (Journal{"HostDisconnect", "ShutdownGL", "dtor"}));
  EXPECT_EQ(knobs().liveInstances, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, DestroyConnected,
    ::testing::Values(
        Teardown{"AllSucceed", [](TestPluginKnobs&) {}},
        Teardown{"BothRefuse",
                 [](TestPluginKnobs& k) {
                   k.hostDisconnectResult = kFailure;
                   k.shutdownGLResult = kFailure;
                 }},
        Teardown{"DisconnectThrows", [](TestPluginKnobs& k) { k.throwIn = "HostDisconnect"; }},
        Teardown{"ShutdownThrows", [](TestPluginKnobs& k) { k.throwIn = "ShutdownGL"; }}),
    [](const ::testing::TestParamInfo<Teardown>& info) { return std::string(info.param.what); });

TEST_F(Lifecycle, TextValuedParametersTravelAsPointers) {
  void* instance = reinterpret_cast<void*>(Create());
  ASSERT_NE(instance, reinterpret_cast<void*>(kFailureWord));
  knobs().journal.clear();

  const char* world = "world";
  ParameterValueInput text{kTestCaption, 0, {}};
  text.value.text = world;
  EXPECT_EQ(Low(module.Call(FunctionCode::WriteParameter, &text, instance)), kSuccess);
  const HostWord caption = module.Call(FunctionCode::ReadParameter, kTestCaption, instance);
  EXPECT_STREQ(TextAt(caption), "world");
  EXPECT_NE(TextAt(caption), world) << "the instance keeps its own copy";
  EXPECT_EQ(module.Call(FunctionCode::QueryParameterDisplay, kTestCaption, instance), caption)
      << "a text parameter is described by its text";

  // A text type whose class keeps the base ReadTextParameter: the failure word, unchanged.
  EXPECT_EQ(module.Call(FunctionCode::ReadParameter, kTestLabel, instance), kFailureWord);
  EXPECT_EQ(module.Call(FunctionCode::QueryParameterDisplay, kTestLabel, instance), kFailureWord);

  text.value.text = nullptr;
  EXPECT_EQ(Low(module.Call(FunctionCode::WriteParameter, &text, instance)), kFailure);
  EXPECT_EQ(TakeJournal(), (Journal{"ApplyText 1 world", "ReadText", "ReadText", "ReadText",
                                    "ReadText", "ApplyText 1 (null)"}));

  // Without a prototype the type counts as not text-valued: the float path is taken.
  module.Call(FunctionCode::ReleaseModule);
  knobs().initHookResult = 7;
  ParameterValueInput number{kTestCaption, 0, {}};
  number.value.floatValue = 0.5f;
  EXPECT_EQ(Low(module.Call(FunctionCode::WriteParameter, &number, instance)), kFailure);
  EXPECT_EQ(Low(module.Call(FunctionCode::ReadParameter, kTestCaption, instance)), 0u);
  number.id = kTestLevel;
  EXPECT_EQ(Low(module.Call(FunctionCode::WriteParameter, &number, instance)), kSuccess);
  EXPECT_EQ(Low(module.Call(FunctionCode::ReadParameter, kTestLevel, instance)), BitsOf(0.5f));
  EXPECT_EQ(TakeJournal(),
            (Journal{"dtor", "ApplyFloat 1 0.5", "ReadFloat", "ApplyFloat 0 0.5", "ReadFloat"}));
  // Codes that may name an instance still answer from the instance's own registry.
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementCount, kTestMode, instance)), 3u);
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryFlagAttribute, kTestMode, instance)), 1u);
  ElementRef element{kTestMode, 2};
  EXPECT_STREQ(TextAt(module.Call(FunctionCode::QueryElementName, &element, instance)), "C");
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementValue, &element, instance)), BitsOf(2.0f));
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementCount, kTestMode)), kFailure);
  knobs().initHookResult = kSuccess;
  Destroy(instance);
}

// An exception thrown by instance code never leaves plugMain: the code gives its failure
// answer, and the instance stays usable.
struct Throwing {
  const char* operation;
  FunctionCode code;
  std::uint32_t id;  // the input for id-taking codes
  HostWord failure;
  bool fullWord;
};

void PrintTo(const Throwing& throwing, std::ostream* out) {
  *out << throwing.operation;
}

class ThrowingOperation : public Lifecycle, public ::testing::WithParamInterface<Throwing> {};

TEST_P(ThrowingOperation, GivesTheCodesFailureAnswer) {
  void* instance = reinterpret_cast<void*>(Create());
  ASSERT_NE(instance, reinterpret_cast<void*>(kFailureWord));
  ParameterValueInput value{GetParam().id, 0, {}};
  value.value.text = "x";
  if (GetParam().id == kTestLevel) value.value.floatValue = 0.5f;
  HostIdentityInput identity{"Host", "1"};
  double time = 1.0;
  ViewportRect viewport{0, 0, 4, 4};
  FrameInput frame{0, 0, nullptr, 0};
  HostWord input = GetParam().id;
  switch (GetParam().code) {
    case FunctionCode::WriteParameter:
      input = reinterpret_cast<HostWord>(&value);
      break;
    case FunctionCode::SendHostIdentity:
      input = reinterpret_cast<HostWord>(&identity);
      break;
    case FunctionCode::SendHostTime:
      input = reinterpret_cast<HostWord>(&time);
      break;
    case FunctionCode::ResizeInstance:
      input = reinterpret_cast<HostWord>(&viewport);
      break;
    case FunctionCode::DrawFrame:
      input = reinterpret_cast<HostWord>(&frame);
      break;
    default:
      break;
  }
  knobs().throwIn = GetParam().operation;
  const HostWord answer = module.Call(GetParam().code, input, instance);
  if (GetParam().fullWord) {
    EXPECT_EQ(answer, GetParam().failure);
  } else {
    EXPECT_EQ(Low(answer), Low(GetParam().failure));
  }
  knobs().throwIn.clear();
  EXPECT_EQ(Low(module.Call(FunctionCode::ReadParameter, kTestLevel, instance)), BitsOf(0.25f));
  Destroy(instance);
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, ThrowingOperation,
    ::testing::Values(
        Throwing{"ApplyFloat", FunctionCode::WriteParameter, kTestLevel, kFailure, false},
        Throwing{"ApplyText", FunctionCode::WriteParameter, kTestCaption, kFailure, false},
        Throwing{"ReadFloat", FunctionCode::ReadParameter, kTestMode, kFailure, false},
        Throwing{"ReadText", FunctionCode::ReadParameter, kTestCaption, kFailure, false},
        Throwing{"ReadFloat", FunctionCode::QueryParameterDisplay, kTestMode, kFailureWord, true},
        Throwing{"ReadText", FunctionCode::QueryParameterDisplay, kTestCaption, kFailureWord, true},
        Throwing{"RenderFrame", FunctionCode::DrawFrame, 0, kFailure, false},
        Throwing{"HostConnect", FunctionCode::ConnectInstance, 0, kFailure, false},
        Throwing{"HostDisconnect", FunctionCode::DisconnectInstance, 0, kFailure, false},
        Throwing{"UpdateHostTime", FunctionCode::SendHostTime, 0, kFailure, false},
        Throwing{"UpdateHostIdentity", FunctionCode::SendHostIdentity, 0, kFailure, false},
        Throwing{"ApplyViewport", FunctionCode::ResizeInstance, 0, kFailure, false},
        Throwing{"QueryInputState", FunctionCode::QueryInputSlot, 0, kFailure, false},
        Throwing{"QueryPluginData", FunctionCode::FetchPluginData, 0, 0, true}),
    [](const ::testing::TestParamInfo<Throwing>& info) {
      return std::string(info.param.operation) + "_" + std::to_string(info.index);
    });

TEST_F(Lifecycle, InputSlotsFollowTheMaximumInputCount) {
  void* instance = reinterpret_cast<void*>(Create());
  ASSERT_NE(instance, reinterpret_cast<void*>(kFailureWord));
  const std::uint32_t answers[] = {1, 1, kFailure, kFailure};
  for (std::uint32_t slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryInputSlot, slot, instance)), answers[slot])
        << slot;
  }
  Destroy(instance);
}

// --- Display texts, on the effect ---------------------------------------------------------

class DisplayText : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GL_CONTEXT();
    ASSERT_TRUE(module.ok()) << module.error();
    first = module.CreateInstance();
    second = module.CreateInstance();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
  }
  void TearDown() override {
    for (void* instance : {first, second}) {
      if (instance) module.Call(FunctionCode::DestroyInstance, 0, instance);
    }
    module.Call(FunctionCode::ReleaseModule);
  }
  void Write(void* instance, std::uint32_t id, float value) {
    ParameterValueInput input{id, 0, {}};
    input.value.floatValue = value;
    ASSERT_EQ(Low(module.Call(FunctionCode::WriteParameter, &input, instance)), kSuccess);
  }
  const char* Describe(void* instance, std::uint32_t id) {
    return TextAt(module.Call(FunctionCode::QueryParameterDisplay, id, instance));
  }

  LoadedModule module{VexModulePath()};
  void* first = nullptr;
  void* second = nullptr;
};

// The whole 16-byte buffer: the text, then zero bytes to the end.
std::string Buffer(const char* text) {
  return std::string(text, 16);
}
std::string Padded(const std::string& text) {
  return text + std::string(16 - text.size(), '\0');
}

TEST_F(DisplayText, FloatValuesAreFormattedIntoOneTerminatedBuffer) {
  const struct {
    float value;
    const char* text;  // at most 15 characters: the buffer always ends with a zero byte
  } cases[] = {
      {std::numeric_limits<float>::max(), "340282346638528"},  // cut to 15 characters
      {123456789.0f, "123456792.00000"},                       // the float nearest to it, cut
      {0.3f, "0.300000"},  // the bytes after a shorter text are zero again
      {-10000000.0f, "-10000000.00000"},
      {12345678.0f, "12345678.000000"},  // 15 characters fit whole
      {-0.5f, "-0.500000"},
      {1.0f, "1.000000"},
      {0.0f, "0.000000"},
      {5.0f, "5.000000"},
  };
  const char* buffer = nullptr;
  for (const auto& entry : cases) {
    Write(first, 0, entry.value);
    const char* text = Describe(first, 0);
    ASSERT_NE(text, nullptr);
    if (!buffer) buffer = text;
    EXPECT_EQ(text, buffer) << "one buffer for every description";
    EXPECT_EQ(Buffer(text), Padded(entry.text)) << entry.text;
  }
}

TEST_F(DisplayText, BufferIsSharedByAllInstancesAndKindsOfFloat) {
  Write(first, 0, 0.3f);
  const char* firstText = Describe(first, 0);
  ASSERT_NE(firstText, nullptr);
  EXPECT_EQ(Buffer(firstText), Padded("0.300000"));

  Write(second, 4, 0.75f);
  const char* secondText = Describe(second, 4);
  EXPECT_EQ(secondText, firstText);
  EXPECT_EQ(Buffer(firstText), Padded("0.750000")) << "the first answer's text is overwritten";

  Write(second, 1, 2.0f);  // an option parameter shows its number
  EXPECT_STREQ(Describe(second, 1), "2.000000");
  EXPECT_STREQ(Describe(first, 3), "0.000000");  // a boolean likewise
  EXPECT_STREQ(Describe(first, 0), "0.300000") << "each instance describes its own value";

  // An unknown id answers null and leaves the buffer alone.
  EXPECT_EQ(module.Call(FunctionCode::QueryParameterDisplay, 8, first), HostWord{0});
  EXPECT_EQ(module.Call(FunctionCode::QueryParameterDisplay, 0xFFFFFFFF, second), HostWord{0});
  EXPECT_EQ(Buffer(firstText), Padded("0.300000"));
}

}  // namespace
