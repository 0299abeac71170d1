// The subcommands of plughost, each a function from its arguments (the words after the
// subcommand's name) to the process's exit status, and the host steps they share.
#pragma once

#include <string>
#include <vector>

#include "framework/HostRecords.h"
#include "tools/plughost/ParameterSettings.h"
#include "tools/plughost/PluginModule.h"

namespace plughost {

constexpr const char* kHostName = "plughost";
constexpr const char* kHostVersion = "1.0";

int RunInfo(const std::vector<std::string>& args);
int RunRender(const std::vector<std::string>& args);
int RunVideo(const std::vector<std::string>& args);
int RunBench(const std::vector<std::string>& args);

// Host steps shared by the subcommands; each prints its own error line and answers an exit
// status (kExitSuccess when it worked).

// Load and catalogue the module, then resolve the --set assignments against it.
int LoadModule(PluginModule& module, const std::string& path, bool verbose);
int ResolveAssignments(const PluginModule& module, const std::vector<std::string>& assignments,
                       std::vector<ParameterSetting>* settings);
// CreateInstance with a 0,0,width,height viewport, then SendHostIdentity and every setting's
// first value. On failure the message carries the module's own log lines.
int StartInstance(PluginModule& module, std::uint32_t width, std::uint32_t height,
                  const std::vector<ParameterSetting>& settings, std::size_t frameCount,
                  PluginInstance* instance);
// Prints every parameter as the instance reads it back (ReadParameter), one per line.
void PrintValues(PluginModule& module, void* instance);
// The module's log lines (since load) after a failure message, indented.
void PrintModuleLog();

}  // namespace plughost
