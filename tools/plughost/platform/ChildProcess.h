// A child program (ffmpeg, ffprobe) started with one pipe to or from this process and its
// error output collected. Writes to a child that has gone away fail instead of killing us.
// The POSIX implementation uses posix_spawnp, the Windows one CreateProcess with anonymous pipes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace plughost {

class ChildProcess {
 public:
  // Which of the child's standard streams is connected to us; the other one reads from or
  // writes to the null device. Standard error is always collected (see ErrorOutput).
  enum class Pipe { kToChildInput, kFromChildOutput };

  ChildProcess();
  // Kills a child that is still running and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // How the child competes for the processor: as this process does, or below it (nice 10 on
  // Linux, below-normal priority class on Windows), so that a pipeline stage with frames queued
  // gives way to this process's own serial work.
  enum class Priority { kNormal, kBelowThisProcess };

  // Starts argv[0], looked up on PATH. False with a reason when the program cannot be
  // started; a missing program says so ("not found").
  bool Start(const std::vector<std::string>& argv, Pipe pipe, std::string* error,
             Priority priority = Priority::kNormal);

  // Blocking I/O on the pipe. Read returns the bytes read, fewer than `size` only at the end
  // of the child's output or on an error; Write returns false when the child stopped reading.
  std::size_t Read(void* buffer, std::size_t size);
  bool Write(const void* data, std::size_t size);
  // Closes our end of the pipe: the child sees the end of its input.
  void ClosePipe();

  // Waits for the child to end: its exit status, or -1 when a signal ended it.
  int Wait();
  void Kill();
  // The child's standard error so far (the last few kilobytes), with trailing blank lines cut.
  std::string ErrorOutput() const;

 private:
  struct Native;
  std::unique_ptr<Native> native;
};

// Runs a program to its end and collects its standard output. False when it cannot start;
// otherwise `status` is its exit status (-1 for a signal) and `errorOutput` its standard error.
bool RunAndCollect(const std::vector<std::string>& argv, std::string* output, int* status,
                   std::string* errorOutput, std::string* error);

}  // namespace plughost
