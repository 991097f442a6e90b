#include "common/read_file.h"

#include "common/posix/descriptor.h"
#include "common/posix/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace zv::common {
namespace {

std::string TypeName(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "a special file";
}

// Whether `info` is a regular file; else the reason in `error`.
bool IsRegular(const struct stat& info, std::string& error) {
  if (S_ISREG(info.st_mode)) {
    return true;
  }
  error = "it is " + TypeName(info.st_mode) + ", not a regular file";
  return false;
}

}  // namespace

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20U;
  return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                           : std::to_string(bytes) + " bytes";
}

bool CheckRegularFile(const std::string& path, std::string& error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return IsRegular(info, error);
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t max_size,
                                           std::string& error) {
  // Looked at before it is opened, so that no device is ever opened; then
  // again through the descriptor, which is what is read. O_NONBLOCK: a
  // FIFO put there meanwhile is refused rather than waited on, and so is a
  // file of /proc that has nothing to say yet.
  if (!CheckRegularFile(path, error)) {
    return std::nullopt;
  }
  const Descriptor file(OpenCloseOnExec(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  if (!IsRegular(info, error)) {
    return std::nullopt;
  }
  const std::string too_large = "it is larger than " + SizeText(max_size);
  if (static_cast<std::size_t>(info.st_size) > max_size) {
    error = too_large;
    return std::nullopt;
  }
  // The size is not trusted (files of /proc say 0): at most one byte more
  // than the bound is read.
  std::string text;
  std::array<char, 65536> chunk{};
  for (;;) {
    const std::size_t want = std::min(chunk.size(), max_size + 1 - text.size());
    const ssize_t n = RetryOnInterrupt([&] { return read(file.get(), chunk.data(), want); });
    if (n < 0) {
      error = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) {
      return text;
    }
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (text.size() > max_size) {
      error = too_large;
      return std::nullopt;
    }
  }
}

}  // namespace zv::common
