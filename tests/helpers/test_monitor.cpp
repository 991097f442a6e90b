// test_monitor: zelvane-monitor with options that only tests need, for
// blocks no shipped monitor publishes: raw words (another monitor's block, a
// broken heartbeat), a block of another size, a monitor that appears late.
// Everything else is the monitor's own code (zelvane-monitor/monitor.h).
#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/text.h"
#include "monitor_block/layout.h"
#include "zelvane-monitor/monitor.h"

namespace {

using zv::monitor::kLongestSeconds;
using zv::monitor::Options;
using zv::monitor::ParseDouble;
using zv::monitor::ValueOption;

// Parses "OFF=W" of --word: a raw word at an offset of the block (a
// multiple of 4; 0..12 replace a word of the heartbeat).
bool AddRawWord(Options& options, std::string_view text) {
  const auto equals = text.find('=');
  long offset = 0;
  long word = 0;
  if (equals == std::string_view::npos ||
      !zv::common::ParseDecimal(text.substr(0, equals), 0,
                                zv::readings::kMonitorBlockSize - zv::readings::kWordSize,
                                offset) ||
      offset % 4 != 0 ||
      !zv::common::ParseDecimal(text.substr(equals + 1), std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max(), word)) {
    return false;
  }
  options.fixed.push_back({static_cast<std::size_t>(offset), static_cast<std::int32_t>(word)});
  return true;
}

constexpr std::array<ValueOption, 3> kTestOptions = {{
    {"--word", AddRawWord},
    {"--size",
     [](Options& options, std::string_view value) {
       long size = 0;
       const bool ok = zv::common::ParseDecimal(value, 1, 1 << 20, size);
       options.size = static_cast<std::size_t>(size);
       return ok;
     }},
    {"--delay",
     [](Options& options, std::string_view value) {
       return ParseDouble(value, options.delay) && options.delay >= 0 &&
              options.delay <= kLongestSeconds;
     }},
}};

constexpr const char* kTestUsage =
    "Options for tests (test_monitor only):\n"
    "  --word OFF=W      raw 32-bit word W at byte offset OFF (multiple of 4;\n"
    "                    0..12 replace a word of the heartbeat)\n"
    "  --size N          make the object N bytes (fewer than 400 to test a short block)\n"
    "  --delay S         wait S seconds before publishing (0..100000000)\n";

}  // namespace

int main(int argc, char** argv) {
  return zv::monitor::MonitorMain(argc, argv, kTestOptions, kTestUsage);
}
