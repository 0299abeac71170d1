// A frame costs the module no heap allocation: after a warm-up, many frames of what a host does
// per frame are run while every allocation whose nearest caller outside the C/C++ runtime is the
// loaded module is counted (see ModuleHeap.h for why that attribution is sound). A positive
// control proves the counter sees the module at all.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/GLState.h"
#include "tests/support/GLTestContext.h"
#include "tests/support/LoadedModule.h"
#include "tests/support/ModuleHeap.h"

using namespace testhost;

namespace {

constexpr std::uint32_t kFrameSize = 96;
constexpr int kWarmUpFrames = 10;
constexpr int kMeasuredFrames = 500;

class ModuleAllocations : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(EnsureGLContext(&error)) << error;
    module = std::make_unique<LoadedModule>(VexModulePath());
    ASSERT_TRUE(module->ok()) << module->error();
    watch = std::make_unique<ModuleHeapWatch>(module->Symbol("plugMain"));
    ASSERT_TRUE(watch->ok()) << "the loaded module's code was not found";
    instance = module->CreateInstance(kFrameSize, kFrameSize);
    ASSERT_NE(instance, nullptr);

    std::vector<std::uint8_t> pixels(kFrameSize * kFrameSize * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
    input = MakeInputTexture(kFrameSize, kFrameSize, kFrameSize, kFrameSize, pixels);
    target = MakeFramebuffer(kFrameSize, kFrameSize, false);
    textures[0] = &input.info;
    frame = FrameInput{1, 0, textures, target.framebuffer};
  }

  void TearDown() override {
    if (instance) module->Call(FunctionCode::DestroyInstance, 0, instance);
    if (target.framebuffer) DeleteFramebuffer(&target);
    if (input.name) DeleteTexture(&input);
    watch.reset();
    if (module && module->ok()) module->Call(FunctionCode::ReleaseModule);  // as a host unloads
    module.reset();
  }

  // What a host sends for one frame: a parameter change, a read-back, the display text, the
  // time and tempo, then the draw.
  void HostFrame(int frameNumber) {
    ParameterValueInput value{};
    value.id = static_cast<std::uint32_t>(frameNumber % 8);
    value.value.floatValue = static_cast<float>(frameNumber % 10) / 10.0f;
    EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::WriteParameter, &value, instance)),
              kSuccess);
    module->Call(FunctionCode::ReadParameter, value.id, instance);
    module->Call(FunctionCode::QueryParameterDisplay, value.id, instance);
    double time = frameNumber / 60.0;
    module->Call(FunctionCode::SendHostTime, &time, instance);
    TempoInput tempo{128.0f, static_cast<float>(frameNumber % 4) / 4.0f};
    module->Call(FunctionCode::SendTempo, &tempo, instance);
    EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance)), kSuccess);
  }

  std::unique_ptr<LoadedModule> module;
  std::unique_ptr<ModuleHeapWatch> watch;
  void* instance = nullptr;
  HostTexture input;
  HostFramebuffer target;
  const TextureInfo* textures[1] = {};
  FrameInput frame{};
};

TEST_F(ModuleAllocations, CounterSeesTheModuleCreateAndFreeAnInstance) {
  watch->Start();
  void* second = module->CreateInstance(kFrameSize, kFrameSize);
  const ModuleHeapCounts afterCreate = watch->Counts();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(LoadedModule::Low(module->Call(FunctionCode::DestroyInstance, 0, second)), kSuccess);
  const ModuleHeapCounts afterDestroy = watch->Counts();
  watch->Stop();

  EXPECT_GT(afterCreate.allocations, 0u) << "an instance was made without the counter noticing";
  EXPECT_GT(afterCreate.liveBlocks, 0u);
  EXPECT_EQ(afterDestroy.liveBlocks, 0u) << afterDestroy.liveBytes << " bytes left behind";
  EXPECT_EQ(afterDestroy.unattributed, 0u);
}

TEST_F(ModuleAllocations, DrawFrameAllocatesNothing) {
  for (int i = 0; i < kWarmUpFrames; ++i) {
    ASSERT_EQ(LoadedModule::Low(module->Call(FunctionCode::DrawFrame, &frame, instance)), kSuccess);
  }
  watch->Start();
  for (int i = 0; i < kMeasuredFrames; ++i) {
    module->Call(FunctionCode::DrawFrame, &frame, instance);
  }
  watch->Stop();
  const ModuleHeapCounts counts = watch->Counts();
  EXPECT_EQ(counts.allocations, 0u) << counts.liveBytes << " bytes still held";
  EXPECT_EQ(counts.unattributed, 0u) << "caller chains that could not be walked";
  EXPECT_EQ(GLStateProblems(), "");
}

TEST_F(ModuleAllocations, PerFrameHostTrafficAllocatesNothing) {
  for (int i = 0; i < kWarmUpFrames; ++i) HostFrame(i);
  watch->Start();
  for (int i = 0; i < kMeasuredFrames; ++i) HostFrame(i);
  watch->Stop();
  const ModuleHeapCounts counts = watch->Counts();
  EXPECT_EQ(counts.allocations, 0u) << counts.liveBytes << " bytes still held";
  EXPECT_EQ(counts.unattributed, 0u) << "caller chains that could not be walked";
  EXPECT_EQ(GLStateProblems(), "");
}

}  // namespace
