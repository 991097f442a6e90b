#include "platform/shared_memory.h"

#include <windows.h>

namespace zv::platform {

// A section is created with its size in one call and never shrinks, so no
// object of the wrong size can be caught half made here: a small one is
// refused by MapViewOfFile below.
SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name, std::size_t /*size*/) {
  return OpenFileMappingA(FILE_MAP_READ, FALSE, name);
}

// Windows refuses a view longer than the object (the call fails), so an
// object smaller than `size` gives nullptr here without further checks.
SharedMemoryView MapReadOnlyView(SharedMemoryHandle handle, std::size_t size) {
  return MapViewOfFile(handle, FILE_MAP_READ, 0, 0, size);
}

bool ReadViewWord(SharedMemoryHandle /*handle*/, SharedMemoryView view, std::size_t offset,
                  std::int32_t& word) {
  // The monitor rewrites the block while we read it: one aligned volatile
  // load per reading, never cached.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  word = *reinterpret_cast<const volatile std::int32_t*>(static_cast<const char*>(view) + offset);
  return true;
}

void CloseSharedMemory(SharedMemoryHandle handle, SharedMemoryView view, std::size_t /*size*/) {
  if (view != nullptr) {
    UnmapViewOfFile(view);
  }
  CloseHandle(handle);
}

}  // namespace zv::platform
