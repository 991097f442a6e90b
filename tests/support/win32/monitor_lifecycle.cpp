#include <windows.h>

#include "support/monitor_lifecycle.h"

namespace zv::test {
namespace {

void Put(void* view, std::size_t offset, std::int32_t word) {
  *reinterpret_cast<volatile std::int32_t*>(static_cast<char*>(view) + offset) = word;  // NOLINT
}

}  // namespace

MonitorLock::MonitorLock() = default;
MonitorLock::~MonitorLock() = default;

// The monitor makes the section and writes it; another reader maps it the
// way the plugin does (a view, its handle closed at once); the monitor
// closes its handle. The name goes with that last handle: only the view is
// left, and nothing under the name.
Leftovers::Leftovers() {
  const char* name = readings::kMonitorMemoryName;
  HANDLE monitor = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      readings::kMonitorBlockSize, name);
  if (monitor == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (monitor != nullptr) CloseHandle(monitor);
    return;
  }
  if (void* view = MapViewOfFile(monitor, FILE_MAP_WRITE, 0, 0, 0)) {
    Put(view, readings::kHeartbeatMagicOffset, readings::kHeartbeatMagic);
    Put(view, readings::kHeartbeatPeriodOffset, 1000);
    Put(view, readings::kHeartbeatStampOffset,
        static_cast<std::int32_t>(monitor_block::MonotonicMilliseconds()));
    Put(view, readings::kHeartbeatCounterOffset, 7);
    Put(view, readings::kTemperatureOffset, readings::EncodeHundredths(6600));
    UnmapViewOfFile(view);
  }
  HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  const void* view = section != nullptr
                         ? MapViewOfFile(section, FILE_MAP_READ, 0, 0, readings::kMonitorBlockSize)
                         : nullptr;
  if (section != nullptr) CloseHandle(section);
  CloseHandle(monitor);
  made_ = view != nullptr;
  identity_[0] = reinterpret_cast<std::uintptr_t>(view);  // NOLINT
}

Leftovers::~Leftovers() {
  if (identity_[0] != 0) {
    UnmapViewOfFile(
        reinterpret_cast<const void*>(static_cast<std::uintptr_t>(identity_[0])));  // NOLINT
  }
}

}  // namespace zv::test
