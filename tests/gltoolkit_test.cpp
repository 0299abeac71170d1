// The binding guards and the screen quad in a real GL context. Every check reads the GL state
// back (bindings, vertex attributes, buffer bytes, primitives drawn) rather than the objects.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>

#include "gltoolkit/ScopedBindings.h"
#include "gltoolkit/ScreenQuad.h"
#include "tests/support/GLProbe.h"
#include "tests/support/GLTestContext.h"

using namespace testhost;

namespace {

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

GLuint NewBuffer() {
  GLuint name = 0;
  glGenBuffers(1, &name);
  return name;
}
GLuint NewTexture() {
  GLuint name = 0;
  glGenTextures(1, &name);
  return name;
}
GLuint NewVertexArray() {
  GLuint name = 0;
  glGenVertexArrays(1, &name);
  return name;
}

GLuint CompileStage(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

// A linked program that draws attribute 0 as positions in plain white.
GLuint MakeProgram() {
  const GLuint vertex = CompileStage(GL_VERTEX_SHADER,
                                     "#version 410 core\nlayout(location = 0) in vec4 p;\n"
                                     "void main() { gl_Position = p; }\n");
  const GLuint fragment = CompileStage(GL_FRAGMENT_SHADER,
                                       "#version 410 core\nout vec4 c;\n"
                                       "void main() { c = vec4(1.0); }\n");
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  return program;
}

// --- Guards ------------------------------------------------------------------------------------

// One open guard, type-erased: dropping `guard` runs the guard's destructor.
struct OpenGuard {
  std::shared_ptr<void> guard;
  std::function<void()> unbind;
};
template <typename Guard, typename... Args>
OpenGuard Open(Args... args) {
  auto guard = std::make_shared<Guard>(args...);
  Guard* raw = guard.get();
  return {guard, [raw] { raw->Unbind(); }};
}

struct GuardCase {
  const char* guard;
  GLenum bindingQuery;
  GLint defaultBinding;
  // Makes the object the guard binds and, separately, the one the host had bound before; binds
  // the host's object; answers the names (or units) to compare against.
  std::function<void(GLint* guarded, GLint* host)> prepare;
  std::function<OpenGuard(GLint guarded)> open;
  std::function<void(GLint host)> hostBinds;
};

std::vector<GuardCase> GuardCases() {
  static GLuint program = 0, otherProgram = 0;
  if (!program) {
    program = MakeProgram();
    otherProgram = MakeProgram();
  }
  auto bufferCase = [](const char* name, GLenum target, GLenum query, bool vbo) {
    return GuardCase{
        name,
        query,
        0,
        [target](GLint* guarded, GLint* host) {
          *guarded = static_cast<GLint>(NewBuffer());
          *host = static_cast<GLint>(NewBuffer());
          glBindBuffer(target, static_cast<GLuint>(*host));
        },
        [target, vbo](GLint guarded) {
          return vbo ? Open<ffglex::ScopedVBOBinding>(static_cast<std::uint32_t>(guarded))
                     : Open<ffglex::ScopedBufferBinding>(target,
                                                         static_cast<std::uint32_t>(guarded));
        },
        [target](GLint host) { glBindBuffer(target, static_cast<GLuint>(host)); }};
  };
  auto textureCase = [](const char* name, GLenum target, GLenum query, bool twoD) {
    return GuardCase{
        name,
        query,
        0,
        [target](GLint* guarded, GLint* host) {
          *guarded = static_cast<GLint>(NewTexture());
          *host = static_cast<GLint>(NewTexture());
          glBindTexture(target, static_cast<GLuint>(*host));
        },
        [target, twoD](GLint guarded) {
          return twoD ? Open<ffglex::Scoped2DTextureBinding>(static_cast<std::uint32_t>(guarded))
                      : Open<ffglex::ScopedTextureBinding>(target,
                                                           static_cast<std::uint32_t>(guarded));
        },
        [target](GLint host) { glBindTexture(target, static_cast<GLuint>(host)); }};
  };
  return {
      bufferCase("ScopedBufferBinding(GL_UNIFORM_BUFFER)", GL_UNIFORM_BUFFER,
                 GL_UNIFORM_BUFFER_BINDING, false),
      bufferCase("ScopedBufferBinding(GL_ARRAY_BUFFER)", GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING,
                 false),
      bufferCase("ScopedVBOBinding", GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING, true),
      textureCase("ScopedTextureBinding(GL_TEXTURE_3D)", GL_TEXTURE_3D, GL_TEXTURE_BINDING_3D,
                  false),
      textureCase("Scoped2DTextureBinding", GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D, true),
      GuardCase{"ScopedProgramUse", GL_CURRENT_PROGRAM, 0,
                [](GLint* guarded, GLint* host) {
                  *guarded = static_cast<GLint>(program);
                  *host = static_cast<GLint>(otherProgram);
                  glUseProgram(otherProgram);
                },
                [](GLint guarded) {
                  return Open<ffglex::ScopedProgramUse>(static_cast<std::uint32_t>(guarded));
                },
                [](GLint host) { glUseProgram(static_cast<GLuint>(host)); }},
      GuardCase{"ScopedTextureUnit(3), host on unit 5", GL_ACTIVE_TEXTURE, GL_TEXTURE0,
                [](GLint* guarded, GLint* host) {
                  *guarded = GL_TEXTURE0 + 3;
                  *host = GL_TEXTURE0 + 5;
                  glActiveTexture(GL_TEXTURE0 + 5);
                },
                [](GLint) { return Open<ffglex::ScopedTextureUnit>(3u); },
                [](GLint host) { glActiveTexture(static_cast<GLenum>(host)); }},
      GuardCase{"ScopedVertexArrayBinding", GL_VERTEX_ARRAY_BINDING, 0,
                [](GLint* guarded, GLint* host) {
                  *guarded = static_cast<GLint>(NewVertexArray());
                  *host = static_cast<GLint>(NewVertexArray());
                  glBindVertexArray(static_cast<GLuint>(*host));
                },
                [](GLint guarded) {
                  return Open<ffglex::ScopedVertexArrayBinding>(
                      static_cast<std::uint32_t>(guarded));
                },
                [](GLint host) { glBindVertexArray(static_cast<GLuint>(host)); }},
  };
}

// Binds while open; the end restores the default, not what the host had bound before.
TEST_F(GLTest, EachGuardBindsThenRestoresTheDefaultNotTheHostsBinding) {
  for (const GuardCase& c : GuardCases()) {
    SCOPED_TRACE(c.guard);
    GLint guarded = 0, host = 0;
    c.prepare(&guarded, &host);
    {
      OpenGuard open = c.open(guarded);
      EXPECT_EQ(IntegerState(c.bindingQuery), guarded);
    }
    EXPECT_EQ(IntegerState(c.bindingQuery), c.defaultBinding);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
}

// Unbind twice, then the destructor: one restoring call. What the host binds in between stays.
TEST_F(GLTest, UnbindRestoresOnceAndTheEndAfterItDoesNothing) {
  for (const GuardCase& c : GuardCases()) {
    SCOPED_TRACE(c.guard);
    GLint guarded = 0, host = 0;
    c.prepare(&guarded, &host);
    {
      OpenGuard open = c.open(guarded);
      open.unbind();
      EXPECT_EQ(IntegerState(c.bindingQuery), c.defaultBinding);
      c.hostBinds(host);
      open.unbind();
      EXPECT_EQ(IntegerState(c.bindingQuery), host) << "second Unbind restored again";
    }
    EXPECT_EQ(IntegerState(c.bindingQuery), host) << "destructor restored after Unbind";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  glActiveTexture(GL_TEXTURE0);
  glUseProgram(0);
  glBindVertexArray(0);
}

// A guard constructed on the name 0 binds 0 and still ends cleanly.
TEST_F(GLTest, GuardOnNameZeroEndsAtTheDefault) {
  const GLuint host = NewBuffer();
  glBindBuffer(GL_ARRAY_BUFFER, host);
  { ffglex::ScopedVBOBinding guard(0); }
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), 0);
  glDeleteBuffers(1, &host);
}

// Leaving by an exception ends every guard, innermost first. The order shows in two places:
// the texture is unbound on unit 3 (where it was bound) before unit 0 is made active again, and
// the element buffer is detached from the vertex array before that array is unbound.
TEST_F(GLTest, ExceptionEndsAllGuardsInnermostFirst) {
  const GLuint program = MakeProgram();
  const GLuint vertexArray = NewVertexArray();
  const GLuint elements = NewBuffer();
  const GLuint arrayBuffer = NewBuffer();
  const GLuint texture = NewTexture();
  const GLuint hostTexture = NewTexture();
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, hostTexture);
  glActiveTexture(GL_TEXTURE0 + 5);

  try {
    ffglex::ScopedProgramUse programUse(program);
    ffglex::ScopedVertexArrayBinding arrayBinding(vertexArray);
    ffglex::ScopedBufferBinding elementBinding(GL_ELEMENT_ARRAY_BUFFER, elements);
    ffglex::ScopedTextureUnit unit(3);
    ffglex::Scoped2DTextureBinding textureBinding(texture);
    ffglex::ScopedVBOBinding bufferBinding(arrayBuffer);
    throw std::runtime_error("leave the scope");
  } catch (const std::runtime_error&) {
  }

  EXPECT_EQ(IntegerState(GL_CURRENT_PROGRAM), 0);
  EXPECT_EQ(IntegerState(GL_VERTEX_ARRAY_BINDING), 0);
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), 0);
  EXPECT_EQ(IntegerState(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
  EXPECT_EQ(IntegerState(GL_TEXTURE_BINDING_2D), static_cast<GLint>(hostTexture));
  glActiveTexture(GL_TEXTURE0 + 3);
  EXPECT_EQ(IntegerState(GL_TEXTURE_BINDING_2D), 0) << "texture left bound on unit 3";
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindVertexArray(vertexArray);
  EXPECT_EQ(IntegerState(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0)
      << "element buffer left in the vertex array";
  glBindVertexArray(0);

  const GLuint buffers[] = {elements, arrayBuffer};
  glDeleteBuffers(2, buffers);
  const GLuint textures[] = {texture, hostTexture};
  glDeleteTextures(2, textures);
  glDeleteVertexArrays(1, &vertexArray);
  glDeleteProgram(program);
}

// Destroying a derived guard through its base pointer runs the same ending on the same target
// (and is defined behaviour only with a virtual destructor).
static_assert(std::has_virtual_destructor_v<ffglex::ScopedBufferBinding>);
static_assert(std::has_virtual_destructor_v<ffglex::ScopedTextureBinding>);
TEST_F(GLTest, DerivedGuardEndedThroughBasePointerUnbindsItsTarget) {
  const GLuint buffer = NewBuffer();
  const GLuint texture = NewTexture();
  std::unique_ptr<ffglex::ScopedBufferBinding> bufferGuard(new ffglex::ScopedVBOBinding(buffer));
  std::unique_ptr<ffglex::ScopedTextureBinding> textureGuard(
      new ffglex::Scoped2DTextureBinding(texture));
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(buffer));
  EXPECT_EQ(IntegerState(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture));
  bufferGuard.reset();
  textureGuard.reset();
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), 0);
  EXPECT_EQ(IntegerState(GL_TEXTURE_BINDING_2D), 0);
  glDeleteBuffers(1, &buffer);
  glDeleteTextures(1, &texture);
}

// --- Screen quad -------------------------------------------------------------------------------

struct QuadObjects {
  GLuint vertexArray = 0;
  GLuint buffer = 0;
};

// Creates a quad while the host has its own vertex array and array buffer bound, and finds the
// two objects it made among the live names.
QuadObjects CreateQuad(ffglex::ScreenQuad* quad, bool flipVertical, bool* created) {
  const auto arraysBefore = LiveVertexArrays();
  const auto buffersBefore = LiveBuffers();
  const GLuint hostArray = NewVertexArray();
  const GLuint hostBuffer = NewBuffer();
  glBindVertexArray(hostArray);
  glBindBuffer(GL_ARRAY_BUFFER, hostBuffer);

  *created = quad->Create(flipVertical);
  EXPECT_EQ(IntegerState(GL_ARRAY_BUFFER_BINDING), 0);
  EXPECT_EQ(IntegerState(GL_VERTEX_ARRAY_BINDING), 0);

  glDeleteVertexArrays(1, &hostArray);
  glDeleteBuffers(1, &hostBuffer);
  const auto arrays = Added(arraysBefore, LiveVertexArrays());
  const auto buffers = Added(buffersBefore, LiveBuffers());
  EXPECT_EQ(arrays.size(), 1u);
  EXPECT_EQ(buffers.size(), 1u);
  QuadObjects objects;
  if (!arrays.empty()) objects.vertexArray = *arrays.begin();
  if (!buffers.empty()) objects.buffer = *buffers.begin();
  return objects;
}

// Triangles drawn by one Draw call, with a program in use (without one a draw is undefined).
// Draws into a framebuffer of its own, never into the context's drawable.
GLint PrimitivesDrawnBy(ffglex::ScreenQuad* quad, GLuint program) {
  HostFramebuffer target = MakeFramebuffer(4, 4, false);
  GLuint query = 0;
  glGenQueries(1, &query);
  glUseProgram(program);
  glBeginQuery(GL_PRIMITIVES_GENERATED, query);
  quad->Draw();
  glEndQuery(GL_PRIMITIVES_GENERATED);
  glUseProgram(0);
  DeleteFramebuffer(&target);
  GLint primitives = -1;
  glGetQueryObjectiv(query, GL_QUERY_RESULT, &primitives);
  glDeleteQueries(1, &query);
  return primitives;
}

struct QuadCase {
  bool flipVertical;
  float texCoordV[6];  // v of vertices 1 to 6; u and the positions are the same in both tables
};

class ScreenQuadTest : public GLTest, public ::testing::WithParamInterface<QuadCase> {};

TEST_P(ScreenQuadTest, CreateUploadsTheTableAndSetsUpBothAttributes) {
  const QuadCase& c = GetParam();
  ffglex::ScreenQuad quad;
  bool created = false;
  const QuadObjects objects = CreateQuad(&quad, c.flipVertical, &created);
  ASSERT_TRUE(created);
  ASSERT_NE(objects.buffer, 0u);
  ASSERT_NE(objects.vertexArray, 0u);

  glBindBuffer(GL_ARRAY_BUFFER, objects.buffer);
  GLint size = 0, usage = 0;
  glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
  glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_USAGE, &usage);
  EXPECT_EQ(size, 120);
  EXPECT_EQ(usage, GL_STATIC_DRAW);
  float contents[30] = {};
  glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof contents, contents);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  // Per vertex: u, v, x, y, z. Top-left, top-right, bottom-left; bottom-left, top-right,
  // bottom-right.
  const float u[6] = {0, 1, 0, 0, 1, 1};
  const float x[6] = {-1, 1, -1, -1, 1, 1};
  const float y[6] = {1, 1, -1, -1, 1, -1};
  for (int vertex = 0; vertex < 6; ++vertex) {
    SCOPED_TRACE(vertex + 1);
    const float* row = &contents[vertex * 5];
    EXPECT_EQ(row[0], u[vertex]);
    EXPECT_EQ(row[1], c.texCoordV[vertex]);
    EXPECT_EQ(row[2], x[vertex]);
    EXPECT_EQ(row[3], y[vertex]);
    EXPECT_EQ(row[4], 0.0f);
  }

  struct Attribute {
    GLuint index;
    GLint components;
    std::uintptr_t offset;
  };
  glBindVertexArray(objects.vertexArray);
  for (const Attribute& a : {Attribute{0, 3, 8}, Attribute{1, 2, 0}}) {
    SCOPED_TRACE(a.index);
    auto query = [&](GLenum name) {
      GLint value = -1;
      glGetVertexAttribiv(a.index, name, &value);
      return value;
    };
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_ENABLED), GL_TRUE);
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_SIZE), a.components);
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_TYPE), GL_FLOAT);
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_NORMALIZED), GL_FALSE);
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_STRIDE), 20);
    EXPECT_EQ(query(GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING), static_cast<GLint>(objects.buffer));
    void* pointer = nullptr;
    glGetVertexAttribPointerv(a.index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pointer), a.offset);
  }
  glBindVertexArray(0);
  quad.Release();
}

INSTANTIATE_TEST_SUITE_P(Tables, ScreenQuadTest,
                         ::testing::Values(QuadCase{false, {1, 1, 0, 0, 1, 0}},
                                           QuadCase{true, {0, 0, 1, 1, 0, 1}}),
                         [](const auto& info) {
                           return std::string(info.param.flipVertical ? "Flipped" : "Upright");
                         });

// Draw makes two triangles only between Create and Release; before and after, no GL call
// (drawing with no vertex array bound would raise GL_INVALID_OPERATION in a core context).
TEST_F(GLTest, QuadDrawsSixVerticesOnlyWhileCreated) {
  const GLuint program = MakeProgram();
  ffglex::ScreenQuad quad;
  EXPECT_EQ(PrimitivesDrawnBy(&quad, program), 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  bool created = false;
  const QuadObjects objects = CreateQuad(&quad, false, &created);
  ASSERT_TRUE(created);
  const GLuint hostArray = NewVertexArray();
  glBindVertexArray(hostArray);
  EXPECT_EQ(PrimitivesDrawnBy(&quad, program), 2);
  EXPECT_EQ(IntegerState(GL_VERTEX_ARRAY_BINDING), 0);
  glDeleteVertexArrays(1, &hostArray);

  quad.Release();
  EXPECT_FALSE(glIsBuffer(objects.buffer));
  EXPECT_FALSE(glIsVertexArray(objects.vertexArray));
  EXPECT_EQ(PrimitivesDrawnBy(&quad, program), 0);
  quad.Release();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(PrimitivesDrawnBy(&quad, program), 0);

  // Released, the quad is empty again and can be created anew.
  ASSERT_TRUE(quad.Create(false));
  EXPECT_EQ(PrimitivesDrawnBy(&quad, program), 2);
  quad.Release();
  glDeleteProgram(program);
}

}  // namespace
