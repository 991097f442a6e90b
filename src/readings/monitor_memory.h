// The connection to the monitor's shared memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/shared_memory.h"
#include "readings/monitor_block.h"
#include "state/module_state.h"

namespace zv::readings {

// The block's name and layout: readings/monitor_block.h.

// The connection's state is in the module's record (MappingHandle,
// MonitorView, MonitorMapped). Once the view exists, readings come from the
// same view until the module unloads (ReleaseMonitorMemory).

// Makes sure the view exists and returns whether it does. An absent object,
// or one not yet of full size, is looked for again on every call; an object
// that opened but could not be mapped is never retried.
bool MapMonitorMemory();

// Reads the live word at `offset` of the view, which must exist. Returns
// false, leaving `word` alone, when the object no longer holds it (another
// process shrank it).
bool ReadMonitorWord(std::size_t offset, std::int32_t& word);

// Closes the view and the handle and returns the connection to its initial
// state. For the module's unloading (see plugin/module_reset.h).
void ReleaseMonitorMemory();

}  // namespace zv::readings
