// The Windows side of glhost: a hidden window whose device context carries an RGBA8 pixel
// format, and a WGL core-profile context made with WGL_ARB_create_context. Windows needs no
// display server, so HeadlessDisplay has nothing to start.
#include <GL/glew.h>
#include <GL/wglew.h>
#include <windows.h>

#include <string>

#include "tools/glcontext/EntryPoints.h"
#include "tools/glcontext/GLContext.h"

namespace glhost {

namespace {

constexpr char kWindowClassName[] = "GLHostContextWindow";
constexpr int kWindowSidePx = 16;
constexpr BYTE kColorBits = 32;
constexpr BYTE kAlphaBits = 8;

std::string WithErrorCode(const std::string& text) {
  return text + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// Registered once per process and kept until the process ends: windows made later on any
// thread use it.
bool RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassA(&windowClass) != 0;
  }();
  return registered;
}

}  // namespace

HeadlessDisplay::~HeadlessDisplay() = default;

bool HeadlessDisplay::Ensure(std::string* /*error*/) {
  return true;
}

struct GLContext::Native {
  HWND window = nullptr;
  HDC deviceContext = nullptr;
  HGLRC context = nullptr;
};

bool GLContext::Create(int major, int minor, std::string* error) {
  Destroy();
  if (!RegisterWindowClass()) {
    *error = WithErrorCode("cannot register the context's window class");
    return false;
  }
  native = new Native;
  // Never shown: the window only lends its device context to the GL context.
  native->window =
      CreateWindowExA(0, kWindowClassName, "glhost", WS_OVERLAPPEDWINDOW, 0, 0, kWindowSidePx,
                      kWindowSidePx, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!native->window) {
    *error = WithErrorCode("cannot create the context's hidden window");
    Destroy();
    return false;
  }
  native->deviceContext = GetDC(native->window);

  PIXELFORMATDESCRIPTOR format{};
  format.nSize = sizeof format;
  format.nVersion = 1;
  format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  format.iPixelType = PFD_TYPE_RGBA;
  format.cColorBits = kColorBits;
  format.cAlphaBits = kAlphaBits;
  format.iLayerType = PFD_MAIN_PLANE;
  const int formatIndex = ChoosePixelFormat(native->deviceContext, &format);
  if (formatIndex == 0 || !SetPixelFormat(native->deviceContext, formatIndex, &format)) {
    *error = WithErrorCode("no OpenGL pixel format with RGBA8 for the hidden window");
    Destroy();
    return false;
  }

  // wglCreateContextAttribsARB is reached only through a current context, so a legacy one is
  // made first and dropped once the core-profile context exists.
  const HGLRC legacyContext = wglCreateContext(native->deviceContext);
  if (!legacyContext || !wglMakeCurrent(native->deviceContext, legacyContext)) {
    *error = WithErrorCode("cannot create a first OpenGL context");
    if (legacyContext) wglDeleteContext(legacyContext);
    Destroy();
    return false;
  }
  const auto createContext = reinterpret_cast<PFNWGLCREATECONTEXTATTRIBSARBPROC>(
      reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
  if (createContext) {
    const int contextAttributes[] = {WGL_CONTEXT_MAJOR_VERSION_ARB,
                                     major,
                                     WGL_CONTEXT_MINOR_VERSION_ARB,
                                     minor,
                                     WGL_CONTEXT_PROFILE_MASK_ARB,
                                     WGL_CONTEXT_CORE_PROFILE_BIT_ARB,
                                     0};
    native->context = createContext(native->deviceContext, nullptr, contextAttributes);
  }
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(legacyContext);
  if (!createContext) {
    *error = "WGL_ARB_create_context is not available";
    Destroy();
    return false;
  }
  if (!native->context) {
    *error = WithErrorCode("cannot create an OpenGL " + std::to_string(major) + "." +
                           std::to_string(minor) + " core-profile context");
    Destroy();
    return false;
  }
  if (!wglMakeCurrent(native->deviceContext, native->context)) {
    *error = WithErrorCode("cannot make the OpenGL context current");
    Destroy();
    return false;
  }
  if (!LoadEntryPoints(error)) {
    Destroy();
    return false;
  }
  return true;
}

void GLContext::MakeCurrent() {
  if (native && native->context) wglMakeCurrent(native->deviceContext, native->context);
}

void GLContext::ClearCurrent() {
  wglMakeCurrent(nullptr, nullptr);
}

void GLContext::Destroy() {
  if (!native) return;
  if (native->context) {
    if (wglGetCurrentContext() == native->context) wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(native->context);
  }
  if (native->deviceContext) ReleaseDC(native->window, native->deviceContext);
  if (native->window) DestroyWindow(native->window);
  delete native;
  native = nullptr;
}

}  // namespace glhost
