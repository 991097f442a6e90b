// The allocator shared with the host: every buffer handed to the host comes
// from here, and the host releases it (see include/zelvane_info.h).
#pragma once

#include <cstddef>

namespace zv::platform {

// Which allocator the host's buffers come from, kept in the module's state.
// Only the platform's allocator looks inside; a default one means "not
// chosen yet, nothing found".
struct HostAllocatorChoice {
  // The host's shared memory manager's allocation function, untyped, when
  // the platform has one and found it; null otherwise.
  void (*Shared)() = nullptr;
  // True once a buffer was handed out: from then on the choice stays.
  bool AllocatorFixed = false;
};

// Allocates `size` bytes that the host can release. Returns nullptr when out
// of memory.
char* AllocateHostBuffer(std::size_t size) noexcept;

}  // namespace zv::platform
