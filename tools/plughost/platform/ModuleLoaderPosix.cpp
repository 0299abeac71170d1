#include <dlfcn.h>
#include <sys/stat.h>

#include "tools/plughost/platform/ModuleLoader.h"

namespace plughost {

bool LoadedLibrary::Open(const std::string& path, std::string* error) {
  Close();
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = "no such file";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  // dlopen searches the library path for names without a slash; a module is always a file.
  const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    *error = reason ? reason : "the loader refused it";
    return false;
  }
  return true;
}

void* LoadedLibrary::Symbol(const char* name) const {
  return handle ? dlsym(handle, name) : nullptr;
}

void LoadedLibrary::Close() {
  if (handle) dlclose(handle);
  handle = nullptr;
}

}  // namespace plughost
