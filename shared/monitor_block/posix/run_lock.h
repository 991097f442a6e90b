// How a publisher of the monitor's block on Linux says that it runs, and how
// others ask: the publisher holds a write lock over the whole object, taken
// on its open file description (F_OFD_SETLK). Such a lock belongs to the
// description, not to the process: it lasts while any descriptor or mapping
// of it does and ends with them however the process ends, SIGKILL
// included, so a lock left on an object means a publisher that still runs.
#pragma once

#include <fcntl.h>

namespace zv::monitor_block {

// Where glibc keeps POSIX shared-memory objects: shm_open("/NAME") opens
// kObjectFolder/NAME.
inline constexpr const char* kObjectFolder = "/dev/shm";

enum class RunLock { kHeld, kFree, kUnknown };

namespace detail {
// A lock of `type` over the whole object, however it grows.
inline struct flock WholeObject(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;  // from 0, l_len 0: the whole object
  return lock;
}
}  // namespace detail

// Takes the run lock through `fd` (the publisher's own descriptor of the
// object). False when another description holds it, or on error.
inline bool TakeRunLock(int fd) {
  struct flock lock = detail::WholeObject(F_WRLCK);
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;  // NOLINT(cppcoreguidelines-pro-type-vararg)
}

// Whether a running publisher holds the object open as `fd` locked. The
// query asks whether a read lock could be taken, which only a write lock
// prevents; it takes nothing, and a read-only descriptor may ask.
inline RunLock QueryRunLock(int fd) {
  struct flock query = detail::WholeObject(F_RDLCK);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the fcntl API
  if (fcntl(fd, F_OFD_GETLK, &query) != 0) {
    return RunLock::kUnknown;
  }
  return query.l_type == F_UNLCK ? RunLock::kFree : RunLock::kHeld;
}

}  // namespace zv::monitor_block
