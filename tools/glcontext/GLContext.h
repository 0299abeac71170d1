// What a host needs before it can drive a module: an X display (its own Xvfb when none is
// reachable) and an OpenGL 4.1 core-profile context current on the calling thread. Used by
// plughost, the tests, the benchmarks and the fuzzer. GL entry points come through GLEW.
// On Windows there is no display to start and the context is WGL's, on a hidden window.
#pragma once

#include <cstdint>
#include <string>

namespace glhost {

// Makes sure an X display is reachable. When DISPLAY is unset or cannot be opened, starts
// Xvfb on a free display number, points DISPLAY at it and stops it when this object ends.
class HeadlessDisplay {
 public:
  HeadlessDisplay() = default;
  ~HeadlessDisplay();
  HeadlessDisplay(const HeadlessDisplay&) = delete;
  HeadlessDisplay& operator=(const HeadlessDisplay&) = delete;

  bool Ensure(std::string* error);
  bool StartedOwnServer() const { return serverPid > 0; }

 private:
  int serverPid = 0;
};

// A core-profile context of at least the requested version, current on this thread, with a
// small off-screen drawable. Loads GLEW for the caller.
class GLContext {
 public:
  GLContext() = default;
  ~GLContext() { Destroy(); }
  GLContext(const GLContext&) = delete;
  GLContext& operator=(const GLContext&) = delete;

  bool Create(int major, int minor, std::string* error);
  void MakeCurrent();
  // Leaves no context current on this thread.
  static void ClearCurrent();
  void Destroy();
  std::string Renderer() const;

 private:
  struct Native;
  Native* native = nullptr;
};

// A display and a context together: what a host process needs before its first GL call.
// The context ends before the display it lives on.
class GLSession {
 public:
  bool Start(std::string* error, int major = 4, int minor = 1) {
    return display.Ensure(error) && context.Create(major, minor, error);
  }
  std::string Renderer() const { return context.Renderer(); }

 private:
  HeadlessDisplay display;
  GLContext context;
};

// Compiles and links a vertex and fragment pair of the host's own (copies, reference shaders).
// Answers the program name, or 0 with the compiler or linker log in *error; nothing is left
// behind on failure. Needs a current context.
std::uint32_t BuildProgram(const char* vertexSource, const char* fragmentSource,
                           std::string* error);

}  // namespace glhost
