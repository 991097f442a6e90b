// Long runs of a host against the loaded module: what it keeps of memory and
// descriptors over many calls, and over many loads and unloads. Counts are
// small enough for CI; the environment raises them:
//   ZV_GETVALUE_CALLS  GetValue calls of the long run (1 000 000; full: 10 000 000)
//   ZV_RELOAD_CYCLES   loads and unloads (1 000)
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "monitor_block/layout.h"
#include "support/plugin_host.h"
#include "support/posix/counts.h"
#include "support/temp_home.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

namespace {

using zv::monitor::Publisher;
using zv::test::PluginModule;
using Clock = std::chrono::steady_clock;

constexpr const char* kName = zv::readings::kMonitorMemoryName;
constexpr const char* kNoDisplayError = "Cannot show the settings dialog: no display is available";

using zv::test::OpenDescriptors;
using zv::test::Setting;

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// AddressSanitizer keeps freed blocks in quarantine, so resident memory
// grows with the number of calls there whatever the module does.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreedMemoryIsReused = false;
#else
constexpr bool kFreedMemoryIsReused = true;
#endif

class ModuleLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::monitor::RemoveStale(kName);
    publisher_ = Publisher::Create(kName, zv::readings::kMonitorBlockSize);
    ASSERT_NE(publisher_, nullptr);
    publisher_->WriteWord(zv::readings::kTemperatureOffset, zv::readings::EncodeHundredths(4500));
    publisher_->WriteWord(zv::readings::kFanOffset, zv::readings::EncodeRpm(900));
    publisher_->WriteWord(zv::readings::kVoltageOffset, zv::readings::EncodeHundredths(1200));
  }

  std::unique_ptr<Publisher> publisher_;
};

// Every call's buffer is released, as the host must: nothing may pile up.
TEST_F(ModuleLifecycle, ManyGetValueCallsKeepMemoryAndDescriptorsFlat) {
  const long calls = Setting("ZV_GETVALUE_CALLS", 1000000);
  auto plugin = PluginModule::Load(ZV_PLUGIN_PATH);
  ASSERT_NE(plugin, nullptr);
  GetValueFunc get_value = plugin->info()->GetValue;
  const char* indices[] = {"0", "7", "31", nullptr};
  const std::int32_t codes[] = {
      ZV_MACRO_TEMP, ZV_MACRO_FAN, ZV_MACRO_VOLT, ZV_MACRO_CHECK, ZV_MACRO_TEMP, ZV_MACRO_RESET, 9};
  const auto call = [&](long i) {
    const std::int32_t code = codes[i % 7];
    char* text = get_value(code, indices[i % 4]);
    zv::test::ReleaseBuffer(text);
  };
  for (long i = 0; i < 10000; ++i) call(i);  // connected, allocator warmed up
  const long rss_before = ResidentKiB();
  const int fds_before = OpenDescriptors();
  const auto start = Clock::now();
  long errors = 0;
  for (long i = 0; i < calls; ++i) {
    if (i % 1000 == 999) {
      // Now and then an error, whose message the plugin keeps.
      errors += plugin->GetValue(ZV_MACRO_TEMP, "32").failed ? 1 : 0;
      continue;
    }
    call(i);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long rss_after = ResidentKiB();
  const int fds_after = OpenDescriptors();
  std::cout << "GetValue: " << calls << " calls (" << errors << " errors) in " << seconds << " s, "
            << seconds * 1e9 / static_cast<double>(calls) << " ns per call; resident " << rss_before
            << " -> " << rss_after << " KiB, descriptors " << fds_before << " -> " << fds_after
            << "\n";
  EXPECT_EQ(errors, calls / 1000);
  EXPECT_EQ(fds_after, fds_before);
  if (kFreedMemoryIsReused) {
    EXPECT_LE(rss_after - rss_before, 512) << "resident memory grew";
  }
}

// A host that reloads its plugins: each load used every entry point, and
// each unload must give back what the load took (LeakSanitizer or valgrind
// see the memory; the descriptors are counted here).
TEST_F(ModuleLifecycle, LoadUnloadCyclesReleaseEverything) {
  const long cycles = Setting("ZV_RELOAD_CYCLES", 1000);
  const zv::test::TempHome home;  // no settings file: launching off
  zv::test::SetEnvironment("DISPLAY", nullptr);
  zv::test::SetEnvironment("WAYLAND_DISPLAY", nullptr);
  const long rss_before = ResidentKiB();
  const int fds_before = OpenDescriptors();
  const auto start = Clock::now();
  long failures = 0;
  for (long cycle = 0; cycle < cycles; ++cycle) {
    auto plugin = PluginModule::Load(ZV_PLUGIN_PATH);
    ASSERT_NE(plugin, nullptr) << "cycle " << cycle;
    const auto expect = [&](std::int32_t code, const char* param, const std::string& text) {
      const auto result = plugin->GetValue(code, param);
      if (result.failed || result.text != text) {
        ++failures;
        ADD_FAILURE() << "cycle " << cycle << " code " << code << ": " << result.text;
      }
    };
    expect(ZV_MACRO_CHECK, nullptr, "");  // connects
    expect(ZV_MACRO_TEMP, "0", "45");
    expect(ZV_MACRO_FAN, "0", "900");
    expect(ZV_MACRO_VOLT, "0", "12");
    expect(ZV_MACRO_CHECK, nullptr, "");
    expect(9, nullptr, "");
    expect(ZV_MACRO_FAN, "0", "900");
    expect(ZV_MACRO_RESET, nullptr, "");
    if (!plugin->GetValue(ZV_MACRO_VOLT, "32").failed) ++failures;
    const auto init = plugin->Init();
    if (init.failed || init.text != "0") {
      ++failures;
      ADD_FAILURE() << "cycle " << cycle << " Init: " << init.text;
    }
    const auto config = plugin->Config();
    if (!config.failed || config.text != kNoDisplayError) {
      ++failures;
      ADD_FAILURE() << "cycle " << cycle << " Config: " << config.text;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long rss_after = ResidentKiB();
  const int fds_after = OpenDescriptors();
  std::cout << "reload: " << cycles << " loads and unloads in " << seconds << " s, " << failures
            << " failed calls; resident " << rss_before << " -> " << rss_after
            << " KiB, descriptors " << fds_before << " -> " << fds_after << "\n";
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(fds_after, fds_before);
}

}  // namespace
