#include "tools/plughost/ParameterSettings.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plughost {

namespace {

const char kRampSeparator[] = "..";

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool ParseNumber(const std::string& text, float* value) {
  const std::string trimmed = Trimmed(text);
  if (trimmed.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const float parsed = std::strtof(trimmed.c_str(), &end);
  if (end != trimmed.c_str() + trimmed.size() || errno == ERANGE || !std::isfinite(parsed)) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseBoolean(const std::string& text, float* value) {
  static const char* const kTrue[] = {"on", "true", "1", "yes"};
  static const char* const kFalse[] = {"off", "false", "0", "no"};
  const std::string trimmed = Trimmed(text);
  for (const char* word : kTrue) {
    if (SameIgnoringCase(trimmed, word)) {
      *value = 1.0f;
      return true;
    }
  }
  for (const char* word : kFalse) {
    if (SameIgnoringCase(trimmed, word)) {
      *value = 0.0f;
      return true;
    }
  }
  return false;
}

std::string ElementList(const ParameterInfo& parameter) {
  std::string list;
  for (const ElementInfo& element : parameter.elements) {
    if (!list.empty()) list += ", ";
    list += element.name;
  }
  return list;
}

// One value (no ramp) of a float-valued parameter.
bool ParseValue(const ParameterInfo& parameter, const std::string& text, float* value,
                std::string* error) {
  if (parameter.type == ParamTypeBoolean) {
    if (ParseBoolean(text, value)) return true;
    *error =
        parameter.name + ": '" + text + "' is not a boolean value (use on/off, true/false or 1/0)";
    return false;
  }
  if (parameter.type == ParamTypeOption) {
    const std::string trimmed = Trimmed(text);
    for (const ElementInfo& element : parameter.elements) {
      if (SameIgnoringCase(trimmed, element.name)) {
        *value = element.value;
        return true;
      }
    }
    if (ParseNumber(text, value)) return true;
    *error = parameter.name + ": '" + text + "' is neither one of its elements (" +
             ElementList(parameter) + ") nor a number";
    return false;
  }
  if (ParseNumber(text, value)) return true;
  *error = parameter.name + ": '" + text + "' is not a number";
  return false;
}

const ParameterInfo* FindParameter(const std::vector<ParameterInfo>& parameters,
                                   const std::string& key) {
  for (const ParameterInfo& parameter : parameters) {
    if (SameIgnoringCase(key, parameter.name)) return &parameter;
  }
  // An id, written as a plain decimal number.
  if (key.empty() || key.size() > 9) return nullptr;
  for (const char c : key) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return nullptr;
  }
  const unsigned long id = std::strtoul(key.c_str(), nullptr, 10);
  for (const ParameterInfo& parameter : parameters) {
    if (parameter.id == id) return &parameter;
  }
  return nullptr;
}

std::string ValidNames(const std::vector<ParameterInfo>& parameters) {
  if (parameters.empty()) return "the module has no parameters";
  std::string names;
  for (const ParameterInfo& parameter : parameters) {
    if (!names.empty()) names += ", ";
    names += parameter.name;
  }
  return "valid names: " + names + "; or ids 0 to " + std::to_string(parameters.size() - 1);
}

}  // namespace

float ParameterSetting::ValueAt(std::size_t frame, std::size_t frameCount) const {
  if (!ramp || frameCount <= 1) return from;
  double t = static_cast<double>(frame) / static_cast<double>(frameCount - 1);
  if (t > 1.0) t = 1.0;
  return static_cast<float>(from + (static_cast<double>(to) - from) * t);
}

bool ResolveSetting(const std::vector<ParameterInfo>& parameters, const std::string& assignment,
                    ParameterSetting* setting, std::string* error) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) {
    *error = "--set '" + assignment + "': expected NAME=VALUE";
    return false;
  }
  const std::string key = Trimmed(assignment.substr(0, equals));
  const std::string value = assignment.substr(equals + 1);
  const ParameterInfo* parameter = FindParameter(parameters, key);
  if (!parameter) {
    *error = "no parameter named '" + key + "' (" + ValidNames(parameters) + ")";
    return false;
  }
  *setting = ParameterSetting{};
  setting->parameter = parameter;
  if (parameter->textValued) {
    setting->text = value;
    return true;
  }
  // An element may itself contain "..", so a whole-value reading comes first.
  std::string ignored;
  if (ParseValue(*parameter, value, &setting->from, &ignored)) {
    setting->to = setting->from;
    return true;
  }
  const std::size_t separator = value.find(kRampSeparator);
  if (separator != std::string::npos && separator > 0) {
    const std::string first = value.substr(0, separator);
    const std::string last = value.substr(separator + sizeof kRampSeparator - 1);
    if (!ParseValue(*parameter, first, &setting->from, error)) return false;
    if (!ParseValue(*parameter, last, &setting->to, error)) return false;
    setting->ramp = true;
    return true;
  }
  return ParseValue(*parameter, value, &setting->from, error);
}

bool ResolveSettings(const std::vector<ParameterInfo>& parameters,
                     const std::vector<std::string>& assignments,
                     std::vector<ParameterSetting>* settings, std::string* error) {
  settings->clear();
  for (const std::string& assignment : assignments) {
    ParameterSetting setting;
    if (!ResolveSetting(parameters, assignment, &setting, error)) return false;
    settings->push_back(setting);
  }
  return true;
}

bool ApplySettings(PluginModule& module, void* instance,
                   const std::vector<ParameterSetting>& settings, std::size_t frame,
                   std::size_t frameCount, bool rampsOnly, std::string* error) {
  for (const ParameterSetting& setting : settings) {
    if (rampsOnly && !setting.ramp) continue;
    const ParameterInfo& parameter = *setting.parameter;
    const bool accepted =
        parameter.textValued
            ? module.WriteText(instance, parameter.id, setting.text.c_str())
            : module.WriteFloat(instance, parameter.id, setting.ValueAt(frame, frameCount));
    if (!accepted) {
      *error = module.DisplayName() + " refused the value of " + parameter.name +
               " (WriteParameter failed)";
      return false;
    }
  }
  return true;
}

std::string FormatValue(const ParameterInfo& parameter, float value) {
  char number[32];
  std::snprintf(number, sizeof number, "%g", static_cast<double>(value));
  std::string text = number;
  if (parameter.type == ParamTypeBoolean && (value == 0.0f || value == 1.0f)) {
    return text + (value != 0.0f ? " (on)" : " (off)");
  }
  for (const ElementInfo& element : parameter.elements) {
    if (element.value == value) return text + " (" + element.name + ")";
  }
  return text;
}

}  // namespace plughost
