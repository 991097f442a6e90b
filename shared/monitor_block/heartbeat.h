// The heartbeat our monitors keep in the block's first 16 bytes
// (monitor_block/layout.h): its writer, which the monitor drives, and the
// check by which readers tell a refreshing monitor from a stopped, paused or
// killed one. Platform-free: the words go out through a callback and the
// time comes from one (monitor_block/clock.h on both sides).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "monitor_block/layout.h"

namespace zv::readings {

// Magic, refresh period, stamp and counter, written at the end of every
// refresh, the counter last, so a changed counter means a complete refresh.
// While a refresh is under way the stamp alone is renewed (KeepAlive), so
// that it never grows much older than the period while the monitor works; a
// monitor that stops, hangs or is paused stops renewing it.
class Heartbeat {
 public:
  using WriteWord = std::function<void(std::size_t offset, std::int32_t word)>;
  // Milliseconds of the machine's monotonic clock.
  using Clock = std::function<std::uint64_t()>;
  // Words fixed in the heartbeat's place (--word), by index of word; each
  // is written instead of the heartbeat's own.
  using Fixed = std::array<std::optional<std::int32_t>, kRegionsOffset / kWordSize>;

  Heartbeat(WriteWord write, Clock clock, std::uint32_t period_ms, const Fixed& fixed = {})
      : write_(std::move(write)), clock_(std::move(clock)), period_ms_(period_ms), fixed_(fixed) {}

  // Ends a refresh: `counter` is its number, 1 for the first.
  void Beat(std::uint32_t counter) {
    Write(kHeartbeatMagicOffset, kHeartbeatMagic);
    Write(kHeartbeatPeriodOffset, static_cast<std::int32_t>(period_ms_));
    Stamp();
    Write(kHeartbeatCounterOffset, static_cast<std::int32_t>(counter));
    beating_ = true;
  }

  // Within a refresh: renews the stamp once half a period has passed since
  // the last one. Nothing before the first beat, whose words come whole.
  void KeepAlive() {
    if (beating_ && clock_() - last_stamp_ >= period_ms_ / 2) {
      Stamp();
    }
  }

 private:
  void Stamp() {
    last_stamp_ = clock_();
    // The low 32 bits: readers compare stamps modulo 2^32.
    Write(kHeartbeatStampOffset, static_cast<std::int32_t>(last_stamp_ & 0xFFFFFFFFU));
  }

  void Write(std::size_t offset, std::int32_t word) {
    write_(offset, fixed_.at(offset / kWordSize).value_or(word));
  }

  WriteWord write_;
  Clock clock_;
  std::uint64_t period_ms_;
  Fixed fixed_;
  std::uint64_t last_stamp_ = 0;
  bool beating_ = false;
};

// Whether a heartbeat has stopped: `counter`, `period_ms` and `stamp` are
// its words, `now` the low 32 bits of monitor_block::MonotonicMilliseconds.
// Stopped when the stamp lies more than kHeartbeatPeriods periods plus
// kHeartbeatSlackMs from now, in the past or (a stamp of no clock of this
// machine) the future; the period is taken within 0..kHeartbeatMaxPeriodMs.
// A counter of 0 (no refresh ended yet) has not stopped.
constexpr bool HeartbeatStopped(std::int32_t counter, std::int32_t period_ms, std::int32_t stamp,
                                std::uint32_t now) {
  if (counter == 0) {
    return false;
  }
  const std::int64_t period = std::clamp<std::int64_t>(period_ms, 0, kHeartbeatMaxPeriodMs);
  const std::int64_t limit = kHeartbeatPeriods * period + kHeartbeatSlackMs;
  // The stamp's age modulo 2^32, from about 24 days back to 24 days ahead:
  // the stamps wrap every 49.7 days.
  const auto age = static_cast<std::int32_t>(now - static_cast<std::uint32_t>(stamp));
  return age > limit || age < -limit;
}

}  // namespace zv::readings
