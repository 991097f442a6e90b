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

// Looks for the host's allocator, as the module loads (before the rest of
// its start-up) and again at the first buffer, when the host may have
// loaded it after the module.
void FindHostAllocator(HostAllocatorChoice& choice) noexcept;

// Allocates `size` bytes that the host can release, from the allocator of
// `choice`, which the first buffer fixes. Returns nullptr when out of memory.
char* AllocateHostBuffer(HostAllocatorChoice& choice, std::size_t size) noexcept;

}  // namespace zv::platform
