#include "tools/plughost/CommandLine.h"

#include <cstdio>

namespace plughost {

bool CommandLine::Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                        std::string* error) {
  std::vector<OptionSpec> options = specs;
  options.push_back({"help", 'h', false});
  options.push_back({"verbose", 'v', false});
  given.clear();
  positionals.clear();
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name;
    std::string inlineValue;
    bool hasInlineValue = false;
    const OptionSpec* spec = nullptr;
    if (arg[1] == '-') {
      name = arg.substr(2);
      const std::size_t equals = name.find('=');
      if (equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        hasInlineValue = true;
        name.resize(equals);
      }
      for (const OptionSpec& option : options) {
        if (name == option.name) spec = &option;
      }
    } else if (arg.size() == 2) {
      for (const OptionSpec& option : options) {
        if (option.alias == arg[1]) spec = &option;
      }
    }
    if (!spec) {
      *error = "unknown option '" + arg + "' (see --help)";
      return false;
    }
    if (!spec->takesValue) {
      if (hasInlineValue) {
        *error = "option --" + std::string(spec->name) + " takes no value";
        return false;
      }
      given.emplace_back(spec->name, "");
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= args.size()) {
        *error = "option --" + std::string(spec->name) + " needs a value";
        return false;
      }
      inlineValue = args[++i];
    }
    given.emplace_back(spec->name, inlineValue);
  }
  return true;
}

bool CommandLine::Has(const char* name) const {
  for (const auto& option : given) {
    if (option.first == name) return true;
  }
  return false;
}

std::string CommandLine::Value(const char* name, const std::string& fallback) const {
  std::string value = fallback;
  for (const auto& option : given) {
    if (option.first == name) value = option.second;
  }
  return value;
}

std::vector<std::string> CommandLine::Values(const char* name) const {
  std::vector<std::string> values;
  for (const auto& option : given) {
    if (option.first == name) values.push_back(option.second);
  }
  return values;
}

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "plughost: %s\n", message.c_str());
  return status;
}

}  // namespace plughost
