#include "tests/support/LoadedModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>

namespace testhost {

namespace {

void AppendLogLine(const char* line) {
  LoadedModule::logLines().emplace_back(line);
}

bool CopyModuleFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

#if defined(_WIN32)
std::string PrivateCopyPath(int serial) {
  char directory[MAX_PATH + 1] = {};
  GetTempPathA(sizeof directory, directory);
  return std::string(directory) + "vexmodule-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(serial) + ".dll";
}
void* OpenModule(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) *error = "LoadLibrary failed with Windows error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseModule(void* handle) {
  FreeLibrary(static_cast<HMODULE>(handle));
}
// A relative module path names a file beside the test program, where the build puts the DLLs.
std::string BesideProgram(const std::string& path) {
  if (path.size() > 1 && (path[0] == '/' || path[0] == '\\' || path[1] == ':')) return path;
  char program[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const std::string programPath(program);
  return programPath.substr(0, programPath.find_last_of("\\/") + 1) + path;
}
#else
std::string PrivateCopyPath(int serial) {
  return "/tmp/vexmodule-" + std::to_string(getpid()) + "-" + std::to_string(serial) + ".so";
}
void* OpenModule(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) *error = dlerror();
  return handle;
}
void* FindSymbol(void* handle, const char* name) {
  return dlsym(handle, name);
}
void CloseModule(void* handle) {
  dlclose(handle);
}
std::string BesideProgram(const std::string& path) {
  return path;
}
#endif

}  // namespace

LoadedModule::LoadedModule(const std::string& path) {
  static int serial = 0;
  copyPath = PrivateCopyPath(serial++);
  if (!CopyModuleFile(path, copyPath)) {
    loadError = "cannot copy " + path;
    return;
  }
  handle = OpenModule(copyPath, &loadError);
  if (!handle) return;
  plugMain = reinterpret_cast<PlugMainFunction>(FindSymbol(handle, "plugMain"));
  setLogCallback = reinterpret_cast<SetLogCallbackFunction>(FindSymbol(handle, "SetLogCallback"));
  if (!plugMain || !setLogCallback) loadError = "module lacks plugMain or SetLogCallback";
}

LoadedModule::~LoadedModule() {
  if (handle) CloseModule(handle);
  if (!copyPath.empty()) std::remove(copyPath.c_str());
}

HostWord LoadedModule::Call(FunctionCode code, HostWord input, void* instance) const {
  return plugMain(static_cast<std::uint32_t>(code), input, instance);
}

HostWord LoadedModule::CallRaw(std::uint32_t code, HostWord input, void* instance) const {
  return plugMain(code, input, instance);
}

void LoadedModule::CaptureLog(bool on) {
  setLogCallback(on ? AppendLogLine : nullptr);
}

std::vector<std::string>& LoadedModule::logLines() {
  static std::vector<std::string> lines;
  return lines;
}

void* LoadedModule::Symbol(const char* name) const {
  return handle ? FindSymbol(handle, name) : nullptr;
}

void* LoadedModule::CreateInstance(std::uint32_t width, std::uint32_t height) const {
  ViewportRect viewport{0, 0, width, height};
  const HostWord answer = Call(FunctionCode::CreateInstance, &viewport);
  if (answer == kFailureWord || answer == 0) return nullptr;
  return reinterpret_cast<void*>(answer);
}

std::string VexModulePath() {
  return BesideProgram(VEX_MODULE_PATH);
}
std::string TestPluginModulePath() {
  return BesideProgram(TEST_PLUGIN_MODULE_PATH);
}

}  // namespace testhost
