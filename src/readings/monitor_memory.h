// The connection to the monitor's shared memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/shared_memory.h"
#include "state/module_state.h"

namespace zv::readings {

// Name of the monitor's shared-memory object.
inline constexpr const char* kMonitorMemoryName = "ZVSharedMemory_KTX";

// Layout of the block as the plugin reads it: 32-bit signed little-endian
// words. The first 16 bytes are the monitor's own.
inline constexpr std::size_t kMonitorBlockSize = 400;
inline constexpr std::size_t kSensorCount = 32;
inline constexpr std::size_t kTemperatureOffset = 16;
inline constexpr std::size_t kFanOffset = 144;
inline constexpr std::size_t kVoltageOffset = 272;

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
