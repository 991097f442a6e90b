// A stand-in for the host's shared memory manager borlndmm.dll, for tests:
// the same three exports, from a private heap, counting what it hands out.
#include <windows.h>

#include <array>
#include <cstddef>

namespace {

HANDLE Heap() {
  static HANDLE heap = HeapCreate(0, 0, 0);
  return heap;
}

std::array<void*, 1024> Live{};  // buffers handed out and not yet freed
int Allocations = 0;

void** SlotOf(const void* p) {
  for (void*& slot : Live) {
    if (slot == p) {
      return &slot;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" {

// Allocates `size` bytes; nullptr when out of memory or out of slots.
void* SysGetMem(int size) {
  void** slot = SlotOf(nullptr);
  if (size < 0 || slot == nullptr) {
    return nullptr;
  }
  *slot = HeapAlloc(Heap(), 0, static_cast<SIZE_T>(size));
  if (*slot != nullptr) {
    ++Allocations;
  }
  return *slot;
}

// Frees a buffer of ours: 0 on success, 1 for anything else, which is left
// alone.
int SysFreeMem(void* p) {
  void** slot = SlotOf(p);
  if (p == nullptr || slot == nullptr) {
    return 1;
  }
  *slot = nullptr;
  HeapFree(Heap(), 0, p);
  return 0;
}

// Resizes a buffer of ours; nullptr for anything else.
void* SysReallocMem(void* p, int size) {
  void** slot = SlotOf(p);
  if (p == nullptr || slot == nullptr || size < 0) {
    return nullptr;
  }
  void* moved = HeapReAlloc(Heap(), 0, p, static_cast<SIZE_T>(size));
  if (moved != nullptr) {
    *slot = moved;
  }
  return moved;
}

// Number of SysGetMem calls that succeeded.
int AllocationCount() { return Allocations; }

// Number of buffers handed out and not freed.
int LiveCount() {
  int count = 0;
  for (void* slot : Live) {
    count += slot != nullptr ? 1 : 0;
  }
  return count;
}

// Whether `p` is a live buffer of ours.
int Owns(const void* p) { return p != nullptr && SlotOf(p) != nullptr ? 1 : 0; }

}  // extern "C"
