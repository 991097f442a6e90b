#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

// Words are read through the object's descriptor with pread, never through a
// mapping. Another process may shrink the object (ftruncate) at any moment;
// the pages of a mapping past the new end then raise SIGBUS when read, which
// would end the host, and no check made before a load can close that race.
// pread instead reports a short read. So the "view" of an object is its
// descriptor: nothing is mapped.
namespace zv::platform {
namespace {

// The handle carries the descriptor plus one, so that descriptor 0 is not
// mistaken for "no handle".
int DescriptorOf(SharedMemoryHandle handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the handle is an opaque word
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}

SharedMemoryHandle HandleOf(int fd) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  return reinterpret_cast<SharedMemoryHandle>(static_cast<std::intptr_t>(fd) + 1);
}

// /dev/shm is writable by every user, so what stands under the name may be
// anything: only a regular object of ours (or of root) that has its full
// size is used.
bool Usable(const struct stat& info, std::size_t size) {
  const bool trusted = info.st_uid == geteuid() || info.st_uid == 0;
  return S_ISREG(info.st_mode) && trusted && info.st_size >= 0 &&
         static_cast<std::size_t>(info.st_size) >= size;
}

// One copy of the word at `offset`. True when all four bytes were there.
bool CopyWord(int fd, std::size_t offset, std::int32_t& word) {
  ssize_t got = 0;
  do {
    got = pread(fd, &word, sizeof word, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(sizeof word);
}

}  // namespace

SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name, std::size_t size) {
  const std::string object_name = std::string("/") + name;
  // O_NONBLOCK: a FIFO in the object's place would otherwise wait for a
  // writer for ever (glibc hands the flags on to open). O_NOFOLLOW: a
  // symbolic link is refused. O_NOCTTY: a terminal never becomes ours.
  const int fd =
      shm_open(object_name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) {
    return nullptr;
  }
  // An object caught between its creation and its sizing is too small: it
  // is closed and looked for again by a later call.
  struct stat info {};
  if (fstat(fd, &info) != 0 || !Usable(info, size)) {
    close(fd);
    return nullptr;
  }
  return HandleOf(fd);
}

SharedMemoryView MapReadOnlyView(SharedMemoryHandle handle, std::size_t /*size*/) { return handle; }

bool ReadViewWord(SharedMemoryHandle handle, SharedMemoryView /*view*/, std::size_t offset,
                  std::int32_t& word) {
  // The kernel copies a few bytes one at a time, so a copy made while the
  // monitor stores the word may hold half the old and half the new one. A
  // store happens at one instant, and one copy ends before the next starts:
  // two copies in a row that agree saw no store. The monitor stores each
  // word once per refresh; a word stored over and over faster than it can
  // be copied twice gives no reading.
  constexpr int kAttempts = 4;
  const int fd = DescriptorOf(handle);
  std::int32_t previous = 0;
  if (!CopyWord(fd, offset, previous)) {
    return false;
  }
  for (int attempt = 1; attempt < kAttempts; ++attempt) {
    std::int32_t current = 0;
    if (!CopyWord(fd, offset, current)) {
      return false;
    }
    if (current == previous) {
      word = current;
      return true;
    }
    previous = current;
  }
  return false;
}

void CloseSharedMemory(SharedMemoryHandle handle, SharedMemoryView /*view*/, std::size_t /*size*/) {
  close(DescriptorOf(handle));
}

}  // namespace zv::platform
