// The monitor's program as a library: its options, the command line that
// sets them, and the run that publishes the block. zelvane-monitor is this
// with the monitor's own options; development helpers add options of their
// own through the same table (tests/helpers/test_monitor.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "monitor_block/layout.h"
#include "zelvane-monitor/hardware_sensors.h"

namespace zv::monitor {

// Where the readings not fixed on the command line come from.
enum class Source {
  Hardware,   // the machine's sensors; without any the monitor does not start
  Simulated,  // simulated ones
  None,       // none: they stay 0
};

// One word the command line pins: a reading of one sensor, or a raw word.
struct FixedWord {
  std::size_t offset;
  std::int32_t word;
};

struct Options {
  std::vector<FixedWord> fixed;
  std::vector<SensorPin> pins;
  Source source = Source::Hardware;
  bool list = false;
  bool replace = false;
  std::size_t size = readings::kMonitorBlockSize;  // other sizes only for tests
  long count = 0;                                  // refreshes before exiting; 0 means no limit
  double seconds = 0;                              // run time before exiting; 0 means no limit
  double delay = 0;                                // wait before the object appears (for tests)
  long interval_ms = 1000;
};

// An option of the command line that takes a value: its name, and what it
// makes of the value (false for a bad value, which is then reported).
struct ValueOption {
  std::string_view name;
  bool (*apply)(Options& options, std::string_view value);
};

// A finite decimal number.
bool ParseDouble(std::string_view text, double& value);

// The longest --seconds (and a test's wait): about three years, far from
// what the clocks' arithmetic could overflow.
inline constexpr double kLongestSeconds = 1e8;

// The monitor's main: reads the command line, the monitor's own options and
// `extra`, and runs. `extra_usage` follows the monitor's options in --help.
// Returns the exit status: 2 for a wrong command line (after the usage).
int MonitorMain(int argc, char** argv, std::span<const ValueOption> extra = {},
                const char* extra_usage = "");

}  // namespace zv::monitor
