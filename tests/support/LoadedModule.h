// Loads a built plugin module as a host does and calls its two entry points. Each
// LoadedModule loads its own private copy of the file, so module-wide state (prototype, GL
// loading flags, log callback) starts fresh for every test that makes one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "host/HostInterface.h"

namespace testhost {

class LoadedModule {
 public:
  // `path` is the built module; the copy is removed when this object ends.
  explicit LoadedModule(const std::string& path);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  bool ok() const { return plugMain != nullptr; }
  const std::string& error() const { return loadError; }

  HostWord Call(FunctionCode code, HostWord input = 0, void* instance = nullptr) const;
  HostWord CallRaw(std::uint32_t code, HostWord input = 0, void* instance = nullptr) const;
  template <typename Record>
  HostWord Call(FunctionCode code, Record* record, void* instance = nullptr) const {
    return Call(code, reinterpret_cast<HostWord>(record), instance);
  }
  static std::uint32_t Low(HostWord word) { return static_cast<std::uint32_t>(word); }

  // Installs a callback that appends every host-log line to logLines() (or removes it).
  void CaptureLog(bool on = true);
  static std::vector<std::string>& logLines();

  // A symbol of the loaded copy, for test modules that export more than the two entry points.
  void* Symbol(const char* name) const;

  // CreateInstance with a 0,0,width,height viewport; null on failure.
  void* CreateInstance(std::uint32_t width = 64, std::uint32_t height = 64) const;

 private:
  std::string copyPath;
  std::string loadError;
  void* handle = nullptr;
  PlugMainFunction plugMain = nullptr;
  SetLogCallbackFunction setLogCallback = nullptr;
};

// Paths of the built modules, passed in by the build.
std::string VexModulePath();
std::string TestPluginModulePath();

}  // namespace testhost
