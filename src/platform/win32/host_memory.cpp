#include "platform/host_memory.h"

#include <windows.h>

#include <climits>

#include "zelvane_info.h"

namespace zv::platform {
namespace {

// GetProcAddress's untyped result, as a function pointer.
void (*Lookup(HMODULE module, const char* name))() {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
}

}  // namespace

// Takes the shared memory manager if the host has loaded borlndmm.dll; only
// all three functions together make a manager, though only SysGetMem is
// called here (the host releases with SysFreeMem).
void FindHostAllocator(HostAllocatorChoice& choice) noexcept {
  HMODULE module = GetModuleHandleA(ZV_BORLNDMM_MODULE);
  if (module == nullptr) {
    return;
  }
  void (*get_mem)() = Lookup(module, ZV_BORLNDMM_SYSGETMEM);
  if (get_mem != nullptr && Lookup(module, ZV_BORLNDMM_SYSFREEMEM) != nullptr &&
      Lookup(module, ZV_BORLNDMM_SYSREALLOCMEM) != nullptr) {
    choice.Shared = get_mem;
  }
}

// The host releases what it gets with the allocator it learns about from the
// plugin's documentation; so the choice is made once, at the first buffer,
// and never changes while the module lives.
char* AllocateHostBuffer(HostAllocatorChoice& choice, std::size_t size) noexcept {
  if (!choice.AllocatorFixed) {
    if (choice.Shared == nullptr) {
      FindHostAllocator(choice);  // the host may have loaded it after us
    }
    choice.AllocatorFixed = true;
  }
  if (choice.Shared != nullptr) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
      return nullptr;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
    const auto get_mem = reinterpret_cast<SysGetMemFunc>(choice.Shared);
    return static_cast<char*>(get_mem(static_cast<int>(size)));
  }
  return static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
}

}  // namespace zv::platform
