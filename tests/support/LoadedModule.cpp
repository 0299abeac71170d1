#include "tests/support/LoadedModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace testhost {

namespace {

void AppendLogLine(const char* line) { LoadedModule::logLines().emplace_back(line); }

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

}  // namespace

LoadedModule::LoadedModule(const std::string& path) {
  static int serial = 0;
  copyPath = "/tmp/vexmodule-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".so";
  if (!CopyFile(path, copyPath)) {
    loadError = "cannot copy " + path;
    return;
  }
  handle = dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    loadError = dlerror();
    return;
  }
  plugMain = reinterpret_cast<PlugMainFunction>(dlsym(handle, "plugMain"));
  setLogCallback = reinterpret_cast<SetLogCallbackFunction>(dlsym(handle, "SetLogCallback"));
  if (!plugMain || !setLogCallback) loadError = "module lacks plugMain or SetLogCallback";
}

LoadedModule::~LoadedModule() {
  if (handle) dlclose(handle);
  if (!copyPath.empty()) std::remove(copyPath.c_str());
}

HostWord LoadedModule::Call(FunctionCode code, HostWord input, void* instance) const {
  return plugMain(static_cast<std::uint32_t>(code), input, instance);
}

HostWord LoadedModule::CallRaw(std::uint32_t code, HostWord input, void* instance) const {
  return plugMain(code, input, instance);
}

void LoadedModule::CaptureLog(bool on) { setLogCallback(on ? AppendLogLine : nullptr); }

std::vector<std::string>& LoadedModule::logLines() {
  static std::vector<std::string> lines;
  return lines;
}

void* LoadedModule::Symbol(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }

void* LoadedModule::CreateInstance(std::uint32_t width, std::uint32_t height) const {
  ViewportRect viewport{0, 0, width, height};
  const HostWord answer = Call(FunctionCode::CreateInstance, &viewport);
  if (answer == kFailureWord || answer == 0) return nullptr;
  return reinterpret_cast<void*>(answer);
}

std::string VexModulePath() { return VEX_MODULE_PATH; }
std::string TestPluginModulePath() { return TEST_PLUGIN_MODULE_PATH; }

}  // namespace testhost
