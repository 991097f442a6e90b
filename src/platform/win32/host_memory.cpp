#include "platform/host_memory.h"

#include <windows.h>

#include <climits>

namespace zv::platform {
namespace {

// borlndmm.dll's functions take their integer arguments in registers (EAX,
// EDX, ECX) on 32-bit x86, which GCC's regparm(3) matches; on 64-bit there
// is only the one Windows convention.
#if defined(__i386__)
#define ZV_BORLAND_REGISTER __attribute__((regparm(3)))
#else
#define ZV_BORLAND_REGISTER
#endif

using SysGetMemFunc = void*(ZV_BORLAND_REGISTER*)(int size);
using SysFreeMemFunc = int(ZV_BORLAND_REGISTER*)(void* p);
using SysReallocMemFunc = void*(ZV_BORLAND_REGISTER*)(void* p, int size);

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
  HMODULE module = GetModuleHandleA("borlndmm.dll");
  if (module == nullptr) {
    return;
  }
  SharedAllocator found;
  found.get_mem = Lookup<SysGetMemFunc>(module, "@Borlndmm@SysGetMem$qqri");
  found.free_mem = Lookup<SysFreeMemFunc>(module, "@Borlndmm@SysFreeMem$qqrpv");
  found.realloc_mem = Lookup<SysReallocMemFunc>(module, "@Borlndmm@SysReallocMem$qqrpvi");
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
