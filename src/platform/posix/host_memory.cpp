#include "platform/host_memory.h"

#include <cstdlib>

namespace zv::platform {

// On POSIX the host and the plugin share the C library's heap: the host
// releases buffers with free(), and there is nothing to look for.
void FindHostAllocator(HostAllocatorChoice& /*choice*/) noexcept {}

char* AllocateHostBuffer(HostAllocatorChoice& /*choice*/, std::size_t size) noexcept {
  return static_cast<char*>(std::malloc(size));  // NOLINT(cppcoreguidelines-no-malloc)
}

}  // namespace zv::platform
