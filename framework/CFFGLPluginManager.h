// The parameter registry every plugin instance carries: one ParameterSpec per declared
// parameter, the input-count limits and the two capability flags. A plugin class declares
// everything in its constructor; afterwards the registry only answers queries by id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostInterface.h"

struct ParameterElement {
  std::string name;
  float value = 0.0f;
};

struct ParameterSpec {
  std::uint32_t id = 0;
  std::string name;
  std::string instanceText;
  std::uint32_t type = 0;
  std::vector<ParameterElement> elements;
  std::vector<std::uint32_t> valueList;
  std::int32_t intAttribute = 0;
  std::uint8_t flagAttribute = 1;
  float rangeMin = 0.0f;
  float rangeMax = 1.0f;
  float defaultValue = 0.0f;
  std::string defaultText;
  std::vector<std::string> textList;
  std::uint64_t pendingEvent = 0;
  std::string sharedText;
};

class CFFGLPluginManager {
 public:
  explicit CFFGLPluginManager(bool optionalCapability);
  virtual ~CFFGLPluginManager() = default;

  CFFGLPluginManager(const CFFGLPluginManager&) = delete;
  CFFGLPluginManager& operator=(const CFFGLPluginManager&) = delete;

  // Queries. Every id lookup uses the first record declared with that id; kFailure (-1),
  // null, 0 or an empty text answer an unknown id or index as each operation says.
  std::uint32_t GetParameterCount() const;
  const char* GetParameterName(std::uint32_t id) const;
  // Writes kFailure into the low half of *result, then the default (float bits, or the text
  // address for text-valued types) when the parameter exists.
  void GetParameterDefault(std::uint32_t id, HostWord* result) const;
  std::uint32_t GetParameterType(std::uint32_t id) const;
  std::uint32_t GetElementCount(std::uint32_t id) const;
  std::uint32_t GetIntAttribute(std::uint32_t id) const;
  const char* GetElementName(std::uint32_t id, std::uint32_t index) const;
  void GetElementValue(std::uint32_t id, std::uint32_t index, HostWord* result) const;
  std::uint32_t SetElementValue(std::uint32_t id, std::uint32_t index, float value);
  // Writes 0.0 and 1.0 first, then the parameter's range when it exists.
  void GetParameterRange(std::uint32_t id, float* minimum, float* maximum) const;
  std::uint32_t GetTextListCount(std::uint32_t id) const;
  const char* GetTextListItem(std::uint32_t id, std::uint32_t index) const;
  std::uint32_t GetFlagAttribute(std::uint32_t id) const;
  std::uint32_t CountPendingEvents() const;
  // Writes at most `capacity` items in declaration order, clearing each collected event.
  std::uint32_t CollectPendingEvents(ParameterEvent* items, std::uint32_t capacity);
  std::uint32_t GetValueListCount(std::uint32_t id) const;
  std::uint32_t GetValueListItem(std::uint32_t id, std::uint32_t index) const;
  void EnableOptionalCapability() { optionalCapabilityEnabled = 1; }
  std::string CopySharedText(std::uint32_t id) const;
  std::string CopyInstanceText(std::uint32_t id) const;
  std::int32_t GetMinimumInputs() const { return minimumInputs; }
  std::int32_t GetMaximumInputs() const { return maximumInputs; }
  bool HasBaseCapability() const { return baseCapability; }
  bool HasOptionalCapability() const { return optionalCapability; }

 protected:
  // Declarations, for the plugin class's constructor. Ids are never checked for duplicates.
  void DeclareParameter(std::uint32_t id, const char* name, std::uint32_t type, float defaultValue);
  void DeclareOptionParameter(std::uint32_t id, const char* name, std::uint32_t elementCount,
                              float defaultValue);
  void DeclareOptionElement(std::uint32_t id, std::uint32_t index, const char* name, float value);
  void SetMinimumInputs(std::int32_t count) { minimumInputs = count; }
  void SetMaximumInputs(std::int32_t count) { maximumInputs = count; }
  // The first record with this id, or null: for plugin classes that fill the fields nothing
  // else sets (texts, lists, attributes, pending events).
  ParameterSpec* Find(std::uint32_t id);
  const ParameterSpec* Find(std::uint32_t id) const;

 private:
  void Append(std::uint32_t id, const char* name, std::uint32_t type, float defaultValue,
              std::uint32_t elementCount);

  std::vector<ParameterSpec> parameters;
  std::int32_t minimumInputs = 0;
  std::int32_t maximumInputs = 0;
  bool baseCapability = true;
  bool optionalCapability;
  std::int32_t optionalCapabilityEnabled = 0;
};
