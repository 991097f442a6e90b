#include "readings/monitor_memory.h"

#include <bit>

namespace zv::readings {

platform::SharedMemoryHandle MappingHandle = nullptr;
platform::SharedMemoryView MonitorView = nullptr;
bool MonitorMapped = false;

bool MapMonitorMemory() {
  if (MappingHandle != nullptr) {
    return MonitorView != nullptr;
  }
  MappingHandle = platform::OpenSharedMemoryReadOnly(kMonitorMemoryName, kMonitorBlockSize);
  if (MappingHandle != nullptr) {
    MonitorView = platform::MapReadOnlyView(MappingHandle, kMonitorBlockSize);
  }
  MonitorMapped = MonitorView != nullptr;
  return MonitorMapped;
}

static_assert(std::endian::native == std::endian::little,
              "the block's words are read as they lie, little-endian");

bool ReadMonitorWord(std::size_t offset, std::int32_t& word) {
  return platform::ReadViewWord(MappingHandle, MonitorView, offset, word);
}

void ReleaseMonitorMemory() {
  if (MappingHandle != nullptr) {
    platform::CloseSharedMemory(MappingHandle, MonitorView, kMonitorBlockSize);
  }
  MappingHandle = nullptr;
  MonitorView = nullptr;
  MonitorMapped = false;
}

}  // namespace zv::readings
