// The ways this project makes its system calls on Linux, each written once:
// a call a signal interrupts is made again, a descriptor of ours never lies
// on 0, 1 or 2, and files are opened close-on-exec.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace zv::common {

// Makes `call` (a system call's wrapper returning -1 with errno set on
// failure) again while a signal interrupts it, and returns its last result.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  auto result = call();
  while (result == -1 && errno == EINTR) {
    result = call();
  }
  return result;
}

// Returns `fd` when it lies above the standard descriptors, else a
// close-on-exec duplicate above them, with `fd` closed. A host may run with
// 0, 1 or 2 closed, where a new descriptor would land; a child's standard
// streams put there would then be ours. -1 (errno set, `fd` closed) on
// failure; async-signal-safe.
inline int AboveStandardStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): fcntl's documented use
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(fd);
  errno = error;
  return moved;
}

// open(2) with O_CLOEXEC added, made again when interrupted, its descriptor
// above the standard ones.
inline int OpenCloseOnExec(const char* path, int flags, mode_t mode = 0) {
  return AboveStandardStreams(RetryOnInterrupt([&] {
    return open(path, flags | O_CLOEXEC, mode);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  }));
}

}  // namespace zv::common
