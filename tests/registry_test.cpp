// The parameter registry: the effect's catalogue as the host reads it through plugMain (names,
// types, defaults, elements, ranges, attributes), and the registry class itself, linked in
// directly, for the declaration rules the effect does not exercise.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "framework/CFFGLPluginManager.h"
#include "tests/testplugin/TestPluginHost.h"

using namespace testhost;

namespace {

std::uint32_t Low(HostWord word) {
  return LoadedModule::Low(word);
}

TEST(EffectCatalogue, ParametersAsTheHostReadsThem) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  const struct {
    const char* name;
    std::uint32_t type;
    float defaultValue;
    std::uint32_t elements;
  } parameters[] = {
      {"Char Size", ParamTypeUnitFloat, 0.3f, 1},  {"Color Mode", ParamTypeOption, 0.0f, 4},
      {"Edge Boost", ParamTypeUnitFloat, 0.3f, 1}, {"Invert", ParamTypeBoolean, 0.0f, 1},
      {"Blend", ParamTypeUnitFloat, 1.0f, 1},      {"Contrast", ParamTypeUnitFloat, 0.3f, 1},
      {"Hue Shift", ParamTypeUnitFloat, 0.0f, 1},  {"Speed", ParamTypeUnitFloat, 0.5f, 1},
  };
  ASSERT_EQ(Low(module.Call(FunctionCode::QueryParameterCount)), 8u);
  for (std::uint32_t id = 0; id < 8; ++id) {
    SCOPED_TRACE(parameters[id].name);
    const char* name = TextAt(module.Call(FunctionCode::QueryParameterName, id));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, parameters[id].name);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterType, id)), parameters[id].type);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterDefault, id)),
              BitsOf(parameters[id].defaultValue));
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementCount, id)), parameters[id].elements);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryIntAttribute, id)), 0u);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryFlagAttribute, id)), 1u);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryTextListCount, id)), 0u);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryValueListCount, id)), 0u);
    ElementRef item{id, 0};
    EXPECT_EQ(module.Call(FunctionCode::QueryTextListItem, &item), HostWord{0});
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryValueListItem, &item)), kFailure);
    RangeQuery range{id, -7.0f, -7.0f};
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterRange, &range)), kSuccess);
    EXPECT_EQ(range.minimum, 0.0f);
    EXPECT_EQ(range.maximum, 1.0f);
  }
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterDefault, 0)), 0x3E99999Au);
  // The name pointer is the registry's own text: the same on every call.
  EXPECT_EQ(module.Call(FunctionCode::QueryParameterName, 7),
            module.Call(FunctionCode::QueryParameterName, 7));

  const struct {
    const char* name;
    float value;
  } colorModes[] = {
      {"Green Terminal", 0.0f}, {"Source Color", 1.0f}, {"White", 2.0f}, {"Zirco Pink", 3.0f}};
  for (std::uint32_t index = 0; index < 4; ++index) {
    ElementRef ref{1, index};
    const char* name = TextAt(module.Call(FunctionCode::QueryElementName, &ref));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, colorModes[index].name);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementValue, &ref)),
              BitsOf(colorModes[index].value));
  }
  // A plain parameter has one unnamed element of value 0.0.
  ElementRef plain{4, 0};
  const char* plainName = TextAt(module.Call(FunctionCode::QueryElementName, &plain));
  ASSERT_NE(plainName, nullptr);
  EXPECT_STREQ(plainName, "");
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementValue, &plain)), 0u);
  module.Call(FunctionCode::ReleaseModule);
}

TEST(EffectCatalogue, AbsentParametersAndElements) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  for (std::uint32_t id : {8u, 100u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(module.Call(FunctionCode::QueryParameterName, id), HostWord{0});
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterType, id)), kFailure);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterDefault, id)), kFailure);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementCount, id)), kFailure);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryIntAttribute, id)), kFailure);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryFlagAttribute, id)), kFailure);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryTextListCount, id)), 0u);
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryValueListCount, id)), 0u);
    RangeQuery range{id, -7.0f, -7.0f};
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterRange, &range)), kSuccess);
    EXPECT_EQ(range.minimum, 0.0f);
    EXPECT_EQ(range.maximum, 1.0f);
  }
  const ElementRef absent[] = {{1, 4}, {1, 0xFFFFFFFF}, {0, 1}, {8, 0}};
  for (const ElementRef& each : absent) {
    ElementRef ref = each;
    SCOPED_TRACE(std::to_string(ref.id) + "/" + std::to_string(ref.index));
    EXPECT_EQ(module.Call(FunctionCode::QueryElementName, &ref), HostWord{0});
    EXPECT_EQ(Low(module.Call(FunctionCode::QueryElementValue, &ref)), kFailure);
  }
  module.Call(FunctionCode::ReleaseModule);
}

TEST(EffectCatalogue, TextParameterDefaultIsAFullPointer) {
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  const HostWord caption = module.Call(FunctionCode::QueryParameterDefault, kTestCaption);
  ASSERT_NE(caption, HostWord{0});
  EXPECT_STREQ(TextAt(caption), "hello");
  const HostWord label = module.Call(FunctionCode::QueryParameterDefault, kTestLabel);
  ASSERT_NE(label, HostWord{0});
  EXPECT_EQ(TextAt(label)[0], '\0') << "an empty default text, not a number";
  EXPECT_EQ(Low(module.Call(FunctionCode::QueryParameterDefault, kTestMode)), BitsOf(2.0f));
  module.Call(FunctionCode::ReleaseModule);
}

// The registry class itself, with the declarations open to the test.
class Registry : public CFFGLPluginManager {
 public:
  Registry() : CFFGLPluginManager(false) {}
  using CFFGLPluginManager::DeclareOptionElement;
  using CFFGLPluginManager::DeclareOptionParameter;
  using CFFGLPluginManager::DeclareParameter;
  using CFFGLPluginManager::Find;
  using CFFGLPluginManager::SetMaximumInputs;

  float DefaultOf(std::uint32_t id) const {
    HostWord word = kFailureWord;
    GetParameterDefault(id, &word);
    return FloatOf(word);
  }
};

TEST(ParameterRegistry, DeclaredDefaultsAreClampedOnlyForUnitFloats) {
  const struct {
    std::uint32_t type;
    float declared;
    float stored;
  } cases[] = {
      {ParamTypeUnitFloat, 1.5f, 1.0f}, {ParamTypeUnitFloat, -0.2f, 0.0f},
      {ParamTypeUnitFloat, 0.4f, 0.4f}, {ParamTypeBoolean, 1.5f, 1.5f},
      {ParamTypeBoolean, -3.0f, -3.0f}, {42, 7.0f, 7.0f},
  };
  Registry registry;
  std::uint32_t id = 0;
  for (const auto& entry : cases) registry.DeclareParameter(id++, "p", entry.type, entry.declared);
  registry.DeclareOptionParameter(id, "o", 2, 7.0f);
  id = 0;
  for (const auto& entry : cases) EXPECT_EQ(registry.DefaultOf(id++), entry.stored) << id;
  EXPECT_EQ(registry.DefaultOf(id), 7.0f) << "option defaults are not clamped";
  EXPECT_EQ(registry.GetParameterType(id), std::uint32_t{ParamTypeOption});
}

TEST(ParameterRegistry, FirstDeclarationOfAnIdWins) {
  Registry registry;
  registry.DeclareParameter(0, "first", ParamTypeUnitFloat, 0.5f);
  registry.DeclareOptionParameter(0, "second", 3, 2.0f);
  registry.DeclareOptionElement(0, 0, "ignored", 4.0f);  // reaches the first record's element
  EXPECT_EQ(registry.GetParameterCount(), 2u);
  EXPECT_STREQ(registry.GetParameterName(0), "first");
  EXPECT_EQ(registry.GetParameterType(0), std::uint32_t{ParamTypeUnitFloat});
  EXPECT_EQ(registry.GetElementCount(0), 1u);
  EXPECT_EQ(registry.DefaultOf(0), 0.5f);
  HostWord value = 0;
  registry.GetElementValue(0, 0, &value);
  EXPECT_EQ(FloatOf(value), 4.0f);
}

TEST(ParameterRegistry, OptionElementsOutsideTheListAreIgnored) {
  Registry registry;
  registry.DeclareOptionParameter(5, "o", 2, 0.0f);
  registry.DeclareOptionElement(5, 1, "second", 1.0f);
  registry.DeclareOptionElement(5, 2, "beyond", 9.0f);
  registry.DeclareOptionElement(6, 0, "nobody", 9.0f);
  EXPECT_EQ(registry.GetElementCount(5), 2u);
  EXPECT_STREQ(registry.GetElementName(5, 0), "");
  EXPECT_STREQ(registry.GetElementName(5, 1), "second");
  EXPECT_EQ(registry.GetElementName(5, 2), nullptr);
  EXPECT_EQ(registry.GetElementCount(6), kFailure);
  EXPECT_EQ(registry.SetElementValue(5, 2, 1.0f), kFailure);
  EXPECT_EQ(registry.SetElementValue(5, 1, 3.0f), kSuccess);
}

}  // namespace
