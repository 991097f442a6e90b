#include "platform/host_memory.h"

#include <windows.h>

#include <climits>

#include "zelvane_info.h"

namespace zv::platform {
namespace {

// The shared memory manager, when the host has loaded one.
struct SharedAllocator {
  SysGetMemFunc get_mem = nullptr;
  SysFreeMemFunc free_mem = nullptr;
  SysReallocMemFunc realloc_mem = nullptr;
};

SharedAllocator Shared;       // found in the process, or all null
bool AllocatorFixed = false;  // true once a buffer was handed out

// GetProcAddress's untyped result, as the function type we know it has.
template <typename Func>
Func Lookup(HMODULE module, const char* name) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Takes the shared memory manager if the host has loaded borlndmm.dll; only
// all three functions together make a manager.
void FindSharedAllocator() {
  HMODULE module = GetModuleHandleA(ZV_BORLNDMM_MODULE);
  if (module == nullptr) {
    return;
  }
  SharedAllocator found;
  found.get_mem = Lookup<SysGetMemFunc>(module, ZV_BORLNDMM_SYSGETMEM);
  found.free_mem = Lookup<SysFreeMemFunc>(module, ZV_BORLNDMM_SYSFREEMEM);
  found.realloc_mem = Lookup<SysReallocMemFunc>(module, ZV_BORLNDMM_SYSREALLOCMEM);
  if (found.get_mem != nullptr && found.free_mem != nullptr && found.realloc_mem != nullptr) {
    Shared = found;
  }
}

// Looks for the manager when the module loads, before the rest of the
// module's start-up (priority 101 is the earliest a program may use).
__attribute__((constructor(101))) void FindSharedAllocatorAtLoad() { FindSharedAllocator(); }

}  // namespace

// The host releases what it gets with the allocator it learns about from the
// plugin's documentation; so the choice is made once, at the first buffer,
// and never changes while the module lives.
char* AllocateHostBuffer(std::size_t size) noexcept {
  if (!AllocatorFixed) {
    if (Shared.get_mem == nullptr) {
      FindSharedAllocator();  // the host may have loaded it after us
    }
    AllocatorFixed = true;
  }
  if (Shared.get_mem != nullptr) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
      return nullptr;
    }
    return static_cast<char*>(Shared.get_mem(static_cast<int>(size)));
  }
  return static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
}

}  // namespace zv::platform
