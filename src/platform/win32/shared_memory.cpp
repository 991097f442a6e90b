#include "platform/shared_memory.h"

#include <windows.h>

namespace zv::platform {

SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name) {
  return OpenFileMappingA(FILE_MAP_READ, FALSE, name);
}

// Windows refuses a view longer than the object (the call fails), so an
// object smaller than `size` gives nullptr here without further checks.
const void* MapReadOnlyView(SharedMemoryHandle handle, std::size_t size) {
  return MapViewOfFile(handle, FILE_MAP_READ, 0, 0, size);
}

}  // namespace zv::platform
