// The connection to the monitor's shared memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor_block/clock.h"
#include "monitor_block/heartbeat.h"
#include "monitor_block/layout.h"
#include "platform/shared_memory.h"
#include "state/module_state.h"

namespace zv::readings {

// The block's name and layout: monitor_block/layout.h.

// The connection's state is in the module's record (MappingHandle,
// MonitorView, MonitorMapped, NextMonitorCheckMs). It lasts while the
// monitor is there. The monitor is gone when the system says so (POSIX: its
// object was removed or replaced; Windows: no handle but the check's own is
// open to the section under the name),
// and, for a block that carries our heartbeat's magic, also when no monitor
// holds the object's lock (POSIX) or the heartbeat's stamp has grown too old
// (HeartbeatStopped). A connection to a gone monitor is released, and the
// name looked at again at once, so that a restarted monitor's new object is
// taken on the same call.

// How often a held connection is checked in full on display requests. A
// host asking every 100-200 ms then sees a monitor's end within this plus
// one of its intervals (450 ms at most), well inside a second, while the
// check's system calls (a few microseconds) are spread over hundreds of
// requests; between checks a request pays only a read of the coarse clock.
inline constexpr std::uint64_t kMonitorCheckIntervalMs = 250;

// When MapMonitorMemory checks a held connection.
enum class CheckPace {
  kWhenDue,  // on display requests: once kMonitorCheckIntervalMs have passed
  kNow,      // Init and Config: on this call
};

// MapMonitorMemory's work once a check is due, or asked for (kNow): checks
// a held connection in full, connects when there is none. `now` is
// monitor_block::MonotonicMilliseconds.
bool CheckMonitorMemory(std::uint64_t now);

// Makes sure a view of a monitor that is there exists and returns whether it
// does, making at most one attempt to connect. Without a connection the
// name is looked at on every call (an object not yet of full size
// included), except for an interval after a gone monitor's leftovers were
// found under it. A Windows section that opened but could not be mapped is
// not mapped again while its monitor is there. Between checks it costs a
// read of the clock, here inline: every reading pays it.
inline bool MapMonitorMemory(CheckPace pace = CheckPace::kWhenDue) {
  const std::uint64_t now = monitor_block::MonotonicMilliseconds();
  const ModuleState& state = State();
  if (pace == CheckPace::kWhenDue && now < state.NextMonitorCheckMs) {
    return state.MonitorMapped;
  }
  return CheckMonitorMemory(now);
}

// Reads the live word at `offset` of the view, which must exist. Returns
// false, leaving `word` alone, when the object no longer holds it (another
// process shrank it).
bool ReadMonitorWord(std::size_t offset, std::int32_t& word);

// Closes the view and the handle and returns the connection to its initial
// state: for a monitor found gone, and for the module's unloading (see
// plugin/module_reset.h).
void ReleaseMonitorMemory();

}  // namespace zv::readings
