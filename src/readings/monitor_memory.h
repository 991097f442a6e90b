// The connection to the monitor's shared memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/shared_memory.h"

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

// Connection state, one per module. The handle and the view are never
// closed: once mapped, readings come from the same view for the module's life.
extern platform::SharedMemoryHandle MappingHandle;
extern const unsigned char* MonitorView;
extern bool MonitorMapped;

// Makes sure the view exists and returns whether it does. An absent object is
// looked for again on every call; an object that opened but could not be
// mapped is never retried.
bool MapMonitorMemory();

// Reads the live word at `offset` of the mapped view. The view must exist.
std::int32_t ReadMonitorWord(std::size_t offset);

}  // namespace zv::readings
