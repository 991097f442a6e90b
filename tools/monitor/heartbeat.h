// The heartbeat our monitors keep in the block's first 16 bytes
// (readings/monitor_block.h), and the sensor source that keeps it alive
// through a refresh whose sensors answer slowly. Platform-free: the words go
// out through a callback and the time comes from one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "monitor/hardware_sensors.h"
#include "readings/monitor_block.h"

namespace zv::monitor {

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
  using Fixed =
      std::array<std::optional<std::int32_t>, readings::kRegionsOffset / readings::kWordSize>;

  Heartbeat(WriteWord write, Clock clock, std::uint32_t period_ms, const Fixed& fixed = {})
      : write_(std::move(write)), clock_(std::move(clock)), period_ms_(period_ms), fixed_(fixed) {}

  // Ends a refresh: `counter` is its number, 1 for the first.
  void Beat(std::uint32_t counter) {
    Write(readings::kHeartbeatMagicOffset, readings::kHeartbeatMagic);
    Write(readings::kHeartbeatPeriodOffset, static_cast<std::int32_t>(period_ms_));
    Stamp();
    Write(readings::kHeartbeatCounterOffset, static_cast<std::int32_t>(counter));
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
    Write(readings::kHeartbeatStampOffset, static_cast<std::int32_t>(last_stamp_ & 0xFFFFFFFFU));
  }

  void Write(std::size_t offset, std::int32_t word) {
    write_(offset, fixed_.at(offset / readings::kWordSize).value_or(word));
  }

  WriteWord write_;
  Clock clock_;
  std::uint64_t period_ms_;
  Fixed fixed_;
  std::uint64_t last_stamp_ = 0;
  bool beating_ = false;
};

// A sensor source passed through, with a call to `progress` after each scan
// and each read: a refresh whose sensors answer slowly keeps the heartbeat
// alive.
class ProgressReportingSource final : public SensorSource {
 public:
  ProgressReportingSource(std::unique_ptr<SensorSource> source, std::function<void()> progress)
      : source_(std::move(source)), progress_(std::move(progress)) {}

  std::vector<FoundSensor> Scan() override {
    auto found = source_->Scan();
    progress_();
    return found;
  }
  std::optional<double> Read(std::size_t handle, std::string& error) override {
    auto reading = source_->Read(handle, error);
    progress_();
    return reading;
  }
  [[nodiscard]] std::string name() const override { return source_->name(); }

 private:
  std::unique_ptr<SensorSource> source_;
  std::function<void()> progress_;
};

}  // namespace zv::monitor
