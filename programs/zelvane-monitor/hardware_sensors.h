// The machine's own sensors as zelvane-monitor publishes them: which
// sensor goes to which index of the block, what a reading is encoded as, and
// what happens when a sensor fails or its chip goes away.
//
// The logic here is the same on every platform; the sensors themselves come
// from a SensorSource, which monitor/<os>/sensor_source.cpp opens (libsensors
// on Linux).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::monitor {

enum class SensorKind { Temperature, Fan, Voltage };
inline constexpr std::size_t kKindCount = 3;
inline constexpr std::size_t kIndexCount = 32;

// "temp", "fan" or "volt", as --map and --list spell the kinds.
const char* KindName(SensorKind kind);

// One sensor a scan found.
struct FoundSensor {
  std::string chip;     // chip name as `sensors` prints it, e.g. "coretemp-isa-0000"
  int chip_instance;    // tells chips of the same name apart (the hwmon number)
  std::string feature;  // "temp1", "fan2", "in0"
  std::string label;    // the label after sensors.conf, e.g. "Package id 0"
  // The kind, or nullopt for the other kinds (power, current, ...), which the
  // block has no room for; `what` then names that kind.
  std::optional<SensorKind> kind;
  std::string what;
  std::size_t handle;  // for SensorSource::Read, valid until the next Scan
};

// Where the readings come from.
class SensorSource {
 public:
  SensorSource() = default;
  SensorSource(const SensorSource&) = delete;
  SensorSource& operator=(const SensorSource&) = delete;
  SensorSource(SensorSource&&) = delete;
  SensorSource& operator=(SensorSource&&) = delete;
  virtual ~SensorSource() = default;

  // Looks for the sensors present now, in any order. Invalidates the handles
  // of the previous scan.
  virtual std::vector<FoundSensor> Scan() = 0;
  // Reads one sensor in degrees Celsius, RPM or volts, with the corrections
  // of the system's sensor configuration; nullopt (and `error`) on failure.
  virtual std::optional<double> Read(std::size_t handle, std::string& error) = 0;
  // Names the source for messages ("libsensors").
  [[nodiscard]] virtual std::string name() const = 0;
};

// Opens the machine's sensors. Returns nullptr and sets `why_not` when the
// platform or the machine has no way to read them.
std::unique_ptr<SensorSource> OpenSensorSource(std::string& why_not);

// A sensor pinned to an index by --map KIND:I=CHIP/FEATURE. CHIP may hold
// '*' wildcards; FEATURE is a feature name ("temp1") or a label.
struct SensorPin {
  SensorKind kind;
  std::size_t index;
  std::string chip_pattern;
  std::string feature;
};

// Parses "temp:0=coretemp-*/temp1"; nullopt when malformed.
std::optional<SensorPin> ParseSensorPin(std::string_view text);

// Whether `name` matches `pattern`, in which '*' stands for any run of
// characters.
bool MatchesChipPattern(std::string_view pattern, std::string_view name);

// The block's whole units of a reading, clamped to what its word holds:
// hundredths of a degree or volt (rounded), or whole RPM (truncated), within
// +-32767. NaN gives 0.
std::int32_t ClampedUnits(SensorKind kind, double reading);

// The readings of one refresh: per kind, per index, the reading or nullopt
// for an index no sensor has (the block shows 0 there).
using SensorReadings = std::array<std::array<std::optional<double>, kIndexCount>, kKindCount>;

// The map from sensors to indexes, kept up to date while the monitor runs.
//
// Order: the sensors of each kind are sorted by chip name, then by chip
// instance, then by the number in the feature name (temp2 before temp10).
// Pinned indexes are taken first; the other sensors fill the free indexes
// in that order; those that find no free index are left out.
class SensorMap {
 public:
  using Report = std::function<void(const std::string&)>;

  // Scans `source` once and assigns the indexes. `report` receives the
  // messages about sensors that fail, go and come back (one per change).
  SensorMap(SensorSource& source, std::vector<SensorPin> pins, Report report);

  // Whether the first scan found any temperature, fan or voltage.
  [[nodiscard]] bool empty() const { return found_any_ == false; }

  // Reads every mapped sensor. A sensor that fails reads 0 and is reported
  // once, until it reads again. While a mapped sensor is missing or failing
  // the source is scanned again before each refresh, otherwise every
  // `kRescanSeconds`, so that a chip that returns (or a pinned one that
  // appears) is picked up; new sensors take free indexes.
  SensorReadings Refresh(double now_seconds);

  // The lines of `zelvane-monitor --list`: the map with current readings, then
  // the sensors left out and why.
  std::vector<std::string> Listing();

  static constexpr double kRescanSeconds = 10;

 private:
  struct Slot {
    std::optional<SensorPin> pin;
    std::string identity;  // the bound sensor's chip/feature; empty if none yet
    std::optional<std::size_t> handle;
    std::string chip, feature, label;
    bool failing = false;
  };
  struct LeftOut {
    std::string identity;
    std::string shown;
    std::string reason;
  };

  // A scanned sensor with the name it is known by across scans.
  struct Named;

  // Scans again: reports the chips that went or came back, binds the placed
  // sensors to their new handles, gives the pins their first match and the
  // other new sensors free indexes.
  void Rescan();
  static std::vector<Named> Order(const std::vector<FoundSensor>& found);
  void NoteChips(const std::vector<Named>& named);
  void KeepPlaced(const std::vector<Named>& named);
  void PinFirstMatch(SensorKind kind, std::size_t index, const std::vector<Named>& named,
                     bool first);
  void Place(const Named& sensor, bool first);
  // Whether a sensor has an index, or was left out.
  [[nodiscard]] bool Placed(const std::string& identity) const;
  static void Bind(Slot& slot, const FoundSensor& sensor);

  SensorSource& source_;
  Report report_;
  std::array<std::array<Slot, kIndexCount>, kKindCount> slots_{};
  std::vector<LeftOut> left_out_;
  std::vector<std::string> present_chips_;
  std::vector<std::string> gone_chips_;
  int scans_ = 0;
  bool found_any_ = false;
  bool scan_needed_ = false;
  double last_scan_ = 0;
};

}  // namespace zv::monitor
