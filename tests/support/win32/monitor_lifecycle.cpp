#include <windows.h>

#include <string>

#include "support/monitor_lifecycle.h"

namespace zv::test {
namespace {

HANDLE AsHandle(std::uint64_t word) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(word));  // NOLINT
}

void Put(void* view, std::size_t offset, std::int32_t word) {
  *reinterpret_cast<volatile std::int32_t*>(static_cast<char*>(view) + offset) = word;  // NOLINT
}

}  // namespace

MonitorLock::MonitorLock() = default;
MonitorLock::~MonitorLock() = default;

// The monitor makes the section and writes it; another reader opens it the
// way the plugin does (the section, then the readers' event); the monitor
// closes its handle.
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
  HANDLE readers = CreateEventExA(nullptr, (std::string(name) + ".readers").c_str(),
                                  CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE);
  CloseHandle(monitor);
  made_ = section != nullptr && readers != nullptr;
  identity_[0] = reinterpret_cast<std::uintptr_t>(section);  // NOLINT
  identity_[1] = reinterpret_cast<std::uintptr_t>(readers);  // NOLINT
}

Leftovers::~Leftovers() {
  for (const std::uint64_t handle : identity_) {
    if (handle != 0) CloseHandle(AsHandle(handle));
  }
}

}  // namespace zv::test
