// The portable part of the output files: folders, through std::filesystem.
#include "tools/plughost/platform/OutputFile.h"

#include <filesystem>

namespace plughost {

bool EnsureFolder(const std::string& path, std::string* error) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) return true;
  if (!std::filesystem::create_directories(path, code) || code) {
    *error = "cannot create the folder '" + path + "': " + code.message();
    return false;
  }
  return true;
}

}  // namespace plughost
