#include "zelvane-monitor/hardware_sensors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace zv::monitor {
namespace {

constexpr std::array<SensorKind, kKindCount> kKinds = {SensorKind::Temperature, SensorKind::Fan,
                                                       SensorKind::Voltage};

std::size_t KindSlot(SensorKind kind) { return static_cast<std::size_t>(kind); }

// The number at the end of a feature name: 10 for "temp10", -1 for none.
int FeatureNumber(std::string_view feature) {
  std::size_t digits = feature.size();
  while (digits > 0 && feature[digits - 1] >= '0' && feature[digits - 1] <= '9') {
    --digits;
  }
  int number = -1;
  std::from_chars(feature.data() + digits, feature.data() + feature.size(), number);
  return number;
}

std::string SlotName(SensorKind kind, std::size_t index) {
  return std::string(KindName(kind)) + "[" + std::to_string(index) + "]";
}

std::string Describe(const std::string& chip, const std::string& feature,
                     const std::string& label) {
  return chip + "/" + feature + (label != feature ? " (" + label + ")" : "");
}

std::string Shown(SensorKind kind, double reading) {
  const std::int32_t units = ClampedUnits(kind, reading);
  std::array<char, 32> text{};
  if (kind == SensorKind::Fan) {
    std::snprintf(text.data(), text.size(), "%d RPM", units);
  } else {
    std::snprintf(text.data(), text.size(), "%.2f %s", units / 100.0,
                  kind == SensorKind::Temperature ? "C" : "V");
  }
  return text.data();
}

}  // namespace

const char* KindName(SensorKind kind) {
  switch (kind) {
    case SensorKind::Temperature:
      return "temp";
    case SensorKind::Fan:
      return "fan";
    case SensorKind::Voltage:
      return "volt";
  }
  return "?";
}

bool MatchesChipPattern(std::string_view pattern, std::string_view name) {
  // Classic greedy wildcard match with one backtracking point.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

std::optional<SensorPin> ParseSensorPin(std::string_view text) {
  const auto colon = text.find(':');
  const auto equals = text.find('=');
  if (colon == std::string_view::npos || equals == std::string_view::npos || equals < colon) {
    return std::nullopt;
  }
  const std::string_view kind = text.substr(0, colon);
  const std::string_view index = text.substr(colon + 1, equals - colon - 1);
  const std::string_view target = text.substr(equals + 1);
  const auto slash = target.find('/');
  SensorPin pin{};
  if (kind == "temp") {
    pin.kind = SensorKind::Temperature;
  } else if (kind == "fan") {
    pin.kind = SensorKind::Fan;
  } else if (kind == "volt") {
    pin.kind = SensorKind::Voltage;
  } else {
    return std::nullopt;
  }
  const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), pin.index);
  if (index.empty() || error != std::errc() || end != index.data() + index.size() ||
      pin.index >= kIndexCount || slash == std::string_view::npos || slash == 0 ||
      slash + 1 == target.size()) {
    return std::nullopt;
  }
  pin.chip_pattern = target.substr(0, slash);
  pin.feature = target.substr(slash + 1);
  return pin;
}

std::int32_t ClampedUnits(SensorKind kind, double reading) {
  if (std::isnan(reading)) {
    return 0;
  }
  constexpr double kLimit = 32767;
  const double units = kind == SensorKind::Fan ? std::trunc(reading) : std::round(reading * 100);
  return static_cast<std::int32_t>(std::clamp(units, -kLimit, kLimit));
}

struct SensorMap::Named {
  const FoundSensor* sensor;
  std::string chip;  // chip name, "#2", "#3" added for further chips of the same name
  std::string identity;
};

// Sorts a scan into the published order and names its sensors.
std::vector<SensorMap::Named> SensorMap::Order(const std::vector<FoundSensor>& found) {
  std::vector<const FoundSensor*> sorted;
  sorted.reserve(found.size());
  for (const FoundSensor& sensor : found) {
    sorted.push_back(&sensor);
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const FoundSensor* a, const FoundSensor* b) {
    return std::forward_as_tuple(a->chip, a->chip_instance, FeatureNumber(a->feature), a->feature) <
           std::forward_as_tuple(b->chip, b->chip_instance, FeatureNumber(b->feature), b->feature);
  });
  std::vector<Named> named;
  const FoundSensor* previous = nullptr;
  int duplicate = 1;
  for (const FoundSensor* sensor : sorted) {
    if (previous != nullptr && previous->chip == sensor->chip &&
        previous->chip_instance != sensor->chip_instance) {
      ++duplicate;
    } else if (previous == nullptr || previous->chip != sensor->chip) {
      duplicate = 1;
    }
    previous = sensor;
    std::string chip = sensor->chip;
    if (duplicate > 1) {
      chip += "#" + std::to_string(duplicate);
    }
    named.push_back({sensor, chip, chip + "/" + sensor->feature});
  }
  return named;
}

SensorMap::SensorMap(SensorSource& source, std::vector<SensorPin> pins, Report report)
    : source_(source), report_(std::move(report)) {
  for (SensorPin& pin : pins) {
    slots_[KindSlot(pin.kind)][pin.index].pin = std::move(pin);
  }
  Rescan();
  for (const SensorKind kind : kKinds) {
    for (std::size_t i = 0; i < kIndexCount; ++i) {
      const Slot& slot = slots_[KindSlot(kind)][i];
      found_any_ = found_any_ || !slot.identity.empty();
      if (slot.pin && slot.identity.empty()) {
        report_("--map " + SlotName(kind, i) + ": no sensor " + slot.pin->chip_pattern + "/" +
                slot.pin->feature + " yet; the index shows 0 until one appears");
      }
    }
  }
  found_any_ = found_any_ || !left_out_.empty();
}

void SensorMap::Bind(Slot& slot, const FoundSensor& sensor) {
  slot.handle = sensor.handle;
  slot.label = sensor.label;
}

void SensorMap::Rescan() {
  const std::vector<FoundSensor> found = source_.Scan();
  const std::vector<Named> named = Order(found);
  const bool first = scans_++ == 0;
  NoteChips(named);
  // Sensors already placed keep their indexes; pins take their first match;
  // the others fill the free indexes in order.
  KeepPlaced(named);
  for (const SensorKind kind : kKinds) {
    for (std::size_t i = 0; i < kIndexCount; ++i) {
      PinFirstMatch(kind, i, named, first);
    }
  }
  for (const Named& sensor : named) {
    Place(sensor, first);
  }
  scan_needed_ = false;
}

// Reports the chips that went away or came back.
void SensorMap::NoteChips(const std::vector<Named>& named) {
  std::vector<std::string> chips;
  for (const Named& sensor : named) {
    if (std::find(chips.begin(), chips.end(), sensor.chip) == chips.end()) {
      chips.push_back(sensor.chip);
    }
  }
  for (const std::string& chip : present_chips_) {
    if (std::find(chips.begin(), chips.end(), chip) == chips.end()) {
      report_("chip " + chip + " is gone; its sensors show 0 until it returns");
      gone_chips_.push_back(chip);
    }
  }
  for (const std::string& chip : chips) {
    const auto gone = std::find(gone_chips_.begin(), gone_chips_.end(), chip);
    if (gone != gone_chips_.end()) {
      report_("chip " + chip + " is back");
      gone_chips_.erase(gone);
    }
  }
  present_chips_ = chips;
}

// Binds each placed sensor that the scan found again to its new handle; the
// others have none until they return.
void SensorMap::KeepPlaced(const std::vector<Named>& named) {
  for (auto& kind_slots : slots_) {
    for (Slot& slot : kind_slots) {
      slot.handle.reset();
      if (slot.identity.empty()) {
        continue;
      }
      const auto sensor = std::find_if(named.begin(), named.end(), [&](const Named& candidate) {
        return candidate.identity == slot.identity;
      });
      if (sensor != named.end()) {
        Bind(slot, *sensor->sensor);
      }
    }
  }
}

// Gives the pin of a free index its first match among the sensors not yet
// placed.
void SensorMap::PinFirstMatch(SensorKind kind, std::size_t index, const std::vector<Named>& named,
                              bool first) {
  Slot& slot = slots_[KindSlot(kind)][index];
  if (!slot.identity.empty() || !slot.pin) {
    return;
  }
  for (const Named& sensor : named) {
    if (sensor.sensor->kind == kind && MatchesChipPattern(slot.pin->chip_pattern, sensor.chip) &&
        (sensor.sensor->feature == slot.pin->feature ||
         sensor.sensor->label == slot.pin->feature) &&
        !Placed(sensor.identity)) {
      slot.identity = sensor.identity;
      slot.chip = sensor.chip;
      slot.feature = sensor.sensor->feature;
      Bind(slot, *sensor.sensor);
      if (!first) {
        report_("new sensor " + Describe(slot.chip, slot.feature, slot.label) + " at " +
                SlotName(kind, index));
      }
      return;
    }
  }
}

// Gives a sensor not yet placed the first free index of its kind, or leaves
// it out: a kind the block has no room for, or no free index.
void SensorMap::Place(const Named& sensor, bool first) {
  if (Placed(sensor.identity)) {
    return;
  }
  const FoundSensor& found_sensor = *sensor.sensor;
  if (!found_sensor.kind) {
    left_out_.push_back({sensor.identity,
                         Describe(sensor.chip, found_sensor.feature, found_sensor.label),
                         "a " + found_sensor.what +
                             " sensor: the block holds temperatures, fans "
                             "and voltages only"});
    return;
  }
  auto& kind_slots = slots_[KindSlot(*found_sensor.kind)];
  const auto free = std::find_if(kind_slots.begin(), kind_slots.end(), [](const Slot& slot) {
    return !slot.pin && slot.identity.empty();
  });
  const std::string described = Describe(sensor.chip, found_sensor.feature, found_sensor.label);
  if (free == kind_slots.end()) {
    left_out_.push_back(
        {sensor.identity, described,
         "all 32 " + std::string(KindName(*found_sensor.kind)) + " indexes are taken"});
    if (!first) {
      report_("new sensor " + described + " left out: all 32 indexes are taken");
    }
    return;
  }
  free->identity = sensor.identity;
  free->chip = sensor.chip;
  free->feature = found_sensor.feature;
  Bind(*free, found_sensor);
  if (!first) {
    report_("new sensor " + described + " at " +
            SlotName(*found_sensor.kind, static_cast<std::size_t>(free - kind_slots.begin())));
  }
}

bool SensorMap::Placed(const std::string& identity) const {
  for (const auto& kind_slots : slots_) {
    for (const Slot& slot : kind_slots) {
      if (slot.identity == identity) {
        return true;
      }
    }
  }
  return std::any_of(left_out_.begin(), left_out_.end(),
                     [&](const LeftOut& out) { return out.identity == identity; });
}

SensorReadings SensorMap::Refresh(double now_seconds) {
  if (scan_needed_ || now_seconds - last_scan_ >= kRescanSeconds) {
    Rescan();
    last_scan_ = now_seconds;
  }
  SensorReadings readings{};
  std::vector<std::pair<SensorKind, std::size_t>> fresh_failures;
  for (const SensorKind kind : kKinds) {
    for (std::size_t i = 0; i < kIndexCount; ++i) {
      Slot& slot = slots_[KindSlot(kind)][i];
      if (slot.identity.empty()) {
        continue;
      }
      auto& reading = readings[KindSlot(kind)][i];
      reading = 0.0;
      if (!slot.handle) {
        // Its chip is gone (reported as such) or not there yet.
        scan_needed_ = true;
        continue;
      }
      std::string error;
      if (const auto value = source_.Read(*slot.handle, error)) {
        if (slot.failing) {
          report_(SlotName(kind, i) + " " + Describe(slot.chip, slot.feature, slot.label) +
                  " reads again");
          slot.failing = false;
        }
        reading = *value;
      } else if (!slot.failing) {
        fresh_failures.emplace_back(kind, i);
      } else {
        scan_needed_ = true;
      }
    }
  }
  if (fresh_failures.empty()) {
    return readings;
  }
  // A sensor that fails for the first time may belong to a chip that has
  // just gone: scan again before saying so, so that a chip that goes is
  // reported once, as a chip, and a sensor that fails on its own once, as a
  // sensor.
  Rescan();
  last_scan_ = now_seconds;
  for (const auto& [kind, i] : fresh_failures) {
    Slot& slot = slots_[KindSlot(kind)][i];
    std::string error;
    const auto value = slot.handle ? source_.Read(*slot.handle, error) : std::nullopt;
    if (value) {
      readings[KindSlot(kind)][i] = *value;
    } else if (slot.handle) {
      report_(SlotName(kind, i) + " " + Describe(slot.chip, slot.feature, slot.label) +
              ": cannot read (" + error + "); it shows 0");
      slot.failing = true;
    }
    scan_needed_ = scan_needed_ || !value;
  }
  return readings;
}

std::vector<std::string> SensorMap::Listing() {
  const SensorReadings readings = Refresh(last_scan_);
  std::vector<std::string> lines;
  std::array<char, 512> line{};
  std::snprintf(line.data(), line.size(), "%-9s %-24s %-8s %-18s %s", "index", "chip", "feature",
                "label", "reading");
  lines.emplace_back(line.data());
  for (const SensorKind kind : kKinds) {
    for (std::size_t i = 0; i < kIndexCount; ++i) {
      const Slot& slot = slots_[KindSlot(kind)][i];
      if (slot.identity.empty() && !slot.pin) {
        continue;
      }
      std::string shown;
      if (slot.identity.empty()) {
        shown = "0 (no sensor " + slot.pin->chip_pattern + "/" + slot.pin->feature + " yet)";
      } else if (!slot.handle) {
        shown = "0 (chip gone)";
      } else if (slot.failing) {
        shown = "0 (cannot read)";
      } else {
        shown = Shown(kind, readings[KindSlot(kind)][i].value_or(0));
      }
      if (slot.pin) {
        shown += "  [--map]";
      }
      std::snprintf(line.data(), line.size(), "%-9s %-24s %-8s %-18s %s", SlotName(kind, i).c_str(),
                    slot.identity.empty() ? "-" : slot.chip.c_str(),
                    slot.identity.empty() ? "-" : slot.feature.c_str(),
                    slot.identity.empty() ? "-" : ("\"" + slot.label + "\"").c_str(),
                    shown.c_str());
      lines.emplace_back(line.data());
    }
  }
  for (const LeftOut& out : left_out_) {
    lines.push_back("left out: " + out.shown + ": " + out.reason);
  }
  return lines;
}

}  // namespace zv::monitor
