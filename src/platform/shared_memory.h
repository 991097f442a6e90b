// Read-only access to a named block of shared memory published by another
// process.
#pragma once

#include <cstddef>

namespace zv::platform {

// An opened shared-memory object; nullptr means none. Handles are never
// closed: a view taken from one lives as long as the process.
using SharedMemoryHandle = void*;

// Opens the named object for reading. Returns nullptr when no object of that
// name exists or it cannot be opened for reading.
SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name);

// Maps the first `size` bytes of the object read-only. Returns nullptr when
// the view cannot be made, including when the object is smaller than `size`
// (touching bytes past its end would fault).
const void* MapReadOnlyView(SharedMemoryHandle handle, std::size_t size);

}  // namespace zv::platform
