// Test-side helpers for driving the test plugin module: a private copy of the module together
// with its knobs, and small readers of answer words.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"
#include "tests/testplugin/TestPluginKnobs.h"

namespace testhost {

class TestPluginModule : public LoadedModule {
 public:
  TestPluginModule() : LoadedModule(TestPluginModulePath()) {
    if (void* control = Symbol("TestPluginControl")) {
      knobsOf = reinterpret_cast<TestPluginControlFunction>(control)();
    }
  }
  TestPluginKnobs& knobs() const { return *knobsOf; }
  bool ready() const { return ok() && knobsOf != nullptr; }

 private:
  TestPluginKnobs* knobsOf = nullptr;
};

inline float FloatOf(HostWord word) {
  const std::uint32_t bits = static_cast<std::uint32_t>(word);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline std::uint32_t BitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline const char* TextAt(HostWord word) {
  return reinterpret_cast<const char*>(word);
}

// The host's GL context, current on this thread; fails the test when none can be had.
#define ASSERT_GL_CONTEXT()                                        \
  do {                                                             \
    std::string glError;                                           \
    ASSERT_TRUE(::testhost::EnsureGLContext(&glError)) << glError; \
  } while (0)

}  // namespace testhost
