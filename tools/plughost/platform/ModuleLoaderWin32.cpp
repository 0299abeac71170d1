#include <windows.h>

#include "tools/plughost/platform/ModuleLoader.h"
#include "tools/plughost/platform/Win32Text.h"

namespace plughost {

bool LoadedLibrary::Open(const std::string& path, std::string* error) {
  Close();
  const std::wstring widePath = WidenText(path);
  const DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *error = "no such file";
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = "not a regular file";
    return false;
  }
  // LoadLibrary searches the program's folder, the system folders and PATH for a relative
  // name; a module is always the file named, so it gets a full path. With a full path,
  // LOAD_WITH_ALTERED_SEARCH_PATH also finds the module's own DLLs in its folder.
  const DWORD fullLength = GetFullPathNameW(widePath.c_str(), 0, nullptr, nullptr);
  std::wstring fullPath(fullLength, L'\0');
  const DWORD written =
      fullLength ? GetFullPathNameW(widePath.c_str(), fullLength, &fullPath[0], nullptr) : 0;
  if (written == 0 || written >= fullLength) {
    *error = SystemErrorText(GetLastError());
    return false;
  }
  fullPath.resize(written);
  // A missing dependency must come back as an error here, not as a dialog box.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  HMODULE module = LoadLibraryExW(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD loadError = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (!module) {
    // The system's own texts for these two name the wrong culprit or none.
    if (loadError == ERROR_BAD_EXE_FORMAT) {
      *error = "not a 64-bit Windows DLL";
    } else if (loadError == ERROR_MOD_NOT_FOUND) {
      *error = "a DLL it depends on cannot be found";
    } else {
      *error = SystemErrorText(loadError);
    }
    return false;
  }
  handle = module;
  return true;
}

void* LoadedLibrary::Symbol(const char* name) const {
  if (!handle) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void LoadedLibrary::Close() {
  if (handle) FreeLibrary(static_cast<HMODULE>(handle));
  handle = nullptr;
}

}  // namespace plughost
