// The hardware monitor's program (zelvane-monitor/monitor.h). Publishes the
// monitor's block (monitor_block/layout.h) and refreshes it every second,
// with the machine's own sensors (or simulated readings, when asked for) and
// fixed values given on the command line, until it is stopped. Each refresh
// ends with the block's heartbeat, by which readers tell a refreshing
// monitor from a stopped, paused or killed one.
//
// The program's logic is the same on every platform: the object itself is
// made by zelvane-monitor/<os>/publisher.cpp, the sensors are read by
// zelvane-monitor/<os>/sensor_source.cpp and the stop signals are handled by
// common/<os>/stop_signal.cpp.
#include "zelvane-monitor/monitor.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/printable.h"
#include "common/stop_signal.h"
#include "common/text.h"
#include "monitor_block/clock.h"
#include "monitor_block/heartbeat.h"
#include "zelvane-monitor/hardware_sensors.h"
#include "zelvane-monitor/progress_source.h"
#include "zelvane-monitor/publisher.h"

namespace zv::monitor {
namespace {

using readings::kMonitorBlockSize;
using readings::kSensorCount;
constexpr const char* kObjectName = readings::kMonitorMemoryName;

using Kind = SensorKind;

// The monitor's usage, then `extra_usage` (a helper's own options).
void PrintUsage(std::FILE* out, const char* extra_usage) {
  std::fprintf(out,
               "usage: zelvane-monitor [options]\n"
               "Publishes the monitor block \"%s\" (%zu bytes) and refreshes it\n",
               kObjectName, kMonitorBlockSize);
  std::fputs(
      "every second until Ctrl-C or SIGTERM, then removes it. The readings are the\n"
      "machine's sensors (libsensors); a machine without any needs --simulate or\n"
      "--no-simulation. A block left by a monitor that no longer runs is replaced;\n"
      "while another monitor runs, this one does not start (exit status 1).\n"
      "  --list            print which sensor has which index, and exit\n"
      "  --map K:I=CHIP/F  put sensor F (feature name or label) of CHIP (wildcards *)\n"
      "                    at index I of kind K (temp, fan, volt), e.g.\n"
      "                    --map 'temp:0=coretemp-*/Package id 0'\n"
      "  --simulate        simulated readings instead of the machine's sensors\n"
      "  --temp I=C        temperature sensor I (0..31) fixed at C degrees (e.g. 45.5)\n"
      "  --fan I=RPM       fan sensor I fixed at RPM\n"
      "  --volt I=V        voltage sensor I fixed at V volts (e.g. 12.05)\n"
      "  --no-simulation   no readings but the fixed ones: every other sensor reads 0\n"
      "  --count N         exit after N refreshes\n"
      "  --seconds S       exit after S seconds (at most 100000000)\n"
      "  --interval-ms MS  refresh period, 1..60000 (default 1000)\n"
      "  --replace         also replace what is not a monitor's block under the name\n"
      "                    (a FIFO, a folder, a link, ...); never a running monitor's\n",
      out);
  std::fputs(extra_usage, out);
}

}  // namespace

bool ParseDouble(std::string_view text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(value);
}

namespace {

// Seconds of --seconds or a wait (at most kLongestSeconds) as milliseconds.
std::chrono::milliseconds SecondsToMs(double seconds) {
  return std::chrono::milliseconds(std::llround(seconds * 1000));
}

// The block's region of a kind of sensor.
const readings::ReadingRegion& RegionOf(Kind kind) {
  switch (kind) {
    case Kind::Fan:
      return readings::RegionOf(readings::ReadingKind::Fan);
    case Kind::Voltage:
      return readings::RegionOf(readings::ReadingKind::Voltage);
    case Kind::Temperature:
      break;
  }
  return readings::RegionOf(readings::ReadingKind::Temperature);
}

std::size_t SensorOffset(Kind kind, std::size_t index) {
  return RegionOf(kind).offset + readings::kWordSize * index;
}

// Encodes a reading in the units of its region's scaling (hundredths for
// temperatures and voltages, whole RPM for fans). Readings the word cannot
// hold are refused.
std::optional<std::int32_t> EncodeReading(Kind kind, double reading) {
  const double units = RegionOf(kind).scaling == readings::Scaling::Whole
                           ? std::trunc(reading)
                           : std::round(reading * 100);
  // Whole units whose word (units x 65536) fits in 32 bits.
  constexpr double kLimit = 32767;
  if (!(std::fabs(units) <= kLimit)) {
    return std::nullopt;
  }
  return readings::EncodeUnits(static_cast<std::int32_t>(units));
}

// Parses "I=VALUE" of --temp, --fan or --volt.
bool ParseSensor(Kind kind, std::string_view text, FixedWord& fixed) {
  const auto equals = text.find('=');
  long index = 0;
  double reading = 0;
  if (equals == std::string_view::npos ||
      !common::ParseDecimal(text.substr(0, equals), 0, kSensorCount - 1, index) ||
      !ParseDouble(text.substr(equals + 1), reading)) {
    return false;
  }
  const auto word = EncodeReading(kind, reading);
  if (!word) {
    return false;
  }
  fixed = {SensorOffset(kind, static_cast<std::size_t>(index)), *word};
  return true;
}

// --temp, --fan or --volt: one sensor's reading fixed.
template <Kind kind>
bool AddFixedReading(Options& options, std::string_view value) {
  FixedWord fixed{};
  if (!ParseSensor(kind, value, fixed)) {
    return false;
  }
  options.fixed.push_back(fixed);
  return true;
}

// --map: one sensor pinned to an index, which no other pin may take.
bool AddPin(Options& options, std::string_view value) {
  const auto pin = ParseSensorPin(value);
  if (!pin || std::any_of(options.pins.begin(), options.pins.end(), [&](const SensorPin& other) {
        return other.kind == pin->kind && other.index == pin->index;
      })) {
    return false;
  }
  options.pins.push_back(*pin);
  return true;
}

// The options without a value.
struct FlagOption {
  std::string_view name;
  void (*apply)(Options& options);
};

constexpr std::array<FlagOption, 4> kFlagOptions = {{
    {"--no-simulation", [](Options& options) { options.source = Source::None; }},
    {"--simulate", [](Options& options) { options.source = Source::Simulated; }},
    {"--list", [](Options& options) { options.list = true; }},
    {"--replace", [](Options& options) { options.replace = true; }},
}};

constexpr std::array<ValueOption, 7> kValueOptions = {{
    {"--temp", AddFixedReading<Kind::Temperature>},
    {"--fan", AddFixedReading<Kind::Fan>},
    {"--volt", AddFixedReading<Kind::Voltage>},
    {"--map", AddPin},
    {"--count",
     [](Options& options, std::string_view value) {
       return common::ParseDecimal(value, 1, std::numeric_limits<std::int32_t>::max(),
                                   options.count);
     }},
    {"--interval-ms",
     [](Options& options, std::string_view value) {
       return common::ParseDecimal(value, 1, readings::kHeartbeatMaxPeriodMs, options.interval_ms);
     }},
    {"--seconds",
     [](Options& options, std::string_view value) {
       return ParseDouble(value, options.seconds) && options.seconds > 0 &&
              options.seconds <= kLongestSeconds;
     }},
}};

// The option named `name` that takes a value: the monitor's own, else one of
// `extra`; nullptr for none.
const ValueOption* FindValueOption(std::string_view name, std::span<const ValueOption> extra) {
  for (const std::span<const ValueOption> table :
       {std::span<const ValueOption>(kValueOptions), extra}) {
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const ValueOption& option) { return option.name == name; });
    if (found != table.end()) {
      return &*found;
    }
  }
  return nullptr;
}

// Reads the command line; returns nullopt (after a message) when it is wrong.
std::optional<Options> ParseOptions(int argc, char** argv, std::span<const ValueOption> extra,
                                    const char* extra_usage) {
  Options options;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout, extra_usage);
      std::exit(0);  // NOLINT(concurrency-mt-unsafe)
    }
    const auto flag = std::find_if(kFlagOptions.begin(), kFlagOptions.end(),
                                   [&](const FlagOption& option) { return option.name == arg; });
    if (flag != kFlagOptions.end()) {
      flag->apply(options);
      continue;
    }
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "zelvane-monitor: %.*s: missing or unknown option\n",
                   static_cast<int>(arg.size()), arg.data());
      return std::nullopt;
    }
    const std::string_view value = args[++i];
    const ValueOption* option = FindValueOption(arg, extra);
    if (option == nullptr) {
      std::fprintf(stderr, "zelvane-monitor: unknown option %.*s\n", static_cast<int>(arg.size()),
                   arg.data());
      return std::nullopt;
    }
    if (!option->apply(options, value)) {
      std::fprintf(stderr, "zelvane-monitor: bad value for %.*s: %.*s\n",
                   static_cast<int>(arg.size()), arg.data(), static_cast<int>(value.size()),
                   value.data());
      return std::nullopt;
    }
  }
  return options;
}

// A plausible, slowly varying reading of one simulated sensor at `t`
// seconds, or nullopt for a sensor the simulated machine does not have.
std::optional<double> SimulatedReading(Kind kind, std::size_t index, double t) {
  struct Sensor {
    double base, swing, period;
  };
  static constexpr std::array<Sensor, 5> kTemperatures = {
      {{45, 6, 97}, {52, 9, 131}, {36, 2, 311}, {38, 1.5, 613}, {31, 3, 173}}};
  static constexpr std::array<Sensor, 3> kFans = {
      {{1200, 180, 83}, {850, 60, 157}, {1500, 250, 229}}};
  static constexpr std::array<Sensor, 4> kVoltages = {
      {{3.30, 0.03, 47}, {5.02, 0.05, 71}, {12.05, 0.12, 59}, {1.21, 0.02, 37}}};
  const auto pick = [&](const auto& table) -> std::optional<double> {
    if (index >= std::size(table)) {
      return std::nullopt;
    }
    const Sensor& s = table[index];
    const double phase = static_cast<double>(index) * 1.7;
    return s.base + s.swing * std::sin(2 * std::numbers::pi * t / s.period + phase);
  };
  switch (kind) {
    case Kind::Temperature:
      return pick(kTemperatures);
    case Kind::Fan:
      return pick(kFans);
    case Kind::Voltage:
      return pick(kVoltages);
  }
  return std::nullopt;
}

// The words of one refresh, composed before any is written, by index of
// word; words left unset are not written (they stay 0). Composing first lets
// the first refresh be complete the moment the object appears.
using BlockImage = std::array<std::optional<std::int32_t>, kMonitorBlockSize / readings::kWordSize>;

// Encodes a reading of the machine's sensors, clamped to what the word holds.
std::int32_t EncodeClamped(Kind kind, double reading) {
  return readings::EncodeUnits(ClampedUnits(kind, reading));
}

// One refresh's words: the readings, then the fixed ones over them.
// `hardware` is null unless the readings come from the machine's sensors.
BlockImage Compose(const Options& options, SensorMap* hardware, double t) {
  BlockImage image{};
  const auto set = [&](Kind kind, std::size_t index, std::int32_t word) {
    image.at(SensorOffset(kind, index) / readings::kWordSize) = word;
  };
  if (hardware != nullptr) {
    const SensorReadings readings = hardware->Refresh(t);
    for (const Kind kind : {Kind::Temperature, Kind::Fan, Kind::Voltage}) {
      for (std::size_t i = 0; i < kSensorCount; ++i) {
        const auto& reading = readings[static_cast<std::size_t>(kind)][i];
        set(kind, i, reading ? EncodeClamped(kind, *reading) : 0);
      }
    }
  } else if (options.source == Source::Simulated) {
    for (const Kind kind : {Kind::Temperature, Kind::Fan, Kind::Voltage}) {
      for (std::size_t i = 0; i < kSensorCount; ++i) {
        const auto reading = SimulatedReading(kind, i, t);
        set(kind, i, reading ? *EncodeReading(kind, *reading) : 0);
      }
    }
  }
  for (const FixedWord& fixed : options.fixed) {
    image.at(fixed.offset / readings::kWordSize) = fixed.word;
  }
  return image;
}

// Writes the readings of `image` that lie inside the object (a short object
// for tests holds only part of the block); the words before them are the
// heartbeat's (monitor_block/heartbeat.h), which a fixed word there replaces.
void WriteReadings(Publisher& publisher, const BlockImage& image) {
  for (std::size_t offset = readings::kRegionsOffset;
       offset + readings::kWordSize <= publisher.size(); offset += readings::kWordSize) {
    if (const auto word = image.at(offset / readings::kWordSize)) {
      publisher.WriteWord(offset, *word);
    }
  }
}

// The sensors' reports and listing carry the chips' names and labels,
// which come from the hardware and sensors.conf: their control characters
// are escaped.
void ReportSensors(const std::string& message) {
  std::fprintf(stderr, "zelvane-monitor: %s\n", common::Printable(message).c_str());
}

// Opens the machine's sensors and maps them to indexes; nullptr, and
// `why_not`, when there are none.
std::unique_ptr<SensorMap> OpenHardware(const Options& options,
                                        std::unique_ptr<SensorSource>& source,
                                        const std::function<void()>& progress,
                                        std::string& why_not) {
  auto opened = OpenSensorSource(why_not);
  if (!opened) {
    return nullptr;
  }
  source = std::make_unique<ProgressReportingSource>(std::move(opened), progress);
  auto map = std::make_unique<SensorMap>(*source, options.pins, ReportSensors);
  if (map->empty()) {
    why_not = source->name() + " finds no temperature, fan or voltage sensors";
    return nullptr;
  }
  return map;
}

// Creates the object, saying what it put aside; nullptr (said too) when it
// cannot.
std::unique_ptr<Publisher> CreatePublisher(const Options& options) {
  CreateReport report;
  const Takeover takeover = options.replace ? Takeover::Anything : Takeover::Leftovers;
  // A block of another size is a test of the plugin's size check, which
  // needs an object of exactly that size.
  auto publisher = options.size == kMonitorBlockSize
                       ? Publisher::Create(kObjectName, options.size, &report, takeover)
                       : Publisher::CreateExact(kObjectName, options.size, &report, takeover);
  if (!report.replaced.empty()) {
    std::fprintf(stderr, "zelvane-monitor: %s\n", report.replaced.c_str());
  }
  if (!publisher) {
    std::fprintf(stderr, "zelvane-monitor: cannot publish %s: %s%s\n", kObjectName,
                 report.error.c_str(), report.replaceable ? " (--replace replaces it)" : "");
  }
  return publisher;
}

using Clock = std::chrono::steady_clock;

// Sleeps until `wake` or a stop request, looking at least once a second
// whether the name still stands for the object. False (and `lost`) once it
// does not.
bool SleepWatching(const Publisher& publisher, Clock::time_point wake, std::string& lost) {
  constexpr std::chrono::milliseconds kLook{1000};
  while (!common::StopRequested()) {
    if (!publisher.StillNamed(lost)) {
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
    if (left.count() <= 0) {
      return true;
    }
    common::SleepUnlessStopped(std::min(left, kLook));
  }
  return true;
}

// Refreshes the block every period from `start` until a stop request, the
// count or the run time is reached, or (with `lost`) the name no longer
// stands for the object. `image` is the first refresh.
void Refresh(const Options& options, Publisher& publisher, readings::Heartbeat& heartbeat,
             SensorMap* hardware, BlockImage image, Clock::time_point start, std::string& lost) {
  const auto period = std::chrono::milliseconds(options.interval_ms);
  const auto deadline = start + SecondsToMs(options.seconds);
  auto next = start;
  for (std::uint32_t sequence = 1; !common::StopRequested(); ++sequence) {
    if (sequence > 1) {
      const std::chrono::duration<double> elapsed = Clock::now() - start;
      image = Compose(options, hardware, elapsed.count());
    }
    WriteReadings(publisher, image);
    heartbeat.Beat(sequence);
    if (sequence == 1) {
      // Announced only once the block holds a full refresh, so a reader that
      // waits for this line never sees an empty block.
      std::printf("zelvane-monitor: publishing %s (%zu bytes)\n", kObjectName, publisher.size());
      std::fflush(stdout);
    }
    if (options.count > 0 && sequence >= static_cast<unsigned long>(options.count)) {
      // Keep the last refresh visible for one period before leaving.
      SleepWatching(publisher, Clock::now() + period, lost);
      return;
    }
    // After a stall (a suspended process) resume the rhythm from now rather
    // than refreshing in a burst to catch up.
    next = std::max(next + period, Clock::now());
    auto wake = next;
    if (options.seconds > 0 && deadline <= wake) {
      wake = deadline;
    }
    if (!SleepWatching(publisher, wake, lost) ||
        (options.seconds > 0 && Clock::now() >= deadline)) {
      return;
    }
  }
}

// What a run holds, declared in this order so that each outlives what
// refers to it.
struct Running {
  std::unique_ptr<Publisher> publisher;
  std::optional<readings::Heartbeat> heartbeat;
  std::unique_ptr<SensorSource> sensor_source;
  std::unique_ptr<SensorMap> hardware;
};

// Opens the machine's sensors into `running`; with --list prints their map.
// Returns the exit status when the run ends here: after the listing, or
// without sensors.
std::optional<int> OpenSensors(const Options& options, Running& running) {
  std::string why_not;
  const auto keep_alive = [&heartbeat = running.heartbeat] {
    if (heartbeat) {
      heartbeat->KeepAlive();
    }
  };
  running.hardware = OpenHardware(options, running.sensor_source, keep_alive, why_not);
  if (options.list) {
    if (!running.hardware) {
      std::fprintf(stderr, "zelvane-monitor: no hardware sensors (%s)\n", why_not.c_str());
      return 1;
    }
    for (const std::string& line : running.hardware->Listing()) {
      std::puts(common::Printable(line).c_str());
    }
    return 0;
  }
  if (!running.hardware) {
    // Made-up readings shown as a machine's own would mislead: simulated
    // ones only when asked for.
    std::fprintf(stderr,
                 "zelvane-monitor: no hardware sensors (%s); nothing to publish: --simulate "
                 "publishes simulated readings, --no-simulation only the fixed ones\n",
                 why_not.c_str());
    return 1;
  }
  return std::nullopt;
}

// Publishes the block and refreshes it until the run ends; then the object
// goes with the publisher. Returns the exit status.
int Publish(const Options& options, Running& running) {
  const auto start = Clock::now();
  BlockImage image = Compose(options, running.hardware.get(), 0);
  running.publisher = CreatePublisher(options);
  if (!running.publisher) {
    return 1;
  }
  Publisher& publisher = *running.publisher;
  readings::Heartbeat::Fixed fixed_header;
  std::copy_n(image.begin(), fixed_header.size(), fixed_header.begin());
  running.heartbeat.emplace(
      [&publisher](std::size_t offset, std::int32_t word) {
        if (offset + readings::kWordSize <= publisher.size()) {
          publisher.WriteWord(offset, word);
        }
      },
      monitor_block::MonotonicMilliseconds, static_cast<std::uint32_t>(options.interval_ms),
      fixed_header);
  std::string lost;
  Refresh(options, publisher, *running.heartbeat, running.hardware.get(), image, start, lost);
  if (lost.empty() && publisher.StillNamed(lost)) {
    std::printf("zelvane-monitor: removing %s\n", kObjectName);
    return 0;
  }
  // Readers no longer find this object: stopping lets a new start publish
  // one they find (the service restarts it).
  std::fprintf(stderr,
               "zelvane-monitor: %s; readers no longer find this monitor's readings: exiting\n",
               lost.c_str());
  return 1;
}

int Run(const Options& options) {
  common::InstallStopHandlers();
  common::SleepUnlessStopped(SecondsToMs(options.delay));
  if (common::StopRequested()) {
    return 0;
  }
  Running running;
  if (options.source == Source::Hardware || options.list) {
    if (const auto status = OpenSensors(options, running)) {
      return *status;
    }
  }
  if (options.replace && !kObjectOutlivesKilledPublisher) {
    std::fputs(
        "zelvane-monitor: --replace has nothing to do here: no object outlives its monitor but one "
        "that readers hold, and every monitor takes that over\n",
        stderr);
  }
  return Publish(options, running);
}

}  // namespace

int MonitorMain(int argc, char** argv, std::span<const ValueOption> extra,
                const char* extra_usage) {
  const auto options = ParseOptions(argc, argv, extra, extra_usage);
  if (!options) {
    PrintUsage(stderr, extra_usage);
    return 2;
  }
  return Run(*options);
}

}  // namespace zv::monitor
