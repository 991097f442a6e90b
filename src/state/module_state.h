// Everything the module remembers between the host's calls, in one record.
// Every layer reads and writes its own fields here; nothing else in the
// module outlives a call.
#pragma once

#include <string>

#include "platform/host_memory.h"
#include "platform/shared_memory.h"
#include "platform/text.h"

namespace zv {

struct ModuleState {
  // Text of the most recent successful GetValue request with a code from
  // -1 to 3.
  std::string LastValue;

  // The connection to the monitor's shared memory. Once the view exists,
  // readings come from the same view until the module unloads.
  platform::SharedMemoryHandle MappingHandle = nullptr;
  platform::SharedMemoryView MonitorView = nullptr;
  bool MonitorMapped = false;

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
