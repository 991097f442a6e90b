// The monitor's shared-memory block as both sides see it: its name, its
// layout, the encoding of its words, and the three reading kinds with their
// macro codes. The plugin reads the block; zelvane-monitor and the tests
// write it. No OS header: every side includes this one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "zelvane_info.h"

namespace zv::readings {

// Name of the shared-memory object (8-bit text, no namespace prefix; on
// POSIX the object is "/" followed by it).
inline constexpr const char* kMonitorMemoryName = "ZVSharedMemory_KTX";

// The block: 32-bit signed little-endian words, 4-byte aligned. The plugin
// maps exactly kMonitorBlockSize bytes; the first kRegionsOffset bytes are
// the monitor's own: our monitors keep their heartbeat there (below). The
// plugin reads the first word of every block, and the other three only
// where it holds the heartbeat's magic.
inline constexpr std::size_t kMonitorBlockSize = 400;
inline constexpr std::size_t kWordSize = 4;
inline constexpr std::size_t kSensorCount = 32;
inline constexpr std::size_t kRegionsOffset = 16;

// The heartbeat: how our own monitors fill the block's first 16 bytes, so
// that a reader can tell a refreshing monitor from a stopped, paused or
// killed one whatever its refresh period. Four words:
//   kHeartbeatMagicOffset    kHeartbeatMagic, "ZVHB"; a block without it
//                            (another monitor's) carries no heartbeat
//   kHeartbeatCounterOffset  refreshes so far, wrapping; written last in each
//                            refresh, so a changed counter means a whole one
//   kHeartbeatPeriodOffset   the monitor's refresh period in milliseconds
//   kHeartbeatStampOffset    when the last refresh ended, in milliseconds of
//                            the machine's monotonic clock (Linux
//                            CLOCK_MONOTONIC, Windows GetTickCount64), low 32
//                            bits: every process of the machine reads the
//                            same clock, and no wall clock is involved
// A reader that finds the magic takes the monitor as gone once the stamp is
// older than kHeartbeatPeriods periods plus kHeartbeatSlackMs.
inline constexpr std::size_t kHeartbeatMagicOffset = 0;
inline constexpr std::size_t kHeartbeatCounterOffset = 4;
inline constexpr std::size_t kHeartbeatPeriodOffset = 8;
inline constexpr std::size_t kHeartbeatStampOffset = 12;
inline constexpr std::int32_t kHeartbeatMagic = 0x4248565A;  // "ZVHB", little-endian
inline constexpr std::int32_t kHeartbeatPeriods = 3;
inline constexpr std::int32_t kHeartbeatSlackMs = 500;
// The longest refresh period a heartbeat is taken at; longer ones, and
// nonsense such as 0x7FFFFFFF, count as this, so our monitors refresh at
// least this often. A display fed less often than once a minute shows no
// live data.
inline constexpr std::int32_t kHeartbeatMaxPeriodMs = 60000;
static_assert(kHeartbeatStampOffset + kWordSize == kRegionsOffset,
              "the heartbeat fills the bytes before the readings");

// A word holds a reading in units of its kind, multiplied by kWordScale.
inline constexpr std::int32_t kWordScale = 65536;

// How a kind's words carry the reading.
enum class Scaling {
  // Hundredths of a unit times kWordScale; shown as whole units, halves
  // rounded away from zero, never "-0".
  Hundredths,
  // Whole units times kWordScale; shown truncated toward zero.
  Whole,
};

enum class ReadingKind { Fan, Temperature, Voltage };

// One region of the block: the kind it holds, the macro code that asks for
// it, where its kSensorCount words begin and how they are scaled.
struct ReadingRegion {
  ReadingKind kind;
  std::int16_t macro;
  std::size_t offset;
  Scaling scaling;
};

// The three regions, in the block's order.
inline constexpr std::array<ReadingRegion, 3> kReadingRegions = {{
    {ReadingKind::Temperature, ZV_MACRO_TEMP, 16, Scaling::Hundredths},
    {ReadingKind::Fan, ZV_MACRO_FAN, 144, Scaling::Whole},
    {ReadingKind::Voltage, ZV_MACRO_VOLT, 272, Scaling::Hundredths},
}};

// The region of `kind`.
constexpr const ReadingRegion& RegionOf(ReadingKind kind) {
  for (const ReadingRegion& region : kReadingRegions) {
    if (region.kind == kind) return region;
  }
  return kReadingRegions[0];  // not reached: every kind has a region
}

// The region a macro code asks for, or null for the codes that read no word.
constexpr const ReadingRegion* RegionOfMacro(std::int32_t macro) {
  for (const ReadingRegion& region : kReadingRegions) {
    if (region.macro == macro) return &region;
  }
  return nullptr;
}

// Where each kind's region begins, as named in code that writes the block.
inline constexpr std::size_t kTemperatureOffset = RegionOf(ReadingKind::Temperature).offset;
inline constexpr std::size_t kFanOffset = RegionOf(ReadingKind::Fan).offset;
inline constexpr std::size_t kVoltageOffset = RegionOf(ReadingKind::Voltage).offset;

// Byte offset of sensor `index` (0..kSensorCount-1) of `kind`.
constexpr std::size_t SensorOffset(ReadingKind kind, std::size_t index) {
  return RegionOf(kind).offset + kWordSize * index;
}

// The word of a reading given in the units its scaling counts (hundredths,
// or whole units). Values beyond the word's range wrap, as the monitor's own
// words would.
constexpr std::int32_t EncodeUnits(std::int32_t units) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(units) * kWordScale);
}
// A temperature or voltage in hundredths.
constexpr std::int32_t EncodeHundredths(std::int32_t hundredths) { return EncodeUnits(hundredths); }
// A fan speed in RPM.
constexpr std::int32_t EncodeRpm(std::int32_t rpm) { return EncodeUnits(rpm); }

static_assert(kRegionsOffset == kTemperatureOffset &&
                  kTemperatureOffset + kWordSize * kSensorCount == kFanOffset &&
                  kFanOffset + kWordSize * kSensorCount == kVoltageOffset &&
                  kVoltageOffset + kWordSize * kSensorCount == kMonitorBlockSize,
              "the regions follow each other without gaps up to the block's end");

}  // namespace zv::readings
