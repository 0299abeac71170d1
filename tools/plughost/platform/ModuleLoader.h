// Loading a plugin module and looking up its exported entry points by name, as the platform's
// dynamic loader does it. One object holds one loaded module; ending it unloads the module.
// The POSIX implementation uses dlopen/dlsym, the Windows one LoadLibraryEx/GetProcAddress.
#pragma once

#include <string>

namespace plughost {

class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  ~LoadedLibrary() { Close(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // Loads the file at `path` (a bare name is taken relative to the current directory, never
  // searched for on the library path). False with the loader's reason when it cannot.
  bool Open(const std::string& path, std::string* error);
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;
  void Close();

 private:
  void* handle = nullptr;
};

}  // namespace plughost
