#include "readings/monitor_memory.h"

#include <bit>

namespace zv::readings {

platform::SharedMemoryHandle MappingHandle = nullptr;
const unsigned char* MonitorView = nullptr;
bool MonitorMapped = false;

bool MapMonitorMemory() {
  if (MappingHandle != nullptr) {
    return MonitorView != nullptr;
  }
  MappingHandle = platform::OpenSharedMemoryReadOnly(kMonitorMemoryName);
  if (MappingHandle != nullptr) {
    MonitorView = static_cast<const unsigned char*>(
        platform::MapReadOnlyView(MappingHandle, kMonitorBlockSize));
  }
  MonitorMapped = MonitorView != nullptr;
  return MonitorMapped;
}

static_assert(std::endian::native == std::endian::little,
              "the block's words are read in place as little-endian");

std::int32_t ReadMonitorWord(std::size_t offset) {
  // The monitor rewrites the block while we read it: one aligned volatile
  // load per reading, never cached.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return *reinterpret_cast<const volatile std::int32_t*>(MonitorView + offset);
}

}  // namespace zv::readings
