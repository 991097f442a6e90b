// The plugin module as a host sees it: loaded by path, used through the
// descriptor, errors caught the platform's way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "monitor_block/layout.h"
#include "support/plugin_host.h"
#include "support/temp_home.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"
#include "zv_version.h"

namespace {

using zv::monitor::Publisher;
using zv::test::HostCall;
using zv::test::PluginModule;

constexpr const char* kName = zv::readings::kMonitorMemoryName;
constexpr const char* kIndexError =
    "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5 Index \xE4\xEE\xEB\xE6\xED\xEE \xE1\xFB\xF2\xFC \xE2 "
    "\xEF\xF0\xE5\xE4\xE5\xEB\xE0\xF5 0 - 31 !!!";

class PluginModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::monitor::RemoveStale(kName);
    plugin_ = PluginModule::Load(ZV_PLUGIN_PATH);
    ASSERT_NE(plugin_, nullptr);
  }

  // Publishes a block with temperature i = 40.00 + i, fan i = 1000 + i,
  // voltage i = 12.00 + i/100.
  void Publish() {
    publisher_ = Publisher::Create(kName, zv::readings::kMonitorBlockSize);
    ASSERT_NE(publisher_, nullptr);
    for (std::size_t i = 0; i < zv::readings::kSensorCount; ++i) {
      const auto n = static_cast<std::int32_t>(i);
      publisher_->WriteWord(zv::readings::kTemperatureOffset + 4 * i,
                            zv::readings::EncodeHundredths(4000 + 100 * n));
      publisher_->WriteWord(zv::readings::kFanOffset + 4 * i, zv::readings::EncodeRpm(1000 + n));
      publisher_->WriteWord(zv::readings::kVoltageOffset + 4 * i,
                            zv::readings::EncodeHundredths(1200 + n));
    }
  }

  [[nodiscard]] HostCall Get(std::int32_t code, const char* param) const {
    return plugin_->GetValue(code, param);
  }
  void ExpectText(std::int32_t code, const char* param, const std::string& text) const {
    const HostCall call = Get(code, param);
    EXPECT_FALSE(call.failed) << "code " << code << ": " << call.text;
    EXPECT_EQ(call.text, text) << "code " << code;
  }
  void ExpectError(std::int32_t code, const char* param, const std::string& message) const {
    const HostCall call = Get(code, param);
    EXPECT_TRUE(call.failed) << "code " << code << " gave " << call.text;
    EXPECT_EQ(call.text, message) << "code " << code;
  }

  std::unique_ptr<PluginModule> plugin_;
  std::unique_ptr<Publisher> publisher_;
};

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

TEST_F(PluginModuleTest, DescriptorHoldsTheExactTexts) {
  const PluginInfo* info = plugin_->info();
  EXPECT_EQ(plugin_->get_plugin()(), info);
  EXPECT_EQ(Text(info->Title), "Zelvane 4.* info");
  // The fixed first part, then one closing line that names the build's
  // version (the same number as the DLL's version resource).
  const std::string about = Text(info->About);
  const std::string fixed = "\xC8\xED\xF4\xEE\xF0\xEC\xE0\xF6\xE8\xFF \xE8\xE7 Zelvane 4.*\r\r";
  ASSERT_EQ(about.substr(0, fixed.size()), fixed);
  const std::string closing = about.substr(fixed.size());
  EXPECT_EQ(closing.rfind("zelvane_info " ZV_VERSION ": ", 0), 0U) << closing;
  EXPECT_EQ(closing.find_first_of("\r\n"), std::string::npos) << closing;
  EXPECT_EQ(info->InfoCode, 1027);
  EXPECT_EQ(Text(info->ShortName), "Zelvane");

  const char* macros[] = {"$zvCheck", "$zvTemp", "$zvFan", "$zvVolt"};
  const char* examples[] = {"$zvCheck$", "$zvTemp[0]$", "$zvFan[0]$", "$zvVolt[0]$"};
  const char* descriptions[] = {"\xF3\xF1\xEB\xEE\xE2\xE8\xE5 \xEF\xEE\xEA\xE0\xE7\xE0",
                                "\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0",
                                "\xEE\xE1\xEE\xF0\xEE\xF2\xFB",
                                "\xED\xE0\xEF\xF0\xFF\xE6\xE5\xED\xE8\xE5"};
  for (int i = 0; i < ZV_TABLE_ENTRIES; ++i) {
    const bool used = i >= 1 && i <= 4;
    EXPECT_EQ(Text(info->Macros[i]), used ? macros[i - 1] : "") << i;
    EXPECT_EQ(Text(info->Examples[i]), used ? examples[i - 1] : "") << i;
    EXPECT_EQ(Text(info->Descriptions[i]), used ? descriptions[i - 1] : "") << i;
    EXPECT_EQ(Text(info->Headings[i]), i == 0 ? "Zelvane 4.*" : "") << i;
  }
  EXPECT_NE(info->GetValue, nullptr);
  EXPECT_NE(info->Init, nullptr);
  EXPECT_NE(info->Config, nullptr);
}

TEST_F(PluginModuleTest, DescriptorLayoutMatchesTheWordTable) {
  // The fields are consecutive machine words, with InfoCode a 32-bit word in
  // the third slot.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the record's bytes
  const auto* base = reinterpret_cast<const unsigned char*>(plugin_->info());
  const std::size_t word = sizeof(void*);
  std::uint32_t info_code = 0;
  std::memcpy(&info_code, base + 2 * word, 4);
  EXPECT_EQ(info_code, 0x403U);
  const void* get_value = nullptr;
  std::memcpy(&get_value, base + (4 + 4 * 17) * word, word);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the entry's address
  EXPECT_EQ(get_value, reinterpret_cast<const void*>(plugin_->info()->GetValue));
  EXPECT_EQ(sizeof(PluginInfo), (4 + 4 * 17 + 3) * word);
}

TEST_F(PluginModuleTest, CheckConnectsLikeAReading) {
  ExpectText(ZV_MACRO_CHECK, nullptr, "#skip");
  Publish();
  ExpectText(ZV_MACRO_CHECK, nullptr, "");
  ExpectText(ZV_MACRO_TEMP, "0", "40");
}

TEST_F(PluginModuleTest, ReadingsOfEveryKind) {
  Publish();
  ExpectText(ZV_MACRO_TEMP, "2", "42");
  ExpectText(ZV_MACRO_TEMP, nullptr, "40");
  ExpectText(ZV_MACRO_FAN, "3", "1003");
  ExpectText(ZV_MACRO_VOLT, "31", "12");
  ExpectText(ZV_MACRO_VOLT, " 31", "12");
  ExpectText(ZV_MACRO_FAN, "-0", "1000");
}

TEST_F(PluginModuleTest, AbsentMonitorGivesEmptyTexts) {
  ExpectText(ZV_MACRO_TEMP, "0", "");
  ExpectText(ZV_MACRO_FAN, "31", "");
  ExpectText(ZV_MACRO_VOLT, "5", "");
  ExpectText(ZV_MACRO_CHECK, nullptr, "#skip");
}

TEST_F(PluginModuleTest, ResetAndUnknownCodes) {
  Publish();
  ExpectText(ZV_MACRO_FAN, "3", "1003");
  ExpectText(9, nullptr, "1003");
  ExpectText(-2, "7", "1003");
  ExpectText(ZV_MACRO_RESET, nullptr, "");
  ExpectText(9, nullptr, "");
}

TEST_F(PluginModuleTest, OnlyTheLowSixteenBitsOfTheCodeCount) {
  Publish();
  ExpectText(0x00010001, "1", "41");
  ExpectText(static_cast<std::int32_t>(0xABCD0002), "1", "1001");
  ExpectText(0x0000FFFF, nullptr, "");  // -1: reset
  ExpectText(ZV_MACRO_TEMP, "4", "44");
  ExpectText(0x00010000, nullptr, "");  // 0: check, mapped
  ExpectText(0x00010004, nullptr, "");  // 4: unknown, previous text
}

TEST_F(PluginModuleTest, ErrorsLeaveTheLastTextAlone) {
  Publish();
  ExpectText(ZV_MACRO_FAN, "3", "1003");
  ExpectError(ZV_MACRO_TEMP, "32", kIndexError);
  ExpectError(ZV_MACRO_FAN, "-1", kIndexError);
  ExpectError(ZV_MACRO_CHECK, "abc", "'abc' is not a valid integer value");
  ExpectError(ZV_MACRO_RESET, "", "'' is not a valid integer value");
  ExpectError(9, "1x", "'1x' is not a valid integer value");
  ExpectError(ZV_MACRO_VOLT, "4294967296", "'4294967296' is not a valid integer value");
  ExpectText(9, nullptr, "1003");
}

TEST_F(PluginModuleTest, EveryCallReturnsAFreshBufferOwnedByTheHost) {
  Publish();
  char* first = plugin_->GetValueRaw(ZV_MACRO_FAN, "7");
  char* second = plugin_->GetValueRaw(ZV_MACRO_FAN, "7");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_STREQ(first, "1007");
  EXPECT_STREQ(second, "1007");
  zv::test::ReleaseBuffer(first);
  EXPECT_STREQ(second, "1007");  // the plugin kept no reference to either
  zv::test::ReleaseBuffer(second);
}

TEST_F(PluginModuleTest, InitWithoutSettingsConnectsOnceAndReturnsZero) {
  const zv::test::TempHome home;  // no settings file, and none of the user's
  Publish();
  const HostCall init = plugin_->Init();
  EXPECT_FALSE(init.failed) << init.text;
  EXPECT_EQ(init.text, "0");
  ExpectText(ZV_MACRO_CHECK, nullptr, "");
}

TEST_F(PluginModuleTest, ReloadedModuleStartsEmpty) {
  Publish();
  ExpectText(ZV_MACRO_TEMP, "1", "41");
  plugin_.reset();
  plugin_ = PluginModule::Load(ZV_PLUGIN_PATH);
  ASSERT_NE(plugin_, nullptr);
  ExpectText(9, nullptr, "");
  ExpectText(ZV_MACRO_CHECK, nullptr, "");
}

// Two hosts, each with a module of its own (a second file of it), read one
// monitor: both see it end, and both follow a new one. The times are
// printed; a host asking every 100-200 ms sees both within a second.
TEST_F(PluginModuleTest, EveryLoadedModuleFollowsTheMonitor) {
  const auto other = PluginModule::Load(ZV_PLUGIN_COPY_PATH);
  ASSERT_NE(other, nullptr);
  const PluginModule* hosts[] = {plugin_.get(), other.get()};
  Publish();
  for (const PluginModule* host : hosts) EXPECT_EQ(host->GetValue(ZV_MACRO_TEMP, "1").text, "41");
  // Asks every 50 ms until both answer `text`; the milliseconds that took.
  const auto until_both = [&](std::int32_t code, const std::string& text) {
    const auto start = std::chrono::steady_clock::now();
    bool both = false;
    while (!both && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      both = true;
      for (const PluginModule* host : hosts) both = host->GetValue(code, "1").text == text && both;
    }
    EXPECT_TRUE(both) << "code " << code << ": no '" << text << "' after 3 s";
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  publisher_.reset();
  const auto gone = until_both(ZV_MACRO_CHECK, "#skip");
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "1").text, "");
  Publish();
  publisher_->WriteWord(zv::readings::kTemperatureOffset + 4, zv::readings::EncodeHundredths(7700));
  const auto back = until_both(ZV_MACRO_TEMP, "77");
  std::cout << "two modules: monitor gone seen after " << gone << " ms, new one after " << back
            << " ms (asked every 50 ms)\n";
}

}  // namespace
