// The switches and observations of the test plugin module, shared by the module and the tests.
// The module exports `TestPluginControl()`, which answers the address of its one TestPluginKnobs;
// tests set switches before a call and read counters and the journal after it. Each loaded copy
// of the module has its own knobs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/HostInterface.h"

// Parameters of the test plugin, declared in the order 2, 0, 3, 1 (not by id).
enum TestParameterId : std::uint32_t {
  kTestLevel = 0,    // ParamTypeUnitFloat, default 0.25
  kTestCaption = 1,  // ParamTypeText, default text "hello", shared text "shared", instance text
                     // "instance"; ReadTextParameter answers the stored text
  kTestMode = 2,     // ParamTypeOption with elements "A" 0, "B" 1, "C" 2; default 2.0
  kTestLabel = 3,    // ParamTypeAltText, default text empty; ReadTextParameter not overridden
  kTestParameterCount = 4,
};

struct TestPluginKnobs {
  enum class FactoryMode { Make, AnswerFailure, AnswerSuccessWithNull };

  // --- Switches ---
  FactoryMode factoryMode = FactoryMode::Make;
  bool declareParameters = true;
  bool optionalCapability = false;
  std::int32_t minimumInputs = 1;
  std::int32_t maximumInputs = 2;
  std::uint32_t initHookResult = kSuccess;
  // ApplyFloatParameter/ApplyTextParameter answer kFailure for this id (-1: for none).
  std::int64_t failApplyId = -1;
  std::uint32_t initGLResult = kSuccess;
  std::uint32_t shutdownGLResult = kSuccess;
  std::uint32_t renderResult = kSuccess;
  std::uint32_t hostConnectResult = kSuccess;
  std::uint32_t hostDisconnectResult = kSuccess;
  // The operation (journal word, e.g. "InitGL", "ApplyFloat", "ctor", "InitHook") that throws
  // std::bad_alloc when entered; empty for none.
  std::string throwIn;
  // What InitGL writes to the host log; null writes a null text.
  const char* initGLLogLine = "TestPlugin: InitGL";
  // (id, word) pairs stored as pending events in every instance the factory makes.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> pendingEvents;
  void* pluginData = nullptr;

  // --- Observations ---
  int factoryCalls = 0;
  int initHookCalls = 0;
  int deinitHookCalls = 0;
  int liveInstances = 0;
  // One entry per operation entered, e.g. "ctor", "ApplyFloat 0 0.25", "ApplyText 1 hello",
  // "InitGL", "HostConnect", "RenderFrame", "HostDisconnect", "ShutdownGL", "dtor".
  std::vector<std::string> journal;
};

using TestPluginControlFunction = TestPluginKnobs* (*)();
