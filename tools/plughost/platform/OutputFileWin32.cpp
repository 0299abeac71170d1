#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "tools/plughost/platform/OutputFile.h"
#include "tools/plughost/platform/Win32Text.h"

namespace plughost {

namespace {
// One WriteFile call moves at most this much (it takes a DWORD).
constexpr std::size_t kMaximumTransfer = 1 << 30;
}  // namespace

ExclusiveCreate CreateFileExclusively(const std::string& path, std::string* error) {
  // CREATE_NEW fails on a name that exists, as O_EXCL does.
  const HANDLE file = CreateFileW(WidenText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return ExclusiveCreate::Created;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return ExclusiveCreate::Taken;
  *error = SystemErrorText(code);
  return ExclusiveCreate::Failed;
}

unsigned long CurrentProcessNumber() {
  return GetCurrentProcessId();
}

bool OutputFile::WriteAll(const void* data, std::size_t size, std::string* error) {
  const HANDLE file = CreateFileW(WidenText(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                  TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot write '" + temporary + "': " + SystemErrorText(GetLastError());
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    DWORD put = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaximumTransfer));
    if (!WriteFile(file, bytes + done, wanted, &put, nullptr) || put == 0) {
      *error = "cannot write '" + target + "': " + SystemErrorText(GetLastError());
      CloseHandle(file);
      return false;
    }
    done += put;
  }
  if (!CloseHandle(file)) {
    *error = "cannot write '" + target + "': " + SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

// MoveFileEx replaces the target in one step where std::rename refuses an existing one.
bool OutputFile::Commit(std::string* error) {
  if (temporary.empty()) {
    *error = "nothing to commit";
    return false;
  }
  if (!MoveFileExW(WidenText(temporary).c_str(), WidenText(target).c_str(),
                   MOVEFILE_REPLACE_EXISTING)) {
    *error = "cannot write '" + target + "': " + SystemErrorText(GetLastError());
    return false;
  }
  temporary.clear();
  return true;
}

void OutputFile::Discard() {
  if (!temporary.empty()) DeleteFileW(WidenText(temporary).c_str());
  temporary.clear();
}

}  // namespace plughost
