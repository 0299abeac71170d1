// The --set assignments of the command line, resolved against a module's own parameter list.
// A parameter is named by its display name (any letter case) or its id; the value is read by
// the parameter's type: a number; on/off, true/false or 1/0 for a boolean; an element name (or
// a number) for an option; any text for a text parameter. "A..B" ramps a float-valued
// parameter linearly from A on the first frame of a run to B on its last.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/plughost/PluginModule.h"

namespace plughost {

struct ParameterSetting {
  const ParameterInfo* parameter = nullptr;  // into the module's list
  std::string text;                          // text-valued parameters
  float from = 0.0f;
  float to = 0.0f;
  bool ramp = false;

  // The value on frame `frame` of a run of `frameCount` frames.
  float ValueAt(std::size_t frame, std::size_t frameCount) const;
};

// Resolves one "NAME=VALUE". False with one line of reason: no such parameter (the message
// lists the valid names), or a value that does not read as the parameter's type.
bool ResolveSetting(const std::vector<ParameterInfo>& parameters, const std::string& assignment,
                    ParameterSetting* setting, std::string* error);
bool ResolveSettings(const std::vector<ParameterInfo>& parameters,
                     const std::vector<std::string>& assignments,
                     std::vector<ParameterSetting>* settings, std::string* error);

// Sends the settings to an instance for one frame; with `rampsOnly` only the ramped ones
// (the others were sent once already). False names the parameter the module refused.
bool ApplySettings(PluginModule& module, void* instance,
                   const std::vector<ParameterSetting>& settings, std::size_t frame,
                   std::size_t frameCount, bool rampsOnly, std::string* error);

// "0.3"; "2 (White)" for an option value that matches an element; "1 (on)" for booleans.
std::string FormatValue(const ParameterInfo& parameter, float value);

}  // namespace plughost
