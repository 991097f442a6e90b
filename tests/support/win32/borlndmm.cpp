// A stand-in for the host's shared memory manager borlndmm.dll, for tests:
// the same three exports, from a private heap, counting what it hands out
// and recording the size asked for each buffer. The exports themselves are
// per target: on 32-bit x86, assembly thunks in the vendor's register
// convention (borlndmm_x86.S), so that the plugin's and the host's calls are
// checked against code that shares none of the compiler's assumptions; on
// x64, plain C functions (borlndmm_x64.cpp).
#include <windows.h>

#include <array>
#include <cstddef>

namespace {

HANDLE Heap() {
  static HANDLE heap = HeapCreate(0, 0, 0);
  return heap;
}

struct Slot {
  void* buffer = nullptr;  // handed out and not yet freed
  int requested = 0;       // the size asked for
};
std::array<Slot, 1024> Live{};
int Allocations = 0;
int LastRequested = -1;

Slot* SlotOf(const void* p) {
  for (Slot& slot : Live) {
    if (slot.buffer == p) {
      return &slot;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" {

// SysGetMem: allocates `size` bytes; nullptr when out of memory or out of
// slots.
void* StandInGetMem(int size) {
  LastRequested = size;
  Slot* slot = SlotOf(nullptr);
  if (size < 0 || slot == nullptr) {
    return nullptr;
  }
  slot->buffer = HeapAlloc(Heap(), 0, static_cast<SIZE_T>(size));
  if (slot->buffer != nullptr) {
    slot->requested = size;
    ++Allocations;
  }
  return slot->buffer;
}

// SysFreeMem: frees a buffer of ours: 0 on success, 1 for anything else,
// which is left alone.
int StandInFreeMem(void* p) {
  Slot* slot = SlotOf(p);
  if (p == nullptr || slot == nullptr) {
    return 1;
  }
  slot->buffer = nullptr;
  HeapFree(Heap(), 0, p);
  return 0;
}

// SysReallocMem: resizes a buffer of ours; nullptr for anything else.
void* StandInReallocMem(void* p, int size) {
  LastRequested = size;
  Slot* slot = SlotOf(p);
  if (p == nullptr || slot == nullptr || size < 0) {
    return nullptr;
  }
  void* moved = HeapReAlloc(Heap(), 0, p, static_cast<SIZE_T>(size));
  if (moved != nullptr) {
    slot->buffer = moved;
    slot->requested = size;
  }
  return moved;
}

// Number of SysGetMem calls that succeeded.
int AllocationCount() { return Allocations; }

// Number of buffers handed out and not freed.
int LiveCount() {
  int count = 0;
  for (const Slot& slot : Live) {
    count += slot.buffer != nullptr ? 1 : 0;
  }
  return count;
}

// Whether `p` is a live buffer of ours.
int Owns(const void* p) { return p != nullptr && SlotOf(p) != nullptr ? 1 : 0; }

// The size asked for the live buffer `p`, or -1 when it is none of ours.
int RequestedSize(const void* p) {
  const Slot* slot = p != nullptr ? SlotOf(p) : nullptr;
  return slot != nullptr ? slot->requested : -1;
}

// The size of the last SysGetMem or SysReallocMem call, or -1 before any.
int LastRequestedSize() { return LastRequested; }

}  // extern "C"
