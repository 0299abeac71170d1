// The portable part of the output files: choosing the temporary name, and folders.
#include "tools/plughost/platform/OutputFile.h"

#include <filesystem>

namespace plughost {

namespace {
constexpr int kNameAttempts = 100;
}

bool OutputFile::Begin(const std::string& targetPath, std::string* error) {
  Discard();
  const std::filesystem::path path(targetPath);
  const std::string folder = path.parent_path().string();
  const std::string stem = path.stem().string();
  const std::string extension = path.extension().string();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = "." + stem + ".partial-" + std::to_string(CurrentProcessNumber()) + "-" +
                       std::to_string(attempt) + extension;
    if (!folder.empty()) name = folder + "/" + name;
    std::string reason;
    switch (CreateFileExclusively(name, &reason)) {
      case ExclusiveCreate::Created:
        target = targetPath;
        temporary = name;
        return true;
      case ExclusiveCreate::Taken:
        continue;
      case ExclusiveCreate::Failed:
        *error =
            "cannot write in '" + (folder.empty() ? std::string(".") : folder) + "': " + reason;
        return false;
    }
  }
  *error = "cannot find a free temporary name next to '" + targetPath + "'";
  return false;
}

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
