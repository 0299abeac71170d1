// Text helpers shared by the Windows platform pieces. Paths and arguments reach plughost in the
// ANSI code page (main's argv, the C runtime's fopen); they are widened with that same code page
// for the W functions, so every API call sees the name the user typed. Windows builds only.
#pragma once

#include <windows.h>

#include <string>

namespace plughost {

inline std::wstring WidenText(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

// The system's message for a Windows error code, on one line without the closing full stop.
inline std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length && buffer ? std::string(buffer, length) : std::string();
  if (buffer) LocalFree(buffer);
  // Some texts hold an insert for a file name that FormatMessage is not given.
  for (std::size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1")) {
    text.replace(at, 2, "the file");
  }
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

}  // namespace plughost
