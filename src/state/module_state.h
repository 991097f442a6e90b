// Everything the module remembers between the host's calls, in one record.
// Every layer reads and writes its own fields here; nothing else in the
// module outlives a call.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host_memory.h"
#include "platform/shared_memory.h"
#include "platform/text.h"

namespace zv {

struct ModuleState {
  // Text of the most recent successful GetValue request with a code from
  // -1 to 3.
  std::string LastValue;

  // The connection to the monitor's shared memory (readings/monitor_memory.h).
  // It lasts while the monitor is there: once a check finds the monitor
  // gone, the view and the handle are released and the connection is made
  // again on demand.
  platform::SharedMemoryHandle MappingHandle = nullptr;
  platform::SharedMemoryView MonitorView = nullptr;
  bool MonitorMapped = false;
  // When, in milliseconds of monitor_block::MonotonicMilliseconds, a held
  // connection is next checked in full; without one, when the name may be
  // looked at again after a gone monitor's leftovers were found under it
  // (0: at once).
  std::uint64_t NextMonitorCheckMs = 0;

  // Launch the monitor when its memory is absent.
  bool TryToRun = false;
  // Full path of the monitor's executable, Windows-1251 text as the user
  // gave it.
  Text1251 MonitorPath;

  // Which allocator the buffers handed to the host come from; only the
  // platform's allocator reads or changes it.
  platform::HostAllocatorChoice Allocator;
};

// The module's record. It is made at its first use, which comes while the
// module loads, so it is destroyed only after every other object of the
// module that used it while loading (see plugin/module_reset.h).
ModuleState& State() noexcept;

}  // namespace zv
