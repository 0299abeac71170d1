// The module's one registration record. A static initialiser in the plugin's own unit builds it
// at load; the host reads its info part (QueryInfo) and extended part (QueryExtendedInfo)
// directly, so both are fixed byte layouts. The private part holds the texts, factory and hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CFFGLPlugin;

// Makes one complete instance, stores it through `instance` and answers kSuccess; stores null
// and answers kFailure when none could be made.
using PluginFactory = std::uint32_t (*)(CFFGLPlugin** instance);
// Runs on InitModule and whenever the prototype must be made; non-zero refuses.
using ModuleInitHook = std::uint32_t (*)();
// Runs on ReleaseModule; its result is not read.
using ModuleDeinitHook = std::uint32_t (*)();

struct PluginInfoPart {
  std::uint32_t interfaceMajor;
  std::uint32_t interfaceMinor;
  char identifier[4];  // no terminator when all four are used
  char name[16];       // no terminator when all sixteen are used
  std::uint32_t pluginType;
};
static_assert(sizeof(PluginInfoPart) == 32);
static_assert(offsetof(PluginInfoPart, interfaceMinor) == 4);
static_assert(offsetof(PluginInfoPart, identifier) == 8);
static_assert(offsetof(PluginInfoPart, name) == 12);
static_assert(offsetof(PluginInfoPart, pluginType) == 28);

struct PluginExtendedInfoPart {
  std::uint32_t pluginMajor;
  std::uint32_t pluginMinor;
  const char* description;  // UTF-8, owned by the record
  const char* about;        // owned by the record
  std::uint32_t extendedDataSize;
  const void* extendedData;
};
static_assert(sizeof(PluginExtendedInfoPart) == 40);
static_assert(offsetof(PluginExtendedInfoPart, pluginMinor) == 4);
static_assert(offsetof(PluginExtendedInfoPart, description) == 8);
static_assert(offsetof(PluginExtendedInfoPart, about) == 16);
static_assert(offsetof(PluginExtendedInfoPart, extendedDataSize) == 24);
static_assert(offsetof(PluginExtendedInfoPart, extendedData) == 32);

class PluginInfo {
 public:
  // Extended data other than (0, null) is not supported by this record and is not stored.
  PluginInfo(PluginFactory factory, const char* identifier, const char* name,
             std::uint32_t interfaceMajor, std::uint32_t interfaceMinor, std::uint32_t pluginMajor,
             std::uint32_t pluginMinor, std::uint32_t pluginType, const char* description,
             const char* about, std::uint32_t extendedDataSize, const void* extendedData,
             ModuleInitHook initHook, ModuleDeinitHook deinitHook);
  // At unload: empties the two texts. The record pointer keeps its value.
  ~PluginInfo();

  PluginInfo(const PluginInfo&) = delete;
  PluginInfo& operator=(const PluginInfo&) = delete;

  const PluginInfoPart* InfoPart() const { return &info; }
  const PluginExtendedInfoPart* ExtendedPart() const { return &extended; }
  PluginFactory Factory() const { return factory; }
  ModuleInitHook InitHook() const { return initHook; }
  ModuleDeinitHook DeinitHook() const { return deinitHook; }

 private:
  PluginInfoPart info;
  PluginExtendedInfoPart extended;
  std::string descriptionText;
  std::string aboutText;
  PluginFactory factory;
  ModuleInitHook initHook;
  ModuleDeinitHook deinitHook;
};

// The one registration record, set by its constructor during load; null before.
const PluginInfo* RegisteredPluginInfo();
