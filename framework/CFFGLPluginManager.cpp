#include "framework/CFFGLPluginManager.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t FloatBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Replaces the low half of a result word, keeping the caller's upper half.
void SetLowHalf(HostWord* result, std::uint32_t value) {
  *result = (*result & ~HostWord{0xFFFFFFFFu}) | value;
}

}  // namespace

CFFGLPluginManager::CFFGLPluginManager(bool optionalCapability)
    : optionalCapability(optionalCapability) {}

const ParameterSpec* CFFGLPluginManager::Find(std::uint32_t id) const {
  for (const ParameterSpec& spec : parameters) {
    if (spec.id == id) return &spec;
  }
  return nullptr;
}

ParameterSpec* CFFGLPluginManager::Find(std::uint32_t id) {
  return const_cast<ParameterSpec*>(static_cast<const CFFGLPluginManager*>(this)->Find(id));
}

void CFFGLPluginManager::Append(std::uint32_t id, const char* name, std::uint32_t type,
                                float defaultValue, std::uint32_t elementCount) {
  ParameterSpec spec;
  spec.elements.resize(elementCount);
  spec.name = name ? name : "";
  spec.id = id;
  spec.type = type;
  spec.defaultValue = defaultValue;
  parameters.push_back(std::move(spec));
}

void CFFGLPluginManager::DeclareParameter(std::uint32_t id, const char* name, std::uint32_t type,
                                          float defaultValue) {
  if (type == ParamTypeUnitFloat) defaultValue = std::max(std::min(defaultValue, 1.0f), 0.0f);
  Append(id, name, type, defaultValue, 1);
}

void CFFGLPluginManager::DeclareOptionParameter(std::uint32_t id, const char* name,
                                                std::uint32_t elementCount, float defaultValue) {
  Append(id, name, ParamTypeOption, defaultValue, elementCount);
}

void CFFGLPluginManager::DeclareOptionElement(std::uint32_t id, std::uint32_t index,
                                              const char* name, float value) {
  ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->elements.size()) return;
  spec->elements[index].name = name ? name : "";
  spec->elements[index].value = value;
}

std::uint32_t CFFGLPluginManager::GetParameterCount() const {
  return static_cast<std::uint32_t>(parameters.size());
}

const char* CFFGLPluginManager::GetParameterName(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? spec->name.c_str() : nullptr;
}

void CFFGLPluginManager::GetParameterDefault(std::uint32_t id, HostWord* result) const {
  SetLowHalf(result, kFailure);
  const ParameterSpec* spec = Find(id);
  if (!spec) return;
  if (IsTextParameterType(spec->type)) {
    *result = reinterpret_cast<HostWord>(spec->defaultText.c_str());
  } else {
    SetLowHalf(result, FloatBits(spec->defaultValue));
  }
}

std::uint32_t CFFGLPluginManager::GetParameterType(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? spec->type : kFailure;
}

std::uint32_t CFFGLPluginManager::GetElementCount(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? static_cast<std::uint32_t>(spec->elements.size()) : kFailure;
}

std::uint32_t CFFGLPluginManager::GetIntAttribute(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? static_cast<std::uint32_t>(spec->intAttribute) : kFailure;
}

const char* CFFGLPluginManager::GetElementName(std::uint32_t id, std::uint32_t index) const {
  const ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->elements.size()) return nullptr;
  return spec->elements[index].name.c_str();
}

void CFFGLPluginManager::GetElementValue(std::uint32_t id, std::uint32_t index,
                                         HostWord* result) const {
  SetLowHalf(result, kFailure);
  const ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->elements.size()) return;
  SetLowHalf(result, FloatBits(spec->elements[index].value));
}

std::uint32_t CFFGLPluginManager::SetElementValue(std::uint32_t id, std::uint32_t index,
                                                  float value) {
  ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->elements.size()) return kFailure;
  spec->elements[index].value = value;
  return kSuccess;
}

void CFFGLPluginManager::GetParameterRange(std::uint32_t id, float* minimum, float* maximum) const {
  *minimum = 0.0f;
  *maximum = 1.0f;
  if (const ParameterSpec* spec = Find(id)) {
    *minimum = spec->rangeMin;
    *maximum = spec->rangeMax;
  }
}

std::uint32_t CFFGLPluginManager::GetTextListCount(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? static_cast<std::uint32_t>(spec->textList.size()) : 0u;
}

const char* CFFGLPluginManager::GetTextListItem(std::uint32_t id, std::uint32_t index) const {
  const ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->textList.size()) return nullptr;
  return spec->textList[index].c_str();
}

std::uint32_t CFFGLPluginManager::GetFlagAttribute(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? std::uint32_t{spec->flagAttribute} : kFailure;
}

std::uint32_t CFFGLPluginManager::CountPendingEvents() const {
  return static_cast<std::uint32_t>(
      std::count_if(parameters.begin(), parameters.end(),
                    [](const ParameterSpec& spec) { return spec.pendingEvent != 0; }));
}

std::uint32_t CFFGLPluginManager::CollectPendingEvents(ParameterEvent* items,
                                                       std::uint32_t capacity) {
  std::uint32_t written = 0;
  for (ParameterSpec& spec : parameters) {
    if (written >= capacity) break;
    if (spec.pendingEvent == 0) continue;
    items[written].id = spec.id;
    items[written].pendingEvent = spec.pendingEvent;
    spec.pendingEvent = 0;
    ++written;
  }
  return written;
}

std::uint32_t CFFGLPluginManager::GetValueListCount(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? static_cast<std::uint32_t>(spec->valueList.size()) : 0u;
}

std::uint32_t CFFGLPluginManager::GetValueListItem(std::uint32_t id, std::uint32_t index) const {
  const ParameterSpec* spec = Find(id);
  if (!spec || index >= spec->valueList.size()) return kFailure;
  return spec->valueList[index];
}

std::string CFFGLPluginManager::CopySharedText(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? spec->sharedText : std::string();
}

std::string CFFGLPluginManager::CopyInstanceText(std::uint32_t id) const {
  const ParameterSpec* spec = Find(id);
  return spec ? spec->instanceText : std::string();
}
