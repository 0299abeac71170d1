// The one attempt per module load to load the OpenGL entry points, made during the first
// instance creation that gets that far. Every case loads its own copy of a module, so each
// starts with the attempt not yet made. "No context" means none is current on this thread.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/testplugin/TestPluginHost.h"

using namespace testhost;

namespace {

using Journal = std::vector<std::string>;

// Leaves no GL context current for its lifetime.
class WithoutContext {
 public:
  WithoutContext() { ReleaseGLContextFromThread(); }
  ~WithoutContext() { MakeGLContextCurrentAgain(); }
};

TEST(GLLoading, EffectCreatedWithoutContextFailsForGood) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  module.CaptureLog();
  LoadedModule::logLines().clear();
  ViewportRect viewport{0, 0, 64, 64};
  {
    WithoutContext noContext;
    EXPECT_EQ(module.Call(FunctionCode::CreateInstance, &viewport), kFailureWord);
  }
  EXPECT_EQ(module.Call(FunctionCode::CreateInstance, &viewport), kFailureWord)
      << "the failed attempt is not repeated once a context is current";
  EXPECT_TRUE(LoadedModule::logLines().empty()) << "InitGL never ran";
  module.Call(FunctionCode::ReleaseModule);
  module.CaptureLog(false);
}

TEST(GLLoading, EffectCreatedWithContextLogsInitGL) {
  ASSERT_GL_CONTEXT();
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  module.CaptureLog();
  LoadedModule::logLines().clear();
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(LoadedModule::logLines(), (std::vector<std::string>{"VexASCII v1.0: InitGL OK"}));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
  module.CaptureLog(false);
}

TEST(GLLoading, FailedLoadDestroysTheSeededInstanceWithoutShutdown) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  ASSERT_EQ(LoadedModule::Low(module.Call(FunctionCode::InitModule)), kSuccess);
  const Journal failedCreation = {"ctor",           "ApplyFloat 0 0.25", "ApplyText 1 hello",
                                  "ApplyFloat 2 2", "ApplyText 3 ",      "dtor"};
  {
    WithoutContext noContext;
    module.knobs().journal.clear();
    EXPECT_EQ(reinterpret_cast<HostWord>(module.CreateInstance()), HostWord{0});
    EXPECT_EQ(module.knobs().journal, failedCreation);
  }
  module.knobs().journal.clear();
  EXPECT_EQ(reinterpret_cast<HostWord>(module.CreateInstance()), HostWord{0});
  EXPECT_EQ(module.knobs().journal, failedCreation);
  EXPECT_EQ(module.knobs().liveInstances, 1);
  module.Call(FunctionCode::ReleaseModule);
}

// A creation that fails before the GL step, made with no context current: had it made the
// one attempt, that attempt would have failed for good. The next creation, with a context,
// must still succeed.
struct EarlyFailure {
  const char* what;
  void (*arrange)(TestPluginKnobs&);
};

void PrintTo(const EarlyFailure& failure, std::ostream* out) {
  *out << failure.what;
}

class FailureBeforeLoading : public ::testing::TestWithParam<EarlyFailure> {};

TEST_P(FailureBeforeLoading, LeavesTheAttemptForTheNextCreation) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  ASSERT_EQ(LoadedModule::Low(module.Call(FunctionCode::InitModule)), kSuccess);
  ViewportRect viewport{0, 0, 8, 8};
  {
    WithoutContext noContext;
    GetParam().arrange(module.knobs());
    EXPECT_EQ(module.Call(FunctionCode::CreateInstance, &viewport), kFailureWord);
  }
  TestPluginKnobs defaults;
  defaults.liveInstances = module.knobs().liveInstances;
  module.knobs() = defaults;
  const HostWord answer = module.Call(FunctionCode::CreateInstance, &viewport);
  ASSERT_NE(answer, kFailureWord);
  EXPECT_EQ(module.knobs().journal.back(), "InitGL");
  module.Call(FunctionCode::DestroyInstance, 0, reinterpret_cast<void*>(answer));
  module.Call(FunctionCode::ReleaseModule);
}

INSTANTIATE_TEST_SUITE_P(
    GLLoading, FailureBeforeLoading,
    ::testing::Values(
        EarlyFailure{"ApplyRefused", [](TestPluginKnobs& k) { k.failApplyId = 2; }},
        EarlyFailure{"ApplyThrows", [](TestPluginKnobs& k) { k.throwIn = "ApplyFloat"; }},
        EarlyFailure{"FactoryAnswersFailure",
                     [](TestPluginKnobs& k) {
                       k.factoryMode = TestPluginKnobs::FactoryMode::AnswerFailure;
                     }},
        EarlyFailure{"FactoryLeavesNull",
                     [](TestPluginKnobs& k) {
                       k.factoryMode = TestPluginKnobs::FactoryMode::AnswerSuccessWithNull;
                     }},
        EarlyFailure{"ConstructorThrows", [](TestPluginKnobs& k) { k.throwIn = "ctor"; }}),
    [](const ::testing::TestParamInfo<EarlyFailure>& info) {
      return std::string(info.param.what);
    });

TEST(GLLoading, LoadedEntryPointsAreNotLoadedAgain) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  module.knobs().initGLResult = kFailure;
  void* refused = module.CreateInstance();
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(module.knobs().journal.back(), "dtor");
  module.knobs().initGLResult = kSuccess;
  // The test plugin's InitGL makes no GL call, so only a new load attempt would need the
  // context that is missing now.
  WithoutContext noContext;
  void* instance = module.CreateInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);
}

}  // namespace
