#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

#include "tools/plughost/platform/ChildProcess.h"

extern char** environ;

namespace plughost {

namespace {

constexpr std::size_t kErrorOutputLimit = 16 * 1024;
// Room for a good part of a video frame (Linux pipes hold 64 KiB unless asked): a 1280x720
// RGBA frame then crosses in four turns instead of fifty-seven, each a wake-up of the other side.
constexpr int kPipeBufferBytes = 1 << 20;
// Priority::kBelowThisProcess, in nice steps.
constexpr int kLowerPriorityBy = 10;

// A child that exits early must turn our writes into errors, not end this process.
void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

struct ChildProcess::Native {
  pid_t pid = -1;
  int pipeFd = -1;
  int errorFd = -1;
  std::thread errorReader;
  mutable std::mutex errorMutex;
  std::string errorText;
  int exitStatus = -1;
  bool waited = false;
};

ChildProcess::ChildProcess() : native(new Native) {}

ChildProcess::~ChildProcess() {
  if (native->pid > 0 && !native->waited) {
    Kill();
    Wait();
  }
  ClosePipe();
  if (native->errorReader.joinable()) native->errorReader.join();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, Pipe pipe, std::string* error,
                         Priority priority) {
  IgnoreBrokenPipes();
  int dataPipe[2];
  int errorPipe[2];
  if (pipe2(dataPipe, O_CLOEXEC) != 0) {
    *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(errorPipe, O_CLOEXEC) != 0) {
    close(dataPipe[0]);
    close(dataPipe[1]);
    *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  const bool toChild = pipe == Pipe::kToChildInput;
  const int childEnd = toChild ? dataPipe[0] : dataPipe[1];
  const int ourEnd = toChild ? dataPipe[1] : dataPipe[0];

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (toChild) {
    posix_spawn_file_actions_adddup2(&actions, childEnd, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd, STDOUT_FILENO);
  }
  posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int status = 0;
  auto spawn = [&] {
    status = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  };
#ifdef __linux__
  if (priority == Priority::kBelowThisProcess) {
    // Linux keeps the nice value per thread, and a child starts with that of the thread that
    // spawned it: spawning from a thread that lowered its own leaves every other thread of
    // this process as it was, and the child's own threads inherit the lower priority.
    std::thread spawner([&] {
      setpriority(PRIO_PROCESS, 0, getpriority(PRIO_PROCESS, 0) + kLowerPriorityBy);
      spawn();
    });
    spawner.join();
  } else {
    spawn();
  }
#else
  (void)priority;
  spawn();
#endif
  posix_spawn_file_actions_destroy(&actions);
  close(childEnd);
  close(errorPipe[1]);
  if (status != 0) {
    close(ourEnd);
    close(errorPipe[0]);
    *error = status == ENOENT ? "not found" : std::strerror(status);
    return false;
  }
#ifdef F_SETPIPE_SZ
  // Best effort: an unprivileged process may be held to a smaller limit; the pipe still works.
  fcntl(ourEnd, F_SETPIPE_SZ, kPipeBufferBytes);
#endif
  native->pid = pid;
  native->pipeFd = ourEnd;
  native->errorFd = errorPipe[0];
  native->errorReader = std::thread([n = native.get()] {
    char chunk[4096];
    for (;;) {
      const ssize_t got = read(n->errorFd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      std::lock_guard<std::mutex> lock(n->errorMutex);
      n->errorText.append(chunk, static_cast<std::size_t>(got));
      if (n->errorText.size() > kErrorOutputLimit) {
        n->errorText.erase(0, n->errorText.size() - kErrorOutputLimit);
      }
    }
    close(n->errorFd);
    n->errorFd = -1;
  });
  return true;
}

std::size_t ChildProcess::Read(void* buffer, std::size_t size) {
  std::size_t done = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (native->pipeFd >= 0 && done < size) {
    const ssize_t got = read(native->pipeFd, bytes + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool ChildProcess::Write(const void* data, std::size_t size) {
  std::size_t done = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (native->pipeFd >= 0 && done < size) {
    const ssize_t put = write(native->pipeFd, bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return done == size;
}

void ChildProcess::ClosePipe() {
  if (native->pipeFd >= 0) close(native->pipeFd);
  native->pipeFd = -1;
}

int ChildProcess::Wait() {
  if (native->pid <= 0) return -1;
  if (!native->waited) {
    int status = 0;
    while (waitpid(native->pid, &status, 0) < 0 && errno == EINTR) {
    }
    native->waited = true;
    native->exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (native->errorReader.joinable()) native->errorReader.join();
  }
  return native->exitStatus;
}

void ChildProcess::Kill() {
  if (native->pid > 0 && !native->waited) kill(native->pid, SIGKILL);
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
