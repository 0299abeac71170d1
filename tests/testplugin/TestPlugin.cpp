// A plugin class of the tests' own, built as a module from the same host and framework code as
// the effect. Every operation journals itself and obeys the switches of TestPluginKnobs, so the
// tests can reach the paths the effect never takes: refusing factories and hooks, failing or
// throwing operations, text-valued parameters and pending events. It makes no GL call.
#include <cstdio>
#include <new>
#include <string>

#include "framework/CFFGLPlugin.h"
#include "host/HostLog.h"
#include "host/PluginInfo.h"
#include "tests/testplugin/TestPluginKnobs.h"

namespace {

TestPluginKnobs knobs;

// Journals the operation and throws when the knobs ask for it.
void Enter(const char* operation, const std::string& detail = std::string()) {
  knobs.journal.push_back(detail.empty() ? std::string(operation)
                                         : std::string(operation) + " " + detail);
  if (knobs.throwIn == operation) throw std::bad_alloc();
}

std::string Describe(std::uint32_t id, float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%u %g", static_cast<unsigned>(id), static_cast<double>(value));
  return text;
}

class TestPlugin : public CFFGLPlugin {
 public:
  TestPlugin() : CFFGLPlugin(knobs.optionalCapability) {
    Enter("ctor");
    if (knobs.declareParameters) {
      DeclareOptionParameter(kTestMode, "Mode", 3, 2.0f);
      DeclareOptionElement(kTestMode, 0, "A", 0.0f);
      DeclareOptionElement(kTestMode, 1, "B", 1.0f);
      DeclareOptionElement(kTestMode, 2, "C", 2.0f);
      DeclareParameter(kTestLevel, "Level", ParamTypeUnitFloat, 0.25f);
      DeclareParameter(kTestLabel, "Label", ParamTypeAltText, 0.0f);
      DeclareParameter(kTestCaption, "Caption", ParamTypeText, 0.0f);
      ParameterSpec* caption = Find(kTestCaption);
      caption->defaultText = "hello";
      caption->sharedText = "shared";
      caption->instanceText = "instance";
    }
    for (const auto& [id, word] : knobs.pendingEvents) {
      if (ParameterSpec* spec = Find(id)) spec->pendingEvent = word;
    }
    SetMinimumInputs(knobs.minimumInputs);
    SetMaximumInputs(knobs.maximumInputs);
    ++knobs.liveInstances;
  }
  ~TestPlugin() override {
    knobs.journal.emplace_back("dtor");
    --knobs.liveInstances;
  }

  std::uint32_t InitGL(const ViewportRect* viewport) override {
    Enter("InitGL");
    WriteHostLog(knobs.initGLLogLine);
    CFFGLPlugin::InitGL(viewport);
    return knobs.initGLResult;
  }
  std::uint32_t ShutdownGL() override {
    Enter("ShutdownGL");
    return knobs.shutdownGLResult;
  }
  std::uint32_t ApplyFloatParameter(std::uint32_t id, float value) override {
    Enter("ApplyFloat", Describe(id, value));
    if (static_cast<std::int64_t>(id) == knobs.failApplyId) return kFailure;
    if (id == kTestLevel)
      level = value;
    else if (id == kTestMode)
      mode = value;
    else
      return kFailure;
    return kSuccess;
  }
  std::uint32_t ApplyTextParameter(std::uint32_t id, const char* text) override {
    Enter("ApplyText", std::to_string(id) + " " + (text ? text : "(null)"));
    if (static_cast<std::int64_t>(id) == knobs.failApplyId || !text) return kFailure;
    if (id == kTestCaption)
      caption = text;
    else if (id == kTestLabel)
      label = text;
    else
      return kFailure;
    return kSuccess;
  }
  float ReadFloatParameter(std::uint32_t id) override {
    Enter("ReadFloat");
    return id == kTestLevel ? level : id == kTestMode ? mode : 0.0f;
  }
  HostWord ReadTextParameter(std::uint32_t id) override {
    Enter("ReadText");
    if (id == kTestCaption) return reinterpret_cast<HostWord>(caption.c_str());
    return CFFGLPlugin::ReadTextParameter(id);
  }
  std::uint32_t RenderFrame(const FrameInput*) override {
    Enter("RenderFrame");
    return knobs.renderResult;
  }
  std::uint32_t UpdateHostTime(double time) override {
    Enter("UpdateHostTime");
    return CFFGLPlugin::UpdateHostTime(time);
  }
  void UpdateHostIdentity(const char* name, const char* version) override {
    Enter("UpdateHostIdentity");
    CFFGLPlugin::UpdateHostIdentity(name, version);
  }
  std::uint32_t QueryInputState(std::uint32_t slot) override {
    Enter("QueryInputState");
    return CFFGLPlugin::QueryInputState(slot);
  }
  void* QueryPluginData() override {
    Enter("QueryPluginData");
    return knobs.pluginData;
  }
  std::uint32_t HostConnect() override {
    Enter("HostConnect");
    return knobs.hostConnectResult;
  }
  std::uint32_t HostDisconnect() override {
    Enter("HostDisconnect");
    return knobs.hostDisconnectResult;
  }
  std::uint32_t ApplyViewport(const ViewportRect* viewport) override {
    Enter("ApplyViewport");
    return CFFGLPlugin::ApplyViewport(viewport);
  }

 private:
  float level = 0.0f;
  float mode = 0.0f;
  std::string caption;
  std::string label;
};

std::uint32_t MakeTestPlugin(CFFGLPlugin** instance) {
  ++knobs.factoryCalls;
  *instance = nullptr;
  switch (knobs.factoryMode) {
    case TestPluginKnobs::FactoryMode::Make:
      *instance = new TestPlugin;
      return kSuccess;
    case TestPluginKnobs::FactoryMode::AnswerFailure:
      return kFailure;
    case TestPluginKnobs::FactoryMode::AnswerSuccessWithNull:
      return kSuccess;
  }
  return kFailure;
}

std::uint32_t InitHook() {
  ++knobs.initHookCalls;
  if (knobs.throwIn == "InitHook") throw std::bad_alloc();
  return knobs.initHookResult;
}

std::uint32_t DeinitHook() {
  ++knobs.deinitHookCalls;
  return kSuccess;
}

const PluginInfo registration(MakeTestPlugin, "TP01", "FFGL Test Plugin", 2, 1, 1, 0, 0,
                              "A plugin class of the tests' own", "tests", 0, nullptr, InitHook,
                              DeinitHook);

}  // namespace

extern "C" __attribute__((visibility("default"))) TestPluginKnobs* TestPluginControl() {
  return &knobs;
}
