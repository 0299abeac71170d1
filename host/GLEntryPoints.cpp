#include "host/GLEntryPoints.h"

#include <GL/glew.h>

namespace {

bool glLoadingAttempted = false;
bool glLoaded = false;

}  // namespace

bool EnsureGLEntryPoints() {
  if (!glLoadingAttempted) {
    glLoadingAttempted = true;
    // Core-profile contexts: load every entry point GLEW knows, not only those it can
    // infer from the extension string.
    glewExperimental = GL_TRUE;
    glLoaded = glewInit() == GLEW_OK;
  }
  return glLoaded;
}
