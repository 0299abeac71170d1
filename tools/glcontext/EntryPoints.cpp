#include "tools/glcontext/EntryPoints.h"

#include <GL/glew.h>

#include "tools/glcontext/GLContext.h"

namespace glhost {

bool LoadEntryPoints(std::string* error) {
  glewExperimental = GL_TRUE;
  const GLenum status = glewInit();
  if (status != GLEW_OK) {
    *error = std::string("GLEW cannot load the GL entry points: ") +
             reinterpret_cast<const char*>(glewGetErrorString(status));
    return false;
  }
  // Core profiles reject the extension-string query some loaders still make.
  while (glGetError() != GL_NO_ERROR) {
  }
  return true;
}

std::string GLContext::Renderer() const {
  const GLubyte* renderer = glGetString(GL_RENDERER);
  const GLubyte* version = glGetString(GL_VERSION);
  std::string text = renderer ? reinterpret_cast<const char*>(renderer) : "unknown renderer";
  if (version) text += std::string(", OpenGL ") + reinterpret_cast<const char*>(version);
  return text;
}

}  // namespace glhost
