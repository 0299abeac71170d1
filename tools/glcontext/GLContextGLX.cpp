#include <GL/glew.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/glcontext/EntryPoints.h"
#include "tools/glcontext/GLContext.h"

namespace glhost {

namespace {

// Keeps the GL driver's own libraries (the GLX vendor library, libGLX_mesa.so, and Mesa's
// */dri/*_dri.so) mapped until the process ends; otherwise the last display to close, or the GLX
// dispatcher's own teardown at exit, unloads them. The leak checker runs at exit, after that:
// with the driver still mapped it sees the driver's memory as the driver's (still referenced
// from its data, or at least named so a suppression can match it) instead of as anonymous leaks
// of code that is gone.
void KeepDriverLoaded() {
  std::vector<std::string> driverPaths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* paths) -> int {
        if (info->dlpi_name &&
            (std::strstr(info->dlpi_name, "/dri/") || std::strstr(info->dlpi_name, "libGLX_"))) {
          static_cast<std::vector<std::string>*>(paths)->emplace_back(info->dlpi_name);
        }
        return 0;
      },
      &driverPaths);
  for (const std::string& path : driverPaths) {
    dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

bool CanOpenDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return false;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

// Reads the display number Xvfb writes to -displayfd once it accepts connections.
bool ReadDisplayNumber(int fd, std::string* number) {
  char buffer[32];
  std::size_t used = 0;
  while (used < sizeof buffer - 1) {
    const ssize_t got = read(fd, buffer + used, sizeof buffer - 1 - used);
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
    if (std::memchr(buffer, '\n', used)) break;
  }
  buffer[used] = '\0';
  number->assign(buffer, std::strcspn(buffer, "\n"));
  return !number->empty();
}

int lastXError = 0;
int RecordXError(Display*, XErrorEvent* event) {
  lastXError = event->error_code;
  return 0;
}

}  // namespace

HeadlessDisplay::~HeadlessDisplay() {
  if (serverPid > 0) {
    kill(serverPid, SIGTERM);
    waitpid(serverPid, nullptr, 0);
  }
}

bool HeadlessDisplay::Ensure(std::string* error) {
  if (serverPid > 0 || CanOpenDisplay()) return true;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    *error = "cannot create a pipe for Xvfb";
    return false;
  }
  const pid_t parent = getpid();
  const std::string fd = std::to_string(pipeFds[1]);
  const pid_t pid = fork();
  if (pid < 0) {
    *error = "cannot start Xvfb (fork failed)";
    return false;
  }
  if (pid == 0) {
    // The server must not outlive us, even when we crash or are killed.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    close(pipeFds[0]);
    // Keep the server quiet; its messages are not ours to show.
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, STDERR_FILENO);
      dup2(devnull, STDOUT_FILENO);
    }
    // -noreset: a server resets when its last client leaves and refuses connections while it
    // does, so one process closing its connection could fail the next one's open.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  std::string number;
  const bool started = ReadDisplayNumber(pipeFds[0], &number);
  close(pipeFds[0]);
  if (!started) {
    waitpid(pid, nullptr, 0);
    *error = "no X display and Xvfb could not be started (is the xvfb package installed?)";
    return false;
  }
  serverPid = pid;
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}

struct GLContext::Native {
  Display* display = nullptr;
  GLXContext context = nullptr;
  GLXPbuffer pbuffer = 0;
};

bool GLContext::Create(int major, int minor, std::string* error) {
  Destroy();
  native = new Native;
  // A server that someone else started may be resetting after its last client left (as after
  // our own CanOpenDisplay probe); it takes connections again a moment later.
  constexpr int kOpenAttempts = 40;
  constexpr useconds_t kOpenRetryMicroseconds = 50000;
  native->display = XOpenDisplay(nullptr);
  for (int attempt = 1; !native->display && attempt < kOpenAttempts; ++attempt) {
    usleep(kOpenRetryMicroseconds);
    native->display = XOpenDisplay(nullptr);
  }
  if (!native->display) {
    *error = "cannot open the X display";
    Destroy();
    return false;
  }
  const int configAttributes[] = {GLX_DRAWABLE_TYPE,
                                  GLX_PBUFFER_BIT,
                                  GLX_RENDER_TYPE,
                                  GLX_RGBA_BIT,
                                  GLX_RED_SIZE,
                                  8,
                                  GLX_GREEN_SIZE,
                                  8,
                                  GLX_BLUE_SIZE,
                                  8,
                                  GLX_ALPHA_SIZE,
                                  8,
                                  None};
  int configCount = 0;
  GLXFBConfig* configs = glXChooseFBConfig(native->display, DefaultScreen(native->display),
                                           configAttributes, &configCount);
  if (!configs || configCount == 0) {
    *error = "no GLX frame-buffer configuration with RGBA8 and pbuffers";
    if (configs) XFree(configs);
    Destroy();
    return false;
  }
  const GLXFBConfig config = configs[0];
  XFree(configs);

  using CreateContextAttribs = GLXContext (*)(Display*, GLXFBConfig, GLXContext, Bool, const int*);
  auto createContext = reinterpret_cast<CreateContextAttribs>(
      glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCreateContextAttribsARB")));
  if (!createContext) {
    *error = "GLX_ARB_create_context is not available";
    Destroy();
    return false;
  }
  const int contextAttributes[] = {GLX_CONTEXT_MAJOR_VERSION_ARB,
                                   major,
                                   GLX_CONTEXT_MINOR_VERSION_ARB,
                                   minor,
                                   GLX_CONTEXT_PROFILE_MASK_ARB,
                                   GLX_CONTEXT_CORE_PROFILE_BIT_ARB,
                                   None};
  lastXError = 0;
  XErrorHandler previous = XSetErrorHandler(RecordXError);
  native->context = createContext(native->display, config, nullptr, True, contextAttributes);
  XSync(native->display, False);
  XSetErrorHandler(previous);
  if (!native->context || lastXError != 0) {
    *error = "cannot create an OpenGL " + std::to_string(major) + "." + std::to_string(minor) +
             " core-profile context";
    Destroy();
    return false;
  }
  const int pbufferAttributes[] = {GLX_PBUFFER_WIDTH, 16, GLX_PBUFFER_HEIGHT, 16, None};
  native->pbuffer = glXCreatePbuffer(native->display, config, pbufferAttributes);
  if (!glXMakeContextCurrent(native->display, native->pbuffer, native->pbuffer, native->context)) {
    *error = "cannot make the OpenGL context current";
    Destroy();
    return false;
  }
  KeepDriverLoaded();
  if (!LoadEntryPoints(error)) {
    Destroy();
    return false;
  }
  return true;
}

void GLContext::MakeCurrent() {
  if (native && native->context) {
    glXMakeContextCurrent(native->display, native->pbuffer, native->pbuffer, native->context);
  }
}

void GLContext::ClearCurrent() {
  Display* display = glXGetCurrentDisplay();
  if (display) glXMakeContextCurrent(display, None, None, nullptr);
}

void GLContext::Destroy() {
  if (!native) return;
  if (native->display) {
    if (native->context) {
      if (glXGetCurrentContext() == native->context) {
        glXMakeContextCurrent(native->display, None, None, nullptr);
      }
      glXDestroyContext(native->display, native->context);
    }
    if (native->pbuffer) glXDestroyPbuffer(native->display, native->pbuffer);
    XCloseDisplay(native->display);
  }
  delete native;
  native = nullptr;
}

}  // namespace glhost
