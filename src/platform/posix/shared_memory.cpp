#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/posix/system_calls.h"
#include "monitor_block/posix/run_lock.h"

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
  const ssize_t got = common::RetryOnInterrupt(
      [&] { return pread(fd, &word, sizeof word, static_cast<off_t>(offset)); });
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

// A publisher that ends removes its object's name; one that is replaced
// (a restarted monitor) leaves another object under it. Either way the
// object held is no longer the one under the name. The name is looked at
// with lstat, which opens nothing: whatever stands there (a FIFO, a device)
// is only compared.
PublisherSign CheckPublisher(SharedMemoryHandle handle, const char* name) {
  struct stat held {};
  if (fstat(DescriptorOf(handle), &held) != 0) {
    return PublisherSign::kUnknown;
  }
  if (held.st_nlink == 0) {
    return PublisherSign::kGone;
  }
  // The path is put together without allocating: a host's request makes
  // this check now and then, and should cost it nothing but the calls.
  std::array<char, 256> path{};
  const std::size_t folder = std::strlen(monitor_block::kObjectFolder);
  const std::size_t length = std::strlen(name);
  if (folder + 1 + length >= path.size()) {
    return PublisherSign::kUnknown;
  }
  std::memcpy(path.data(), monitor_block::kObjectFolder, folder);
  path[folder] = '/';
  std::memcpy(path.data() + folder + 1, name, length);
  struct stat named {};
  if (lstat(path.data(), &named) != 0) {
    return errno == ENOENT ? PublisherSign::kGone : PublisherSign::kUnknown;
  }
  return named.st_dev == held.st_dev && named.st_ino == held.st_ino ? PublisherSign::kPresent
                                                                    : PublisherSign::kGone;
}

// A running publisher holds the object's run lock (monitor_block/posix/run_lock.h).
PublisherSign CheckPublisherLock(SharedMemoryHandle handle) {
  switch (monitor_block::QueryRunLock(DescriptorOf(handle))) {
    case monitor_block::RunLock::kHeld:
      return PublisherSign::kPresent;
    case monitor_block::RunLock::kFree:
      return PublisherSign::kGone;
    case monitor_block::RunLock::kUnknown:
      break;
  }
  return PublisherSign::kUnknown;
}

}  // namespace zv::platform
