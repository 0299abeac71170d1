// ShaderProgram and its diagnostic channel in a real GL context: what Build leaves behind (GL
// objects counted by their live names), the exact text on standard output and on the debug
// channel (standard error here), and the effect's log line when its shader does not compile.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effect/AsciiShaders.h"
#include "gltoolkit/ShaderProgram.h"
#include "tests/support/GLProbe.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"

using namespace testhost;

namespace {

constexpr char kVertexPrefix[] = "Vertex Shader error: ";
constexpr char kFragmentPrefix[] = "Fragment Shader error: ";

constexpr char kGoodVertex[] =
    "#version 410 core\nlayout(location = 0) in vec4 vPosition;\n"
    "void main() { gl_Position = vPosition; }\n";
constexpr char kGoodFragment[] =
    "#version 410 core\nuniform float Gain;\nuniform vec2 Offset;\nuniform int Mode;\n"
    "out vec4 color;\nvoid main() { color = vec4(Gain, Offset, float(Mode)); }\n";
constexpr char kBrokenVertex[] =
    "#version 410 core\nvoid main() { gl_Position = undeclaredPosition; }\n";
constexpr char kBrokenFragment[] =
    "#version 410 core\nout vec4 color;\nvoid main() { color = vec4(1.0) + ; }\n";
// Compiles, but a program with no main in its fragment stage does not link.
constexpr char kFragmentWithoutMain[] =
    "#version 410 core\nout vec4 color;\nvoid paint() { color = vec4(1.0); }\n";

class GLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(EnsureGLContext(&error)) << "no OpenGL 4.1 context: " << error;
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }
};

// The driver's own compiler log for a source, got without the code under test.
std::string CompilerLog(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::string log(static_cast<std::size_t>(length), '\0');
  if (length > 0) glGetShaderInfoLog(shader, length, nullptr, &log[0]);
  log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
  glDeleteShader(shader);
  return log;
}

// The driver's linker log for two sources, cut where a 1024-byte buffer cuts it.
std::string LinkerLog(const char* vertexSource, const char* fragmentSource) {
  const GLuint program = glCreateProgram();
  for (auto [type, source] :
       {std::pair{GL_VERTEX_SHADER, vertexSource}, std::pair{GL_FRAGMENT_SHADER, fragmentSource}}) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    glAttachShader(program, shader);
    glDeleteShader(shader);
  }
  glLinkProgram(program);
  char log[1024] = {};
  GLsizei written = 0;
  glGetProgramInfoLog(program, 1023, &written, log);
  glDeleteProgram(program);
  return std::string(log, static_cast<std::size_t>(written));
}

struct Outputs {
  std::string standardOutput;
  std::string debugOutput;
};

template <typename Call>
Outputs Capture(Call call) {
  CapturedFd out(1);
  CapturedFd err(2);
  call();
  Outputs outputs;
  outputs.debugOutput = err.Finish();
  outputs.standardOutput = out.Finish();
  return outputs;
}

// --- Build -------------------------------------------------------------------------------------

struct MissingSourceCase {
  const char* name;
  const char* vertex;
  const char* fragment;
};

// Absent or empty sources: false at once, with nothing made and nothing written.
TEST_F(GLTest, BuildRefusesAbsentOrEmptySourcesSilently) {
  const MissingSourceCase cases[] = {
      {"vertex absent", nullptr, kGoodFragment}, {"vertex empty", "", kGoodFragment},
      {"fragment absent", kGoodVertex, nullptr}, {"fragment empty", kGoodVertex, ""},
      {"both absent", nullptr, nullptr},
  };
  for (const MissingSourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto shadersBefore = LiveShaders();
    const auto programsBefore = LivePrograms();
    ffglex::ShaderProgram program;
    bool built = true;
    const Outputs outputs = Capture([&] { built = program.Build(c.vertex, c.fragment); });
    EXPECT_FALSE(built);
    EXPECT_EQ(program.ProgramHandle(), 0u);
    EXPECT_EQ(outputs.standardOutput, "");
    EXPECT_EQ(outputs.debugOutput, "");
    EXPECT_EQ(LiveShaders(), shadersBefore);
    EXPECT_EQ(LivePrograms(), programsBefore);
  }
}

enum class Failing { Vertex, Fragment, Link };

struct FailureCase {
  const char* name;
  const char* vertex;
  const char* fragment;
  Failing failing;
};

class BuildFailureTest : public GLTest, public ::testing::WithParamInterface<FailureCase> {};

// One message, the stage's prefix then the driver's log, on both channels; false; every object
// made on the way deleted; and the object is empty, so it builds again afterwards.
TEST_P(BuildFailureTest, WritesOneExactDiagnosticAndLeavesNothingBehind) {
  const FailureCase& c = GetParam();
  std::string message;
  switch (c.failing) {
    case Failing::Vertex:
      message = kVertexPrefix + CompilerLog(GL_VERTEX_SHADER, c.vertex);
      break;
    case Failing::Fragment:
      message = kFragmentPrefix + CompilerLog(GL_FRAGMENT_SHADER, c.fragment);
      break;
    case Failing::Link:
      message = kFragmentPrefix + LinkerLog(c.vertex, c.fragment);
      break;
  }
  ASSERT_GT(message.size(), std::string(kFragmentPrefix).size()) << "driver wrote no log";

  const auto shadersBefore = LiveShaders();
  const auto programsBefore = LivePrograms();
  ffglex::ShaderProgram program;
  bool built = true;
  const Outputs outputs = Capture([&] { built = program.Build(c.vertex, c.fragment); });
  EXPECT_FALSE(built);
  EXPECT_EQ(program.ProgramHandle(), 0u);
  EXPECT_EQ(outputs.standardOutput, message + "\n");
  EXPECT_EQ(outputs.debugOutput, message + "\n");
  EXPECT_EQ(LiveShaders(), shadersBefore);
  EXPECT_EQ(LivePrograms(), programsBefore);

  EXPECT_TRUE(program.Build(kGoodVertex, kGoodFragment));
  EXPECT_NE(program.ProgramHandle(), 0u);
  program.Release();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, BuildFailureTest,
    ::testing::Values(
        FailureCase{"VertexDoesNotCompile", kBrokenVertex, kGoodFragment, Failing::Vertex},
        // The fragment stage is not attempted after the vertex stage failed: one message only.
        FailureCase{"BothBrokenReportsVertexOnly", kBrokenVertex, kBrokenFragment, Failing::Vertex},
        FailureCase{"FragmentDoesNotCompile", kGoodVertex, kBrokenFragment, Failing::Fragment},
        FailureCase{"ProgramDoesNotLink", kGoodVertex, kFragmentWithoutMain, Failing::Link}),
    [](const auto& info) { return std::string(info.param.name); });

// A built program links two live shaders; the setters reach it by name and a name it lacks
// changes nothing; Release deletes all three objects, and a second Release does nothing.
TEST_F(GLTest, BuiltProgramTakesUniformsAndReleaseDeletesEverything) {
  ffglex::ShaderProgram program;
  bool built = false;
  const Outputs outputs = Capture([&] { built = program.Build(kGoodVertex, kGoodFragment); });
  ASSERT_TRUE(built);
  EXPECT_EQ(outputs.standardOutput, "");
  const GLuint handle = program.ProgramHandle();
  ASSERT_TRUE(glIsProgram(handle));
  GLint linked = 0, attachedCount = 0;
  glGetProgramiv(handle, GL_LINK_STATUS, &linked);
  glGetProgramiv(handle, GL_ATTACHED_SHADERS, &attachedCount);
  EXPECT_EQ(linked, GL_TRUE);
  ASSERT_EQ(attachedCount, 2);
  GLuint attached[2] = {};
  glGetAttachedShaders(handle, 2, nullptr, attached);

  glUseProgram(handle);
  program.SetUniformFloat("Gain", 0.25f);
  program.SetUniformFloat2("Offset", 0.5f, -0.75f);
  program.SetUniformInt("Mode", -3);
  program.SetUniformFloat("NotInTheProgram", 9.0f);
  program.SetUniformFloat2("NotInTheProgram", 9.0f, 9.0f);
  program.SetUniformInt("NotInTheProgram", 9);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  glUseProgram(0);
  float gain = 0, offset[2] = {};
  GLint mode = 0;
  glGetUniformfv(handle, glGetUniformLocation(handle, "Gain"), &gain);
  glGetUniformfv(handle, glGetUniformLocation(handle, "Offset"), offset);
  glGetUniformiv(handle, glGetUniformLocation(handle, "Mode"), &mode);
  EXPECT_EQ(gain, 0.25f);
  EXPECT_EQ(offset[0], 0.5f);
  EXPECT_EQ(offset[1], -0.75f);
  EXPECT_EQ(mode, -3);

  program.Release();
  EXPECT_EQ(program.ProgramHandle(), 0u);
  EXPECT_FALSE(glIsProgram(handle));
  EXPECT_FALSE(glIsShader(attached[0]));
  EXPECT_FALSE(glIsShader(attached[1]));
  const auto shaders = LiveShaders();
  const auto programs = LivePrograms();
  program.Release();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(LiveShaders(), shaders);
  EXPECT_EQ(LivePrograms(), programs);
}

// --- The diagnostic channel --------------------------------------------------------------------

// Prefix and text joined as they are, whatever they hold; each channel gets the message and
// one "\n", and standard output is flushed (the capture reads the file, not the stream buffer).
TEST(Diagnostic, MessageReachesBothChannelsVerbatimAndFlushed) {
  struct Case {
    const char* prefix;
    const char* text;
    std::string message;
  };
  const Case cases[] = {
      {kFragmentPrefix, "", "Fragment Shader error: "},
      {kVertexPrefix, "0:1(2): error: 100% %s %n\n",
       "Vertex Shader error: 0:1(2): error: 100% %s %n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Outputs outputs = Capture([&] { ffglex::LogDiagnostic(c.prefix, c.text); });
    EXPECT_EQ(outputs.standardOutput, c.message + "\n");
    EXPECT_EQ(outputs.debugOutput, c.message + "\n");
  }
}

// --- The effect's shader failure ---------------------------------------------------------------

// The effect built with a fragment source that does not compile: CreateInstance fails, the host
// log holds exactly the one line, the compiler log went to standard output, and neither a
// program nor a quad is left in the host's context.
TEST_F(GLTest, EffectWhoseShaderFailsLogsOneLineAndFailsCreation) {
  LoadedModule module(BROKEN_SHADER_MODULE_PATH);
  ASSERT_TRUE(module.ok()) << module.error();
  module.CaptureLog();
  LoadedModule::logLines().clear();
  const std::string message =
      kFragmentPrefix + CompilerLog(GL_FRAGMENT_SHADER, vexascii::kFragmentShaderSource);

  const auto shadersBefore = LiveShaders();
  const auto programsBefore = LivePrograms();
  const auto buffersBefore = LiveBuffers();
  const auto arraysBefore = LiveVertexArrays();
  void* instance = nullptr;
  const Outputs outputs = Capture([&] { instance = module.CreateInstance(64, 64); });
  EXPECT_EQ(instance, nullptr);
  EXPECT_EQ(LoadedModule::logLines(), std::vector<std::string>{"VexASCII: shader compile failed"});
  EXPECT_EQ(outputs.standardOutput, message + "\n");
  EXPECT_EQ(LiveShaders(), shadersBefore);
  EXPECT_EQ(LivePrograms(), programsBefore);
  EXPECT_EQ(LiveBuffers(), buffersBefore);
  EXPECT_EQ(LiveVertexArrays(), arraysBefore);
  module.CaptureLog(false);
  module.Call(FunctionCode::ReleaseModule);
}

}  // namespace
