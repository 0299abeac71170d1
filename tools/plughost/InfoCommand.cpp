// plughost info MODULE: what the module says about itself, read through plugMain only.
#include <algorithm>
#include <cstdio>

#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"

namespace plughost {

namespace {

const char kUsage[] =
    "usage: plughost info MODULE [--verbose]\n"
    "\n"
    "Shows a plugin module's identity (identifier, name, interface and plugin versions, type,\n"
    "description, about), its input counts and capabilities, and its parameters: id, name,\n"
    "type, default, range, and the elements of option parameters. Needs no OpenGL.\n"
    "\n"
    "  -v, --verbose   show the module's log lines\n";

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string DefaultOf(const ParameterInfo& parameter) {
  if (parameter.textValued) return "\"" + parameter.defaultText + "\"";
  return FormatValue(parameter, parameter.defaultValue);
}

std::string RangeOf(const ParameterInfo& parameter) {
  if (parameter.textValued) return "-";
  return Number(parameter.rangeMinimum) + " .. " + Number(parameter.rangeMaximum);
}

void PrintParameters(const std::vector<ParameterInfo>& parameters) {
  std::printf("\nParameters (%zu)\n", parameters.size());
  if (parameters.empty()) return;
  struct Row {
    std::string id, name, type, defaultText, range;
  };
  std::vector<Row> rows = {{"id", "name", "type", "default", "range"}};
  for (const ParameterInfo& parameter : parameters) {
    rows.push_back({std::to_string(parameter.id), parameter.name, ParameterTypeName(parameter.type),
                    DefaultOf(parameter), RangeOf(parameter)});
  }
  std::size_t widths[4] = {0, 0, 0, 0};
  for (const Row& row : rows) {
    widths[0] = std::max(widths[0], row.id.size());
    widths[1] = std::max(widths[1], row.name.size());
    widths[2] = std::max(widths[2], row.type.size());
    widths[3] = std::max(widths[3], row.defaultText.size());
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    std::printf("  %*s  %-*s  %-*s  %-*s  %s\n", static_cast<int>(widths[0]), row.id.c_str(),
                static_cast<int>(widths[1]), row.name.c_str(), static_cast<int>(widths[2]),
                row.type.c_str(), static_cast<int>(widths[3]), row.defaultText.c_str(),
                row.range.c_str());
    if (i == 0) continue;
    // Elements of an option parameter, one per line under it: value and name.
    for (const ElementInfo& element : parameters[i - 1].elements) {
      std::printf("  %*s  %-*s  element %s = %s\n", static_cast<int>(widths[0]), "",
                  static_cast<int>(widths[1]), "", Number(element.value).c_str(),
                  element.name.c_str());
    }
  }
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!line.Parse(args, {}, &error)) return Fail(kExitUsage, error);
  if (line.Has("help")) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  if (line.Positionals().size() != 1) {
    std::fputs(kUsage, stderr);
    return Fail(kExitUsage, "info takes exactly one MODULE");
  }
  const std::string& path = line.Positionals()[0];
  PluginModule module;
  if (const int status = LoadModule(module, path, line.Has("verbose"))) return status;

  const ModuleIdentity& id = module.Identity();
  std::printf("Module        %s\n", path.c_str());
  std::printf("Identifier    %s\n", id.identifier.c_str());
  std::printf("Name          %s\n", id.name.c_str());
  std::printf("Type          %s\n", PluginTypeName(id.pluginType).c_str());
  std::printf("Interface     %u.%u\n", id.interfaceMajor, id.interfaceMinor);
  if (id.hasExtendedInfo) {
    std::printf("Version       %u.%u\n", id.pluginMajor, id.pluginMinor);
    std::printf("Description   %s\n", id.description.c_str());
    std::printf("About         %s\n", id.about.c_str());
  } else {
    std::printf("Version       (no extended information)\n");
  }
  std::printf("Inputs        %u to %u\n", id.minimumInputs, id.maximumInputs);
  std::printf("Capabilities  base %s, optional %s\n", id.baseCapability ? "yes" : "no",
              id.optionalCapability ? "yes" : "no");
  std::printf("Log callback  %s\n",
              module.HasLogCallback() ? "yes" : "no (SetLogCallback missing)");
  PrintParameters(module.Parameters());
  return kExitSuccess;
}

}  // namespace plughost
