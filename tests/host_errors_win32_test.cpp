// Many errors in a row in one process, each caught as a Windows host catches
// it (on 32-bit x86 through a registration record on the fs:[0] chain, whose
// handler unwinds and abandons the plugin's frames). Nothing may pile up:
// not in the heaps, not on the handler chain; and the plugin answers
// correctly afterwards. ZV_HOST_ERROR_COUNT sets the count (100000).
#include <gtest/gtest.h>
#include <windows.h>

// After <windows.h>, which it needs.
#include <psapi.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "monitor_block/layout.h"
#include "support/plugin_host.h"
#include "zelvane-lcd/loader/win32/seh_call.h"
#include "zelvane-monitor/publisher.h"

namespace {

constexpr const char* kName = zv::readings::kMonitorMemoryName;
constexpr const char* kIndexError =
    "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5 Index \xE4\xEE\xEB\xE6\xED\xEE \xE1\xFB\xF2\xFC \xE2 "
    "\xEF\xF0\xE5\xE4\xE5\xEB\xE0\xF5 0 - 31 !!!";
constexpr const char* kIntegerError = "'x' is not a valid integer value";

int ErrorCount() {
  const char* text = std::getenv("ZV_HOST_ERROR_COUNT");
  const long count = text != nullptr ? std::strtol(text, nullptr, 10) : 100000;
  return count > 0 ? static_cast<int>(count) : 100000;
}

struct Memory {
  std::size_t private_bytes = 0;   // committed memory of the process alone
  std::size_t pagefile_bytes = 0;  // the system's commit charge of it
  std::size_t working_set = 0;
  std::size_t heap_bytes = 0;   // allocated (busy) bytes of every heap
  std::size_t heap_blocks = 0;  // and their number
};

// The process's memory now. Every heap counts: the C runtime keeps one of
// its own beside the process heap.
Memory Measure() {
  Memory memory;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(),
                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),  // NOLINT: the API's
                       sizeof counters);
  memory.pagefile_bytes = counters.PagefileUsage;
  memory.working_set = counters.WorkingSetSize;
  // Private bytes counted region by region: Wine leaves PrivateUsage at 0.
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr;
       VirtualQuery(at, &region, sizeof region) == sizeof region && region.RegionSize > 0;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      memory.private_bytes += region.RegionSize;
    }
  }
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE heap : heaps) {
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry) != FALSE) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
        memory.heap_bytes += entry.cbData;
        ++memory.heap_blocks;
      }
    }
    HeapUnlock(heap);
  }
  return memory;
}

double KiB(std::size_t bytes) { return static_cast<double>(bytes) / 1024.0; }

TEST(HostErrors, ManyInARowLeaveMemoryFlatAndThePluginAnswering) {
  zv::monitor::RemoveStale(kName);
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  ASSERT_NE(publisher, nullptr);
  publisher->WriteWord(zv::readings::kTemperatureOffset + 4 * std::size_t{3},
                       zv::readings::EncodeHundredths(4550));
  auto plugin = zv::test::PluginModule::Load(ZV_PLUGIN_PATH);
  ASSERT_NE(plugin, nullptr);
  ASSERT_EQ(plugin->GetValue(ZV_MACRO_TEMP, "3").text, "46");

  // Two messages of different lengths, alternating; every one checked.
  const auto fail = [&](int i) {
    const bool index = i % 2 == 0;
    const zv::test::HostCall call =
        plugin->GetValue(index ? ZV_MACRO_TEMP : ZV_MACRO_CHECK, index ? "32" : "x");
    if (!call.failed || call.text != (index ? kIndexError : kIntegerError)) {
      ADD_FAILURE() << "error " << i << ": failed " << call.failed << ", text " << call.text;
      return false;
    }
    return true;
  };
  // The first errors may set up what the system keeps for good.
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(fail(i));
  }
  const int count = ErrorCount();
  const void* chain = ZvHandlerChainHead();
  const Memory before = Measure();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(fail(i));
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const Memory after = Measure();

  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the figures for the logs
  std::printf(
      "host errors: %d in a row in %.1f s (%.1f us each); private bytes %.0f -> %.0f KiB "
      "(pagefile usage %.0f -> %.0f KiB), working set %.0f -> %.0f KiB, heaps %zu -> %zu bytes "
      "in %zu -> %zu blocks\n",
      count, took.count(), took.count() * 1e6 / count, KiB(before.private_bytes),
      KiB(after.private_bytes), KiB(before.pagefile_bytes), KiB(after.pagefile_bytes),
      KiB(before.working_set), KiB(after.working_set), before.heap_bytes, after.heap_bytes,
      before.heap_blocks, after.heap_blocks);

  // Each error leaves the handler chain as it was...
  EXPECT_EQ(ZvHandlerChainHead(), chain);
  // ... and nothing on the heaps (a byte per error would be count bytes) or
  // elsewhere in the process's memory.
  EXPECT_LE(after.heap_bytes, before.heap_bytes + 4096);
  EXPECT_LE(after.heap_blocks, before.heap_blocks + 16);
  EXPECT_LE(after.private_bytes, before.private_bytes + std::size_t{256} * 1024);
  // The plugin answers as before; the errors left its last text alone.
  EXPECT_EQ(plugin->GetValue(9, nullptr).text, "46");
  EXPECT_EQ(plugin->GetValue(ZV_MACRO_TEMP, "3").text, "46");
  EXPECT_EQ(plugin->GetValue(ZV_MACRO_CHECK, nullptr).text, "");
  const zv::test::HostCall last_error = plugin->GetValue(ZV_MACRO_FAN, "-1");
  EXPECT_TRUE(last_error.failed);
  EXPECT_EQ(last_error.text, kIndexError);
}

}  // namespace
