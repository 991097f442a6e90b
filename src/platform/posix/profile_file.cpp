#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/exception.h"
#include "platform/posix/profile_text.h"

namespace zv::platform {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw Exception(std::string(what) + " " + path + ": " + std::strerror(error));
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&&) = delete;
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  ~FileDescriptor() { Close(); }
  [[nodiscard]] int get() const { return fd_; }
  int Close() {
    const int result = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// The file's bytes, or nothing when it does not exist.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  // open is a C variadic (its mode argument); there is no other call for it.
  const FileDescriptor fd(
      open(path.c_str(), O_RDONLY | O_CLOEXEC));  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail("Cannot read the settings file", path, errno);
  }
  std::string text;
  std::array<char, 8192> buffer{};
  for (;;) {
    const ssize_t n = read(fd.get(), buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read the settings file", path, errno);
    }
    text.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return text;
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write the settings file", path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

// Replaces the file at `path` with `text`: a temporary file beside it is
// written, flushed to disk and renamed over it, so a crash leaves the old or
// the new file, never a part. An existing file keeps its permissions (and
// owner, where allowed); a new one gets the usual 0666 less the umask.
void ReplaceFile(const std::string& path, const std::string& text) {
  struct stat old_stat {};
  const bool existed = stat(path.c_str(), &old_stat) == 0;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp;
  int raw_fd = -1;
  for (unsigned attempt = 0; raw_fd < 0; ++attempt) {
    temp = folder;
    if (slash == std::string::npos) temp += '/';
    temp += '.';
    temp += name;
    temp += '.' + std::to_string(getpid()) + '.' + std::to_string(attempt) + ".tmp";
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
    raw_fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw_fd < 0 && (errno != EEXIST || attempt > 100)) {
      Fail("Cannot write the settings file", path, errno);
    }
  }
  FileDescriptor fd(raw_fd);
  try {
    if (existed) {
      if (fchmod(fd.get(), old_stat.st_mode & 07777) != 0) {
        Fail("Cannot keep the permissions of the settings file", path, errno);
      }
      // Only root may give the file away; for anyone else it is theirs already.
      (void)fchown(fd.get(), old_stat.st_uid, old_stat.st_gid);
    }
    WriteAll(fd.get(), text, path);
    if (fsync(fd.get()) != 0) Fail("Cannot write the settings file", path, errno);
    if (fd.Close() != 0) Fail("Cannot write the settings file", path, errno);
    if (rename(temp.c_str(), path.c_str()) != 0)
      Fail("Cannot replace the settings file", path, errno);
  } catch (...) {
    unlink(temp.c_str());
    throw;
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
  const FileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) (void)fsync(dir.get());
}

// The file a path refers to: a symbolic link is followed so that the link
// stays and its target is replaced.
std::string ResolvedTarget(const std::string& path) {
  std::array<char, PATH_MAX> resolved{};
  struct stat link_stat {};
  if (lstat(path.c_str(), &link_stat) == 0 && S_ISLNK(link_stat.st_mode) &&
      realpath(path.c_str(), resolved.data()) != nullptr) {
    return resolved.data();
  }
  return path;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const char* section, const char* key,
                              const std::string& fallback) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return fallback;
  return FindProfileValue(*text, section, key).value_or(fallback);
}

void WriteProfileString(const std::string& path, const char* section, const char* key,
                        const std::string& value) {
  const std::string target = ResolvedTarget(path);
  std::string text = ReadWholeFile(target).value_or(std::string());
  if (!SetProfileValue(text, section, key, value)) {
    throw Exception("Cannot store this value in the settings file " + path +
                    ": it would break the file's lines");
  }
  ReplaceFile(target, text);
}

}  // namespace zv::platform
