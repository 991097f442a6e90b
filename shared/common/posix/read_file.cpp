#include "common/read_file.h"

#include "common/posix/descriptor.h"
#include "common/posix/read_file.h"
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

// Why a file of `mode` is refused.
std::string NotRegular(mode_t mode) {
  return "it is " + FileTypeName(mode) + ", not a regular file";
}

}  // namespace

std::string FileTypeName(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "a special file";
}

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
  if (S_ISREG(info.st_mode)) return true;
  error = NotRegular(info.st_mode);
  return false;
}

int ReadRegularFileBounded(const std::string& path, std::size_t max_size, std::string& text,
                           mode_t* type) {
  struct stat info {};
  const auto regular = [&] {
    if (type != nullptr) *type = info.st_mode;
    return S_ISREG(info.st_mode);
  };
  if (stat(path.c_str(), &info) != 0) return errno;
  if (!regular()) return kNotRegularFile;
  const Descriptor file(OpenCloseOnExec(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
  if (!file.valid() || fstat(file.get(), &info) != 0) return errno;
  if (!regular()) return kNotRegularFile;
  if (static_cast<std::size_t>(info.st_size) > max_size) return kFileTooLarge;
  text.clear();
  text.reserve(static_cast<std::size_t>(info.st_size));
  std::array<char, 65536> chunk{};
  for (;;) {
    const std::size_t want = std::min(chunk.size(), max_size + 1 - text.size());
    const ssize_t n = RetryOnInterrupt([&] { return read(file.get(), chunk.data(), want); });
    if (n <= 0) return n == 0 ? 0 : errno;
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (text.size() > max_size) return kFileTooLarge;
  }
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t max_size,
                                           std::string& error) {
  std::string text;
  mode_t type = 0;
  switch (const int code = ReadRegularFileBounded(path, max_size, text, &type)) {
    case 0:
      return text;
    case kNotRegularFile:
      error = NotRegular(type);
      return std::nullopt;
    case kFileTooLarge:
      error = "it is larger than " + SizeText(max_size);
      return std::nullopt;
    default:
      error = std::strerror(code);
      return std::nullopt;
  }
}

}  // namespace zv::common
