// One GL program built from GLSL source. Build compiles, links and, on any failure, writes the
// compiler or linker log to the diagnostic channel and deletes everything it made. Release
// deletes the GL objects and zeroes their names; it may run twice. No GL call in ctor or dtor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ffglex {

class ShaderProgram {
 public:
  ShaderProgram() = default;
  ShaderProgram(const ShaderProgram&) = delete;
  ShaderProgram& operator=(const ShaderProgram&) = delete;

  // True when linked. An absent or empty vertex source (or fragment source, with no feedback
  // varyings) answers false with no GL call. Meant for an empty object: Release first to rebuild.
  bool Build(const char* vertexSource, const char* fragmentSource);
  void Release();
  std::uint32_t ProgramHandle() const { return program; }

  // Act on the program in use: call them inside a ScopedProgramUse of ProgramHandle().
  // The location is looked up by name on every call; a missing name is ignored by GL.
  void SetUniformInt(const char* name, std::int32_t value);
  void SetUniformFloat(const char* name, float value);
  void SetUniformFloat2(const char* name, float x, float y);

 private:
  bool CompileStage(std::uint32_t shaderType, const char* source, std::uint32_t* shader,
                    const char* logPrefix);
  bool Link();

  std::uint32_t vertexShader = 0;
  std::uint32_t middleShader = 0;
  std::uint32_t fragmentShader = 0;
  std::uint32_t program = 0;
  std::vector<std::string> feedbackVaryings;
};

// The diagnostic channel: prefix and text as one message to WriteDiagnostic.
void LogDiagnostic(const char* prefix, const char* text);
// The message, then a separate "\n", to the platform's debug output (OutputDebugStringA on
// Windows, standard error elsewhere); then the message and "\n" to standard output, flushed.
void WriteDiagnostic(const char* message, std::size_t length);

}  // namespace ffglex
