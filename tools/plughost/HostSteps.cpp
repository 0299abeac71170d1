#include <cstdio>

#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"

namespace plughost {

int LoadModule(PluginModule& module, const std::string& path, bool verbose) {
  ModuleLog::SetEcho(verbose);
  std::string error;
  if (!module.Load(path, &error)) {
    Fail(kExitFailure, error);
    PrintModuleLog();
    return kExitFailure;
  }
  if (verbose && !module.HasLogCallback()) {
    std::fprintf(stderr, "plughost: %s exports no SetLogCallback; it cannot log\n",
                 module.DisplayName().c_str());
  }
  return kExitSuccess;
}

int ResolveAssignments(const PluginModule& module, const std::vector<std::string>& assignments,
                       std::vector<ParameterSetting>* settings) {
  std::string error;
  if (!ResolveSettings(module.Parameters(), assignments, settings, &error)) {
    return Fail(kExitUsage, error);
  }
  return kExitSuccess;
}

void PrintModuleLog() {
  if (ModuleLog::Echo()) return;  // already shown as it arrived
  const std::vector<std::string> lines = ModuleLog::Lines();
  for (const std::string& line : lines) std::fprintf(stderr, "  module log: %s\n", line.c_str());
}

int StartInstance(PluginModule& module, std::uint32_t width, std::uint32_t height,
                  const std::vector<ParameterSetting>& settings, std::size_t frameCount,
                  PluginInstance* instance) {
  const ViewportRect viewport{0, 0, width, height};
  void* handle = module.CreateInstance(viewport);
  if (!handle) {
    const bool logged = !ModuleLog::Lines().empty();
    Fail(kExitFailure, module.DisplayName() + " could not create an instance (CreateInstance " +
                           "failed)" + (logged ? "; its log:" : "; it logged nothing"));
    PrintModuleLog();
    return kExitFailure;
  }
  *instance = PluginInstance(&module, handle);
  if (!module.SendHostIdentity(handle, kHostName, kHostVersion)) {
    return Fail(kExitFailure, module.DisplayName() + " refused the host identity");
  }
  std::string error;
  if (!ApplySettings(module, handle, settings, 0, frameCount, false, &error)) {
    return Fail(kExitFailure, error);
  }
  return kExitSuccess;
}

void PrintValues(PluginModule& module, void* instance) {
  for (const ParameterInfo& parameter : module.Parameters()) {
    float value = 0.0f;
    std::string text;
    if (!module.ReadValue(instance, parameter, &value, &text)) {
      std::printf("%s = (no answer)\n", parameter.name.c_str());
    } else if (parameter.textValued) {
      std::printf("%s = \"%s\"\n", parameter.name.c_str(), text.c_str());
    } else {
      std::printf("%s = %s\n", parameter.name.c_str(), FormatValue(parameter, value).c_str());
    }
  }
  std::fflush(stdout);
}

}  // namespace plughost
