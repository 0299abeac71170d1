// What the GL tests look at instead of trusting the code: the live GL object names of a kind,
// single integer states, and the bytes a call writes to a file descriptor (standard output or
// standard error) read back without flushing anything on the caller's behalf.
#pragma once

#include <GL/glew.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <set>
#include <string>

namespace testhost {

// Every name below the ceiling for which isName answers true. GL hands out small names in
// increasing order, so the ceiling covers every object a test process makes.
template <typename IsName>
std::set<GLuint> LiveNames(IsName isName, GLuint ceiling = 1u << 16) {
  std::set<GLuint> names;
  for (GLuint name = 1; name < ceiling; ++name) {
    if (isName(name)) names.insert(name);
  }
  return names;
}

inline std::set<GLuint> LiveShaders() {
  return LiveNames([](GLuint n) { return glIsShader(n); });
}
inline std::set<GLuint> LivePrograms() {
  return LiveNames([](GLuint n) { return glIsProgram(n); });
}
inline std::set<GLuint> LiveBuffers() {
  return LiveNames([](GLuint n) { return glIsBuffer(n); });
}
inline std::set<GLuint> LiveVertexArrays() {
  return LiveNames([](GLuint n) { return glIsVertexArray(n); });
}

// Names in `after` that are not in `before`.
inline std::set<GLuint> Added(const std::set<GLuint>& before, const std::set<GLuint>& after) {
  std::set<GLuint> added;
  for (GLuint name : after) {
    if (!before.count(name)) added.insert(name);
  }
  return added;
}

inline GLint IntegerState(GLenum query) {
  GLint value = -1;
  glGetIntegerv(query, &value);
  return value;
}

// Redirects a file descriptor into a temporary file until Finish, which answers what arrived.
// Nothing is flushed at Finish: text still sitting in a stream buffer does not count.
class CapturedFd {
 public:
  explicit CapturedFd(int fd) : fd(fd) {
    std::cout.flush();
    std::fflush(nullptr);
    file = std::tmpfile();
    saved = ::dup(fd);
    ::dup2(fileno(file), fd);
  }
  ~CapturedFd() { Finish(); }
  CapturedFd(const CapturedFd&) = delete;
  CapturedFd& operator=(const CapturedFd&) = delete;

  std::string Finish() {
    if (!file) return text;
    ::dup2(saved, fd);
    ::close(saved);
    char buffer[4096];
    ::lseek(fileno(file), 0, SEEK_SET);
    for (;;) {
      const auto got = ::read(fileno(file), buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
    }
    std::fclose(file);
    file = nullptr;
    return text;
  }

 private:
  int fd;
  int saved = -1;
  std::FILE* file = nullptr;
  std::string text;
};

}  // namespace testhost
