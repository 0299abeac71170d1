// What a host checks after lending its context to a module: no GL error pending, and every
// binding the module may touch back at its GL default (program 0, GL_TEXTURE0 active, texture 0
// on GL_TEXTURE_2D of unit 0, vertex array 0, array buffer 0). Header-only and free of the test
// framework, so the fuzzer uses it too.
#pragma once

#include <GL/glew.h>

#include <string>

namespace testhost {

// "" when all is as it should be; otherwise one clause per problem. Reading clears the errors.
inline std::string GLStateProblems() {
  std::string problems;
  constexpr int kMaxErrorsReported = 8;  // a lost context can report errors forever
  for (int i = 0; i < kMaxErrorsReported; ++i) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    problems += "GL error " + std::to_string(error) + "; ";
  }
  struct Binding {
    GLenum query;
    GLint expected;
    const char* what;
  };
  const Binding bindings[] = {
      {GL_CURRENT_PROGRAM, 0, "program in use"},
      {GL_ACTIVE_TEXTURE, GL_TEXTURE0, "active texture unit"},
      {GL_VERTEX_ARRAY_BINDING, 0, "vertex array"},
      {GL_ARRAY_BUFFER_BINDING, 0, "array buffer"},
  };
  for (const Binding& binding : bindings) {
    GLint value = -1;
    glGetIntegerv(binding.query, &value);
    if (value != binding.expected) {
      problems += std::string(binding.what) + " is " + std::to_string(value) + "; ";
    }
  }
  // The 2D texture of unit 0, asked on unit 0 whichever unit is active.
  GLint activeUnit = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
  glActiveTexture(GL_TEXTURE0);
  GLint texture = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
  glActiveTexture(static_cast<GLenum>(activeUnit));
  if (texture != 0) problems += "2D texture " + std::to_string(texture) + " bound; ";
  return problems;
}

}  // namespace testhost
