#include "readings/monitor_memory.h"

#include <algorithm>
#include <bit>

namespace zv::readings {
namespace {

using platform::PublisherSign;

// What a block of our own monitors tells, besides the system's sign: a block
// without the magic (another monitor's) tells nothing. The counter is read
// before the period and the stamp, which a monitor writes before it.
bool OwnMonitorGone(const ModuleState& state, std::uint32_t now) {
  std::int32_t magic = 0;
  if (state.MonitorView == nullptr || !ReadMonitorWord(kHeartbeatMagicOffset, magic) ||
      magic != kHeartbeatMagic) {
    return false;
  }
  if (platform::CheckPublisherLock(state.MappingHandle) == PublisherSign::kGone) {
    return true;
  }
  std::int32_t counter = 0;
  std::int32_t period = 0;
  std::int32_t stamp = 0;
  return ReadMonitorWord(kHeartbeatCounterOffset, counter) &&
         ReadMonitorWord(kHeartbeatPeriodOffset, period) &&
         ReadMonitorWord(kHeartbeatStampOffset, stamp) &&
         HeartbeatStopped(counter, period, stamp, now);
}

// Whether the monitor behind the connection held is gone. A sign that
// cannot be read (PublisherSign::kUnknown) counts as no sign of leaving.
bool MonitorGone(const ModuleState& state, std::uint64_t now) {
  return platform::CheckPublisher(state.MappingHandle, kMonitorMemoryName) ==
             PublisherSign::kGone ||
         OwnMonitorGone(state, static_cast<std::uint32_t>(now));
}

// One attempt to connect to what stands under the name now.
bool Connect(ModuleState& state, std::uint64_t now) {
  state.MappingHandle = platform::OpenSharedMemoryReadOnly(kMonitorMemoryName, kMonitorBlockSize);
  if (state.MappingHandle == nullptr) {
    state.NextMonitorCheckMs = 0;
    return false;
  }
  state.MonitorView = platform::MapReadOnlyView(state.MappingHandle, kMonitorBlockSize);
  if (MonitorGone(state, now)) {
    // A gone monitor's leftovers (a killed monitor's object, a section only
    // readers hold) are no monitor. They stay until someone replaces them,
    // so they are looked at again only after an interval.
    ReleaseMonitorMemory();
    state.NextMonitorCheckMs = now + kMonitorCheckIntervalMs;
    return false;
  }
  state.NextMonitorCheckMs = now + kMonitorCheckIntervalMs;
  state.MonitorMapped = state.MonitorView != nullptr;
  return state.MonitorMapped;
}

}  // namespace

bool CheckMonitorMemory(std::uint64_t now) {
  ModuleState& state = State();
  if (state.MappingHandle != nullptr) {
    if (!MonitorGone(state, now)) {
      state.NextMonitorCheckMs = now + kMonitorCheckIntervalMs;
      return state.MonitorMapped;
    }
    ReleaseMonitorMemory();
  }
  return Connect(state, now);
}

static_assert(std::endian::native == std::endian::little,
              "the block's words are read as they lie, little-endian");

bool ReadMonitorWord(std::size_t offset, std::int32_t& word) {
  const ModuleState& state = State();
  return platform::ReadViewWord(state.MappingHandle, state.MonitorView, offset, word);
}

void ReleaseMonitorMemory() {
  ModuleState& state = State();
  if (state.MappingHandle != nullptr) {
    platform::CloseSharedMemory(state.MappingHandle, state.MonitorView, kMonitorBlockSize);
  }
  state.MappingHandle = nullptr;
  state.MonitorView = nullptr;
  state.MonitorMapped = false;
  state.NextMonitorCheckMs = 0;
}

}  // namespace zv::readings
