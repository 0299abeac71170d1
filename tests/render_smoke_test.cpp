#include <GL/glew.h>
#include <gtest/gtest.h>

#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"

using namespace testhost;

TEST(RenderSmoke, WhiteInputDrawsGreenGlyphs) {
  std::string error;
  ASSERT_TRUE(EnsureGLContext(&error)) << error;
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  module.CaptureLog();
  void* instance = module.CreateInstance(64, 64);
  ASSERT_NE(instance, nullptr);
  ASSERT_FALSE(LoadedModule::logLines().empty());
  EXPECT_EQ(LoadedModule::logLines().back(), "VexASCII v1.0: InitGL OK");

  HostTexture input = MakeInputTexture(64, 64, 64, 64, std::vector<std::uint8_t>(64 * 64 * 4, 255));
  HostFramebuffer target = MakeFramebuffer(64, 64, true);
  const TextureInfo* textures[] = {&input.info};
  FrameInput frame{1, 0, textures, target.framebuffer};
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DrawFrame, &frame, instance)), kSuccess);
  std::vector<float> pixels = ReadPixels(target);
  int lit = 0, unlit = 0;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    if (pixels[i + 1] > 0.9f)
      ++lit;
    else
      ++unlit;
  }
  EXPECT_GT(lit, 0);
  EXPECT_GT(unlit, 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(LoadedModule::Low(module.Call(FunctionCode::DestroyInstance, 0, instance)), kSuccess);
  module.Call(FunctionCode::ReleaseModule);  // as a host does before it unloads the module
  DeleteFramebuffer(&target);
  DeleteTexture(&input);
}
