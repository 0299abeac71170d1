// The registration record as the host reads it, byte by byte, through QueryInfo and
// QueryExtendedInfo; the filling rules of its fixed text fields (the record class linked in
// directly); and the host log sink installed with SetLogCallback.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/PluginInfo.h"
#include "tests/testplugin/TestPluginHost.h"

using namespace testhost;

namespace {

std::vector<std::uint8_t> BytesAt(HostWord address, std::size_t count) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(address);
  return std::vector<std::uint8_t>(bytes, bytes + count);
}

void AppendU32(std::vector<std::uint8_t>* bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes->push_back(std::uint8_t(value >> shift));
}

void AppendText(std::vector<std::uint8_t>* bytes, const char* text, std::size_t width) {
  const std::size_t length = std::strlen(text);
  for (std::size_t i = 0; i < width; ++i) bytes->push_back(i < length ? std::uint8_t(text[i]) : 0);
}

template <typename T>
T ReadAt(HostWord address, std::size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(address) + offset, sizeof value);
  return value;
}

const char kDescription[] = "ASCII art effect \xE2\x80\x94 converts video to character grid";

TEST(Registration, InfoAndExtendedPartsReadAsBytes) {
  LoadedModule module(VexModulePath());
  ASSERT_TRUE(module.ok()) << module.error();
  const HostWord info = module.Call(FunctionCode::QueryInfo);
  ASSERT_NE(info, HostWord{0});

  std::vector<std::uint8_t> expected;
  AppendU32(&expected, 2);
  AppendU32(&expected, 1);
  AppendText(&expected, "VA01", 4);  // no terminator: the name follows at once
  AppendText(&expected, "VEX ASCII", 16);
  AppendU32(&expected, 0);
  EXPECT_EQ(BytesAt(info, 32), expected);

  const HostWord extended = module.Call(FunctionCode::QueryExtendedInfo);
  ASSERT_NE(extended, HostWord{0});
  EXPECT_EQ(extended, info + 32) << "the extended part follows the info part";
  EXPECT_EQ(ReadAt<std::uint32_t>(extended, 0), 2u);
  EXPECT_EQ(ReadAt<std::uint32_t>(extended, 4), 1u);
  const char* description = ReadAt<const char*>(extended, 8);
  const char* about = ReadAt<const char*>(extended, 16);
  ASSERT_NE(description, nullptr);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(std::strlen(description), 53u);
  EXPECT_EQ(std::string(description), kDescription);
  EXPECT_EQ(std::string(description + 17, 3), "\xE2\x80\x94") << "U+2014 as UTF-8";
  EXPECT_STREQ(about, "Lanternfish Studios");
  EXPECT_EQ(ReadAt<std::uint32_t>(extended, 24), 0u);
  EXPECT_EQ(ReadAt<const void*>(extended, 32), nullptr);

  // Neither part is rebuilt per query, nor touched by making or releasing the prototype.
  const std::vector<std::uint8_t> extendedBytes = BytesAt(extended, 40);
  ASSERT_EQ(module.Low(module.Call(FunctionCode::QueryParameterCount)), 8u);
  ASSERT_EQ(module.Low(module.Call(FunctionCode::ReleaseModule)), kSuccess);
  EXPECT_EQ(module.Call(FunctionCode::QueryInfo), info);
  EXPECT_EQ(module.Call(FunctionCode::QueryExtendedInfo), extended);
  EXPECT_EQ(BytesAt(info, 32), expected);
  EXPECT_EQ(BytesAt(extended, 40), extendedBytes);
  EXPECT_STREQ(description, kDescription);
}

// The record in zero-filled storage, as a static object lives.
alignas(PluginInfo) unsigned char recordStorage[sizeof(PluginInfo)];

std::uint32_t NoFactory(CFFGLPlugin** instance) {
  *instance = nullptr;
  return kFailure;
}

TEST(Registration, FixedTextFieldsAreFilledUpToTheirWidth) {
  const struct {
    const char* identifier;
    const char* name;
    const char* identifierBytes;  // exactly 4
    const char* nameBytes;        // exactly 16
  } cases[] = {
      {"VA01", "VEX ASCII", "VA01", "VEX ASCII\0\0\0\0\0\0\0"},
      {"AB", "", "AB\0\0", "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"},
      {"ABCDE", "0123456789abcde", "ABCD", "0123456789abcde\0"},
      {"WXYZ", "0123456789abcdef", "WXYZ", "0123456789abcdef"},   // 16: no terminator
      {"WXYZ", "0123456789abcdefg", "WXYZ", "0123456789abcdef"},  // 17: first 16
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::memset(recordStorage, 0, sizeof recordStorage);
    const char* description = "about the plugin";
    auto* record = new (recordStorage)
        PluginInfo(NoFactory, entry.identifier, entry.name, 2, 1, 3, 4, 0x11223344, description,
                   "about", 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(RegisteredPluginInfo(), record);
    const PluginInfoPart* info = record->InfoPart();
    EXPECT_EQ(std::string(info->identifier, 4), std::string(entry.identifierBytes, 4));
    EXPECT_EQ(std::string(info->name, 16), std::string(entry.nameBytes, 16));
    EXPECT_EQ(info->pluginType, 0x11223344u) << "the name never runs into the type";
    const PluginExtendedInfoPart* extended = record->ExtendedPart();
    EXPECT_EQ(extended->pluginMajor, 3u);
    EXPECT_EQ(extended->pluginMinor, 4u);
    EXPECT_NE(extended->description, description) << "the record keeps its own copy";
    EXPECT_STREQ(extended->description, description);
    EXPECT_EQ(record->Factory(), &NoFactory);
    record->~PluginInfo();
  }
}

// Host log callbacks that remember which of them got which text pointer.
struct LogCall {
  int callback;
  const char* text;
};
std::vector<LogCall>& LogCalls() {
  static std::vector<LogCall> calls;
  return calls;
}
void FirstCallback(const char* text) {
  LogCalls().push_back({1, text});
}
void SecondCallback(const char* text) {
  LogCalls().push_back({2, text});
}

TEST(Registration, LogCallbackIsReplacedAndRemoved) {
  ASSERT_GL_CONTEXT();
  TestPluginModule module;
  ASSERT_TRUE(module.ready()) << module.error();
  auto setLogCallback = reinterpret_cast<SetLogCallbackFunction>(module.Symbol("SetLogCallback"));
  ASSERT_NE(setLogCallback, nullptr);
  TestPluginKnobs& knobs = module.knobs();
  std::vector<void*> instances;
  auto createWithLog = [&] {
    LogCalls().clear();
    void* instance = module.CreateInstance();
    EXPECT_NE(instance, nullptr);
    instances.push_back(instance);
    return LogCalls();
  };

  setLogCallback(FirstCallback);  // before any plugMain call
  std::vector<LogCall> calls = createWithLog();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].callback, 1);
  EXPECT_EQ(calls[0].text, knobs.initGLLogLine) << "the same text, not a copy";

  setLogCallback(SecondCallback);
  calls = createWithLog();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].callback, 2);

  setLogCallback(nullptr);
  EXPECT_TRUE(createWithLog().empty());

  setLogCallback(FirstCallback);
  knobs.initGLLogLine = nullptr;
  EXPECT_TRUE(createWithLog().empty()) << "a null text is not passed on";

  for (void* instance : instances) module.Call(FunctionCode::DestroyInstance, 0, instance);
  module.Call(FunctionCode::ReleaseModule);
  setLogCallback(nullptr);
}

}  // namespace
