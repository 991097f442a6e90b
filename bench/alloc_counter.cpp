// Counts heap allocations of this process by interposing malloc (glibc).
#include <cstddef>

extern "C" void* __libc_malloc(std::size_t size);  // NOLINT(bugprone-reserved-identifier)

namespace zv::bench {
// Read by the benchmark between iterations; the bench runs on one thread.
std::size_t AllocationCount = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
}  // namespace zv::bench

// Interposes the C library's malloc.
extern "C" void* malloc(std::size_t size) {
  ++zv::bench::AllocationCount;
  return __libc_malloc(size);
}
