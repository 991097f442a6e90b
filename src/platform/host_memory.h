// The allocator shared with the host: every buffer handed to the host comes
// from here, and the host releases it (see include/zelvane_info.h).
#pragma once

#include <cstddef>

namespace zv::platform {

// Allocates `size` bytes that the host can release. Returns nullptr when out
// of memory.
char* AllocateHostBuffer(std::size_t size) noexcept;

}  // namespace zv::platform
