#include "readings/monitor_memory.h"

#include <bit>

namespace zv::readings {

bool MapMonitorMemory() {
  ModuleState& state = State();
  if (state.MappingHandle != nullptr) {
    return state.MonitorView != nullptr;
  }
  state.MappingHandle = platform::OpenSharedMemoryReadOnly(kMonitorMemoryName, kMonitorBlockSize);
  if (state.MappingHandle != nullptr) {
    state.MonitorView = platform::MapReadOnlyView(state.MappingHandle, kMonitorBlockSize);
  }
  state.MonitorMapped = state.MonitorView != nullptr;
  return state.MonitorMapped;
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
}

}  // namespace zv::readings
