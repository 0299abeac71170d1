#include "gltoolkit/ShaderProgram.h"

#include <GL/glew.h>

#include <iostream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ffglex {

namespace {

constexpr char kVertexLogPrefix[] = "Vertex Shader error: ";
constexpr char kFragmentLogPrefix[] = "Fragment Shader error: ";
constexpr GLsizei kLinkLogCapacity = 1024;

bool IsEmpty(const char* text) {
  return !text || text[0] == '\0';
}

// One NUL-terminated text per call, as the platform's debug output takes it.
void WriteDebugOutput(const char* text) {
#if defined(_WIN32)
  OutputDebugStringA(text);
#else
  std::size_t length = std::char_traits<char>::length(text);
  while (length > 0) {
    const ssize_t written = ::write(STDERR_FILENO, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
#endif
}

}  // namespace

bool ShaderProgram::Build(const char* vertexSource, const char* fragmentSource) {
  if (IsEmpty(vertexSource)) return false;
  if (IsEmpty(fragmentSource) && feedbackVaryings.empty()) return false;
  if (!CompileStage(GL_VERTEX_SHADER, vertexSource, &vertexShader, kVertexLogPrefix)) {
    Release();
    return false;
  }
  if (!IsEmpty(fragmentSource) &&
      !CompileStage(GL_FRAGMENT_SHADER, fragmentSource, &fragmentShader, kFragmentLogPrefix)) {
    Release();
    return false;
  }
  if (!Link()) {
    Release();
    return false;
  }
  return true;
}

bool ShaderProgram::CompileStage(std::uint32_t shaderType, const char* source,
                                 std::uint32_t* shader, const char* logPrefix) {
  *shader = glCreateShader(shaderType);
  glShaderSource(*shader, 1, &source, nullptr);
  glCompileShader(*shader);
  GLint status = 0;
  glGetShaderiv(*shader, GL_COMPILE_STATUS, &status);
  if (status == GL_TRUE) return true;

  GLint length = 0;
  glGetShaderiv(*shader, GL_INFO_LOG_LENGTH, &length);
  if (length < 0) length = 0;
  std::vector<char> log(static_cast<std::size_t>(length) + 1, '\0');
  glGetShaderInfoLog(*shader, length, nullptr, log.data());
  LogDiagnostic(logPrefix, log.data());
  return false;
}

bool ShaderProgram::Link() {
  program = glCreateProgram();
  glAttachShader(program, vertexShader);
  if (middleShader != 0) glAttachShader(program, middleShader);
  if (fragmentShader != 0) glAttachShader(program, fragmentShader);
  if (!feedbackVaryings.empty()) {
    std::vector<const char*> names;
    for (const std::string& name : feedbackVaryings) names.push_back(name.c_str());
    glTransformFeedbackVaryings(program, static_cast<GLsizei>(names.size()), names.data(),
                                GL_INTERLEAVED_ATTRIBS);
  }
  GLint status = 0;
  glLinkProgram(program);
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  if (status == GL_TRUE) return true;

  char log[kLinkLogCapacity] = {};
  GLsizei written = 0;
  glGetProgramInfoLog(program, kLinkLogCapacity - 1, &written, log);
  log[written < 0 ? 0 : written] = '\0';
  LogDiagnostic(kFragmentLogPrefix, log);
  return false;
}

void ShaderProgram::Release() {
  if (vertexShader != 0) {
    glDeleteShader(vertexShader);
    vertexShader = 0;
  }
  if (fragmentShader != 0) {
    glDeleteShader(fragmentShader);
    fragmentShader = 0;
  }
  if (middleShader != 0) {
    glDeleteShader(middleShader);
    middleShader = 0;
  }
  if (program != 0) {
    glDeleteProgram(program);
    program = 0;
  }
}

void ShaderProgram::SetUniformInt(const char* name, std::int32_t value) {
  glUniform1i(glGetUniformLocation(program, name), value);
}

void ShaderProgram::SetUniformFloat(const char* name, float value) {
  glUniform1f(glGetUniformLocation(program, name), value);
}

void ShaderProgram::SetUniformFloat2(const char* name, float x, float y) {
  glUniform2f(glGetUniformLocation(program, name), x, y);
}

void LogDiagnostic(const char* prefix, const char* text) {
  std::ostringstream stream;
  stream << prefix << text;
  const std::string message = stream.str();
  WriteDiagnostic(message.c_str(), message.size());
}

void WriteDiagnostic(const char* message, std::size_t length) {
  WriteDebugOutput(message);
  WriteDebugOutput("\n");
  std::cout.write(message, static_cast<std::streamsize>(length));
  std::cout << std::endl;
}

}  // namespace ffglex
