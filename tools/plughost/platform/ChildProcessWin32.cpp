#include <windows.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "tools/plughost/platform/ChildProcess.h"
#include "tools/plughost/platform/Win32Text.h"

namespace plughost {

namespace {

constexpr std::size_t kErrorOutputLimit = 16 * 1024;
// Room for a good part of a video frame, so the encoder and plughost do not take turns.
constexpr DWORD kPipeBufferBytes = 1 << 20;
// One ReadFile or WriteFile moves at most this much (the calls take a DWORD).
constexpr std::size_t kMaximumTransfer = 1 << 30;
// Exit codes from here up are NTSTATUS failures (access violation, ...): the child crashed.
constexpr DWORD kFirstCrashStatus = 0xC0000000;

// Children inherit every inheritable handle that exists while they are created. Starts are
// taken one at a time, and each closes its child's ends before the next begins, so a child
// never holds another child's pipe open (which would keep that pipe from ever ending).
std::mutex& StartMutex() {
  static std::mutex mutex;
  return mutex;
}

void CloseIfOpen(HANDLE* handle) {
  if (*handle) CloseHandle(*handle);
  *handle = nullptr;
}

// One argument as the C runtime and CommandLineToArgvW read it back: quoted when it holds
// blanks or quotes, with the backslashes before a quote doubled.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(argument[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

}  // namespace

struct ChildProcess::Native {
  HANDLE process = nullptr;
  HANDLE pipe = nullptr;
  HANDLE errorPipe = nullptr;
  std::thread errorReader;
  mutable std::mutex errorMutex;
  std::string errorText;
  int exitStatus = -1;
  bool waited = false;
  bool killed = false;
};

ChildProcess::ChildProcess() : native(new Native) {}

ChildProcess::~ChildProcess() {
  if (native->process && !native->waited) {
    Kill();
    Wait();
  }
  ClosePipe();
  if (native->errorReader.joinable()) native->errorReader.join();
  CloseIfOpen(&native->process);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, Pipe pipe, std::string* error,
                         Priority priority) {
  std::wstring commandLine;
  for (const std::string& argument : argv) {
    if (!commandLine.empty()) commandLine.push_back(L' ');
    commandLine += QuoteArgument(WidenText(argument));
  }
  const bool toChild = pipe == Pipe::kToChildInput;

  std::lock_guard<std::mutex> lock(StartMutex());
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE dataRead = nullptr, dataWrite = nullptr, errorRead = nullptr, errorWrite = nullptr;
  if (!CreatePipe(&dataRead, &dataWrite, &inheritable, kPipeBufferBytes)) {
    *error = "cannot create a pipe: " + SystemErrorText(GetLastError());
    return false;
  }
  if (!CreatePipe(&errorRead, &errorWrite, &inheritable, 0)) {
    *error = "cannot create a pipe: " + SystemErrorText(GetLastError());
    CloseIfOpen(&dataRead);
    CloseIfOpen(&dataWrite);
    return false;
  }
  HANDLE ourEnd = toChild ? dataWrite : dataRead;
  HANDLE childEnd = toChild ? dataRead : dataWrite;
  SetHandleInformation(ourEnd, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errorRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE nullDevice =
      CreateFileW(L"NUL", toChild ? GENERIC_WRITE : GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  if (nullDevice == INVALID_HANDLE_VALUE) nullDevice = nullptr;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = toChild ? childEnd : nullDevice;
  startup.hStdOutput = toChild ? nullDevice : childEnd;
  startup.hStdError = errorWrite;
  PROCESS_INFORMATION started{};
  // No application name: CreateProcess looks argv[0] up itself (beside plughost, the current
  // folder, the system folders, PATH) and adds ".exe".
  const DWORD flags = priority == Priority::kBelowThisProcess ? BELOW_NORMAL_PRIORITY_CLASS : 0;
  const BOOL created = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags,
                                      nullptr, nullptr, &startup, &started);
  const DWORD createError = GetLastError();
  CloseIfOpen(&childEnd);
  CloseIfOpen(&errorWrite);
  CloseIfOpen(&nullDevice);
  if (!created) {
    CloseIfOpen(&ourEnd);
    CloseIfOpen(&errorRead);
    *error = createError == ERROR_FILE_NOT_FOUND || createError == ERROR_PATH_NOT_FOUND
                 ? "not found"
                 : SystemErrorText(createError);
    return false;
  }
  CloseHandle(started.hThread);
  native->process = started.hProcess;
  native->pipe = ourEnd;
  native->errorPipe = errorRead;
  native->errorReader = std::thread([n = native.get()] {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(n->errorPipe, chunk, sizeof chunk, &got, nullptr)) {
      std::lock_guard<std::mutex> lock(n->errorMutex);
      n->errorText.append(chunk, got);
      if (n->errorText.size() > kErrorOutputLimit) {
        n->errorText.erase(0, n->errorText.size() - kErrorOutputLimit);
      }
    }
    CloseIfOpen(&n->errorPipe);
  });
  return true;
}

std::size_t ChildProcess::Read(void* buffer, std::size_t size) {
  std::size_t done = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (native->pipe && done < size) {
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaximumTransfer));
    // The pipe ends with ERROR_BROKEN_PIPE once the child has closed its output.
    if (!ReadFile(native->pipe, bytes + done, wanted, &got, nullptr)) break;
    done += got;
  }
  return done;
}

bool ChildProcess::Write(const void* data, std::size_t size) {
  std::size_t done = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (native->pipe && done < size) {
    DWORD put = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaximumTransfer));
    // A child that stopped reading fails the write (ERROR_NO_DATA); nothing is raised.
    if (!WriteFile(native->pipe, bytes + done, wanted, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return done == size;
}

void ChildProcess::ClosePipe() {
  CloseIfOpen(&native->pipe);
}

int ChildProcess::Wait() {
  if (!native->process) return -1;
  if (!native->waited) {
    WaitForSingleObject(native->process, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(native->process, &code) != 0;
    native->waited = true;
    // Killed or crashed stands where POSIX has "ended by a signal".
    native->exitStatus =
        !known || native->killed || code >= kFirstCrashStatus ? -1 : static_cast<int>(code);
    if (native->errorReader.joinable()) native->errorReader.join();
  }
  return native->exitStatus;
}

void ChildProcess::Kill() {
  if (native->process && !native->waited && TerminateProcess(native->process, 1)) {
    native->killed = true;
  }
}

std::string ChildProcess::ErrorOutput() const {
  std::lock_guard<std::mutex> lock(native->errorMutex);
  std::string text = native->errorText;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace plughost
