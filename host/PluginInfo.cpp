#include "host/PluginInfo.h"

namespace {

const PluginInfo* registeredRecord = nullptr;

// Copies up to `width` bytes, stopping after a copied zero byte; the rest stays as it was
// (zero, in static storage). A source as wide as the field leaves no terminator.
template <std::size_t width>
void FillFixedText(char (&field)[width], const char* source) {
  if (!source) return;
  for (std::size_t i = 0; i < width; ++i) {
    field[i] = source[i];
    if (source[i] == '\0') return;
  }
}

}  // namespace

PluginInfo::PluginInfo(PluginFactory factory, const char* identifier, const char* name,
                       std::uint32_t interfaceMajor, std::uint32_t interfaceMinor,
                       std::uint32_t pluginMajor, std::uint32_t pluginMinor,
                       std::uint32_t pluginType, const char* description, const char* about,
                       std::uint32_t /*extendedDataSize*/, const void* /*extendedData*/,
                       ModuleInitHook initHook, ModuleDeinitHook deinitHook)
    : info{interfaceMajor, interfaceMinor, {}, {}, pluginType},
      extended{pluginMajor, pluginMinor, nullptr, nullptr, 0, nullptr},
      descriptionText(description ? description : ""),
      aboutText(about ? about : ""),
      factory(factory),
      initHook(initHook),
      deinitHook(deinitHook) {
  FillFixedText(info.name, name);
  FillFixedText(info.identifier, identifier);
  extended.description = descriptionText.c_str();
  extended.about = aboutText.c_str();
  registeredRecord = this;
}

PluginInfo::~PluginInfo() {
  descriptionText.clear();
  aboutText.clear();
}

const PluginInfo* RegisteredPluginInfo() {
  return registeredRecord;
}
