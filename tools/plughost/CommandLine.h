// A small command-line reader for the subcommands: long options (--name VALUE or
// --name=VALUE), a few one-letter aliases, repeatable options and positional arguments.
// Unknown options and missing values are errors with one line of reason.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// Exit statuses of every subcommand.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the run failed: module, GL, input, output, ffmpeg
constexpr int kExitUsage = 2;    // the command line is wrong: options, parameters, values
constexpr int kExitInterrupted = 130;

struct OptionSpec {
  const char* name;  // without the leading "--"
  char alias;        // one-letter form ("-o"), or 0
  bool takesValue;
};

class CommandLine {
 public:
  // Reads `args` (the words after the subcommand). --help/-h and --verbose/-v are always known.
  bool Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
             std::string* error);

  bool Has(const char* name) const;
  // The last value given for the option, or `fallback`.
  std::string Value(const char* name, const std::string& fallback = "") const;
  // Every value given for a repeatable option, in order.
  std::vector<std::string> Values(const char* name) const;
  const std::vector<std::string>& Positionals() const { return positionals; }

 private:
  std::vector<std::pair<std::string, std::string>> given;
  std::vector<std::string> positionals;
};

// Prints "plughost: <message>" on standard error and returns `status`.
int Fail(int status, const std::string& message);

}  // namespace plughost
