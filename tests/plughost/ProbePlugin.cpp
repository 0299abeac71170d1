// A small plugin module of plughost's tests, unlike the effect in every declared detail, so the
// tests show that plughost takes everything from the module's answers. It draws no picture of
// its input but what the host sent: red is the fraction of the host time in seconds, green the
// Level parameter, blue the Mode parameter; all black when Enabled is off. The lowest quarter of
// the framebuffer's rows (GL window coordinates) is white, to show which way up the host reads
// the picture back. Built a second time
// with PROBE_REFUSE_INIT, whose InitGL writes a log line and refuses.
#include <GL/glew.h>

#include <cmath>
#include <string>

#include "framework/CFFGLPlugin.h"
#include "host/HostLog.h"
#include "host/PluginInfo.h"

namespace {

enum ProbeParameter : std::uint32_t { kLevel = 0, kMode = 1, kEnabled = 2, kCaption = 3 };

class ProbePlugin : public CFFGLPlugin {
 public:
  ProbePlugin() : CFFGLPlugin(false) {
    DeclareParameter(kLevel, "Level", ParamTypeUnitFloat, 0.25f);
    DeclareOptionParameter(kMode, "Mode", 3, 0.5f);
    DeclareOptionElement(kMode, 0, "Low", 0.0f);
    DeclareOptionElement(kMode, 1, "Mid", 0.5f);
    DeclareOptionElement(kMode, 2, "High", 1.0f);
    DeclareParameter(kEnabled, "Enabled", ParamTypeBoolean, 1.0f);
    DeclareParameter(kCaption, "Caption", ParamTypeText, 0.0f);
    SetMinimumInputs(0);
    SetMaximumInputs(1);
  }

  std::uint32_t InitGL(const ViewportRect* viewport) override {
#ifdef PROBE_REFUSE_INIT
    (void)viewport;
    WriteHostLog("ProbePlugin: InitGL refused on purpose");
    return kFailure;
#else
    return CFFGLPlugin::InitGL(viewport);
#endif
  }

  std::uint32_t ApplyFloatParameter(std::uint32_t id, float value) override {
    if (id > kEnabled) return kFailure;
    values[id] = value;
    return kSuccess;
  }
  float ReadFloatParameter(std::uint32_t id) override {
    return id <= kEnabled ? values[id] : 0;
  }
  std::uint32_t ApplyTextParameter(std::uint32_t id, const char* text) override {
    if (id != kCaption || !text) return kFailure;
    caption = text;
    return kSuccess;
  }
  HostWord ReadTextParameter(std::uint32_t id) override {
    return id == kCaption ? reinterpret_cast<HostWord>(caption.c_str()) : kFailureWord;
  }

  std::uint32_t RenderFrame(const FrameInput* frame) override {
    const bool enabled = values[kEnabled] > 0.5f;
    const float timeFraction = static_cast<float>(hostTime - std::floor(hostTime));
    glBindFramebuffer(GL_FRAMEBUFFER, frame->hostFramebuffer);
    glClearColor(enabled ? timeFraction : 0.0f, enabled ? values[kLevel] : 0.0f,
                 enabled ? values[kMode] : 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const TextureInfo* input = frame->inputTextureCount > 0 ? frame->inputTextures[0] : nullptr;
    if (input) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, 0, static_cast<GLsizei>(input->hardwareWidth),
                static_cast<GLsizei>(input->hardwareHeight / 4));
      glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      glDisable(GL_SCISSOR_TEST);
    }
    return kSuccess;
  }

 private:
  float values[3] = {0.25f, 0.5f, 1.0f};
  std::string caption;
};

std::uint32_t MakeProbe(CFFGLPlugin** instance) {
  *instance = new ProbePlugin;
  return kSuccess;
}

const PluginInfo registration(MakeProbe, "PRB1", "Plughost Probe", 2, 1, 3, 7, 0,
                              "Shows what the host sent", "plughost tests", 0, nullptr, nullptr,
                              nullptr);

}  // namespace
