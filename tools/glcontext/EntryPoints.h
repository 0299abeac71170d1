// The part of the GLX and WGL contexts that is the same on both: loading GLEW's entry points
// for the context just made current (clearing the GL errors that loading leaves behind, which
// are not the caller's), and GLContext::Renderer.
#pragma once

#include <string>

namespace glhost {

bool LoadEntryPoints(std::string* error);

}  // namespace glhost
