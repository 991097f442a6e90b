#include "platform/posix/profile_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/exception.h"
#include "platform/posix/codepage.h"

namespace zv::platform {

int FileDescriptor::Close() {
  const int result = fd_ >= 0 ? close(fd_) : 0;
  fd_ = -1;
  return result;
}

void FailOn(const Text1251& failure, const Text1251& reason) {
  throw Exception(failure + ": " + reason);
}

// The reason is in the locale's language, UTF-8 where it is not English.
void FailOnError(const Text1251& failure, int error) {
  FailOn(failure, Utf8ToWindows1251Lossy(std::strerror(error)));
}

std::optional<std::string> ReadRegularFile(const std::string& path, const Text1251& failure,
                                           bool follow_links, std::size_t spare) {
  const std::string not_regular = "it is not a regular file";
  const std::string too_large =
      "it is larger than " + std::to_string(kMaxProfileFileSize >> 20) + " MiB";
  // Opening a device can do something by itself, and a FIFO's open waits for
  // a writer: look at the type first.
  struct stat info {};
  if ((follow_links ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0) {
    if (errno == ENOENT) return std::nullopt;
    FailOnError(failure, errno);
  }
  if (!S_ISREG(info.st_mode)) FailOn(failure, not_regular);
  if (static_cast<std::size_t>(info.st_size) > kMaxProfileFileSize) FailOn(failure, too_large);

  // Something swapped in since is caught without blocking: a FIFO opens at
  // once with O_NONBLOCK, and the open file's own type is what counts.
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
  const FileDescriptor fd(open(path.c_str(), flags));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    FailOnError(failure, errno);
  }
  if (fstat(fd.get(), &info) != 0) FailOnError(failure, errno);
  if (!S_ISREG(info.st_mode)) FailOn(failure, not_regular);

  // A file that grows while it is read stops at the bound as well.
  std::string text;
  text.reserve(std::min(static_cast<std::size_t>(info.st_size), kMaxProfileFileSize) + spare);
  std::array<char, 16384> buffer{};
  for (;;) {
    const ssize_t n = read(fd.get(), buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOnError(failure, errno);
    }
    if (text.size() + static_cast<std::size_t>(n) > kMaxProfileFileSize) {
      FailOn(failure, too_large);
    }
    text.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace zv::platform
