// An output that appears complete or not at all: everything is written under a temporary name
// in the target's folder (same extension, so tools that go by extension still work), and only
// Commit renames it to the target, replacing an older file. Ending without Commit removes the
// temporary file and leaves any older target untouched.
#pragma once

#include <cstddef>
#include <string>

namespace plughost {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Reserves a fresh temporary name next to `target` (the file is created empty).
  bool Begin(const std::string& target, std::string* error);
  const std::string& TemporaryPath() const { return temporary; }
  // Writes `size` bytes to the temporary file (replacing its content).
  bool WriteAll(const void* data, std::size_t size, std::string* error);
  // Moves the temporary file onto the target.
  bool Commit(std::string* error);
  void Discard();

 private:
  std::string target;
  std::string temporary;
};

// The platform's part of Begin: creates `path` empty unless a file of that name exists.
enum class ExclusiveCreate { Created, Taken, Failed };
ExclusiveCreate CreateFileExclusively(const std::string& path, std::string* error);
unsigned long CurrentProcessNumber();

// Creates `path` as a folder (and its parents) unless it exists.
bool EnsureFolder(const std::string& path, std::string* error);

}  // namespace plughost
