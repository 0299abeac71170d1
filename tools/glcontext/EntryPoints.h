// Shared by the GLX and WGL contexts: loads GLEW's entry points for the context just made
// current and clears the GL errors that loading leaves behind, which are not the caller's.
#pragma once

#include <string>

namespace glhost {

bool LoadEntryPoints(std::string* error);

}  // namespace glhost
