#include <GL/glew.h>

#include <string>

#include "tools/glcontext/GLContext.h"

namespace glhost {

namespace {

constexpr GLsizei kLogCapacity = 4096;

GLuint CompileStage(GLenum stage, const char* source, std::string* error) {
  const GLuint shader = glCreateShader(stage);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint status = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  if (status == GL_TRUE) return shader;
  char log[kLogCapacity] = {};
  glGetShaderInfoLog(shader, kLogCapacity - 1, nullptr, log);
  *error = std::string(stage == GL_VERTEX_SHADER ? "vertex" : "fragment") +
           " shader does not compile: " + log;
  glDeleteShader(shader);
  return 0;
}

}  // namespace

std::uint32_t BuildProgram(const char* vertexSource, const char* fragmentSource,
                           std::string* error) {
  const GLuint vertex = CompileStage(GL_VERTEX_SHADER, vertexSource, error);
  if (!vertex) return 0;
  const GLuint fragment = CompileStage(GL_FRAGMENT_SHADER, fragmentSource, error);
  if (!fragment) {
    glDeleteShader(vertex);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint status = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  if (status == GL_TRUE) return program;
  char log[kLogCapacity] = {};
  glGetProgramInfoLog(program, kLogCapacity - 1, nullptr, log);
  *error = std::string("program does not link: ") + log;
  glDeleteProgram(program);
  return 0;
}

}  // namespace glhost
