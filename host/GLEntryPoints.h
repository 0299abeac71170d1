// Loads the OpenGL entry points of the current context through GLEW, once per process.
// The first call makes the one attempt; every later call repeats its outcome. A failure is
// final. Needs the host's GL context current on the calling thread for that first call.
#pragma once

bool EnsureGLEntryPoints();
