// Placeholder test plugin; the dispatch tests fill it in.
#include "framework/CFFGLPlugin.h"
#include "host/PluginInfo.h"

namespace {
class TestPlugin : public CFFGLPlugin {
 public:
  TestPlugin() : CFFGLPlugin(false) {}
};
std::uint32_t Make(CFFGLPlugin** instance) {
  *instance = new TestPlugin;
  return kSuccess;
}
const PluginInfo registration(Make, "TP01", "Test Plugin", 2, 1, 1, 0, 0, "test", "tests", 0,
                              nullptr, nullptr, nullptr);
}  // namespace

extern "C" __attribute__((visibility("default"))) void* TestPluginControl() { return nullptr; }
