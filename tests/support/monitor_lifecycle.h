// What a monitor of ours shows besides its readings, and what a gone one
// leaves, for the tests of the connection's lifecycle.
#pragma once

#include <cstdint>

#include "monitor_block/clock.h"
#include "monitor_block/layout.h"
#include "zelvane-monitor/publisher.h"

namespace zv::test {

// Writes our monitors' heartbeat into `block`: the magic, `counter`, the
// period and a stamp `age_ms` before now (negative: ahead of now).
inline void WriteHeartbeat(monitor::Publisher& block, std::int32_t period_ms, std::int64_t age_ms,
                           std::int32_t counter = 1) {
  const auto now = static_cast<std::int64_t>(monitor_block::MonotonicMilliseconds());
  block.WriteWord(readings::kHeartbeatMagicOffset, readings::kHeartbeatMagic);
  block.WriteWord(readings::kHeartbeatPeriodOffset, period_ms);
  block.WriteWord(readings::kHeartbeatStampOffset, static_cast<std::int32_t>(now - age_ms));
  block.WriteWord(readings::kHeartbeatCounterOffset, counter);
}

// The lock a running monitor of ours holds on its object, on the object
// under the block's name, while this lives (POSIX; where the publisher holds
// it already, and on Windows, where a monitor shows by its handle, nothing).
class MonitorLock {
 public:
  MonitorLock();
  MonitorLock(const MonitorLock&) = delete;
  MonitorLock& operator=(const MonitorLock&) = delete;
  MonitorLock(MonitorLock&&) = delete;
  MonitorLock& operator=(MonitorLock&&) = delete;
  ~MonitorLock();  // NOLINT(performance-trivially-destructible): POSIX closes its descriptor

 private:
  int fd_ = -1;
};

// What a monitor of ours that ended leaves under the block's name, for as
// long as this lives: POSIX, a killed monitor's object (a full block with a
// fresh heartbeat, and no lock); Windows, a section its monitor closed that
// another reader of this plugin still maps (also with a fresh heartbeat),
// which leaves nothing under the name.
class Leftovers {
 public:
  Leftovers();
  Leftovers(const Leftovers&) = delete;
  Leftovers& operator=(const Leftovers&) = delete;
  Leftovers(Leftovers&&) = delete;
  Leftovers& operator=(Leftovers&&) = delete;
  ~Leftovers();

  // Whether they were made.
  [[nodiscard]] bool made() const { return made_; }

 private:
  bool made_ = false;
  std::uint64_t identity_[2] = {0, 0};  // the object's (POSIX) or the view's address (Windows)
};

}  // namespace zv::test
