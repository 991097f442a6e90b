#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace zv::platform {
namespace {

// The handle carries the descriptor plus one, so that descriptor 0 is not
// mistaken for "no handle".
int DescriptorOf(SharedMemoryHandle handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the handle is an opaque word
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}

}  // namespace

SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name) {
  const std::string object_name = std::string("/") + name;
  const int fd = shm_open(object_name.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    return nullptr;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  return reinterpret_cast<SharedMemoryHandle>(static_cast<std::intptr_t>(fd) + 1);
}

const void* MapReadOnlyView(SharedMemoryHandle handle, std::size_t size) {
  const int fd = DescriptorOf(handle);
  struct stat info {};
  // Pages past the end of the object raise SIGBUS when read, so an object
  // too small for the view is refused here rather than mapped.
  if (fstat(fd, &info) != 0 || info.st_size < 0 || static_cast<std::size_t>(info.st_size) < size) {
    return nullptr;
  }
  void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  return view == MAP_FAILED ? nullptr : view;
}

}  // namespace zv::platform
