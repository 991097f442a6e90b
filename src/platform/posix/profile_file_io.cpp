#include "platform/posix/profile_file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/cp1251.h"
#include "common/posix/descriptor.h"
#include "common/posix/read_file.h"
#include "common/posix/system_calls.h"
#include "platform/exception.h"

namespace zv::platform {

using common::Descriptor;
using common::OpenCloseOnExec;
using common::RetryOnInterrupt;

namespace {

// Locks the file open on `fd` against other saves, without waiting (a file
// system without locks goes without), and tells whether `name` still names
// it: a save renames its temporary file into place before it lets go.
bool LockNamed(int fd, const std::string& name) {
  struct stat opened {};
  struct stat named {};
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  return fstat(fd, &opened) == 0 && lstat(name.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Creates the temporary file `temp` of a save and opens it on `fd`. Every
// save of a file uses the one name and holds a lock on it from creating it
// to renaming it: a file under the name that nobody holds was left by a save
// that was killed, and goes; one that is held is another save's, under way,
// which this one leaves alone (EWOULDBLOCK) rather than wait for it.
int CreateTemporary(const std::string& temp, Descriptor& fd) {
  const Descriptor left(OpenCloseOnExec(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
  if (left.valid() && !LockNamed(left.get(), temp)) return EWOULDBLOCK;
  if (left.valid() && unlink(temp.c_str()) != 0) return errno;
  fd = Descriptor(OpenCloseOnExec(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
  if (!fd.valid()) return errno;
  return LockNamed(fd.get(), temp) ? 0 : EWOULDBLOCK;
}

}  // namespace

int ReadProfileFile(const std::string& path, std::string& text, std::size_t spare) {
  const int error = common::ReadRegularFileBounded(path, kMaxProfileFileSize, text);
  if (error == 0) text.reserve(text.size() + spare);
  return error;
}

int FollowLinks(std::string& path) {
  std::filesystem::path at = path;
  for (int hops = 0; hops <= 40; ++hops) {
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(at, error);
    if (error) {
      if (error.value() != EINVAL && error.value() != ENOENT) return error.value();
      path = at.string();
      return 0;
    }
    // A relative link is relative to the folder holding it.
    at = at.parent_path() / next;
  }
  return ELOOP;
}

// The durability steps, in order: the temporary file is written and
// flushed to disk, renamed over the file, and the folder is flushed so that
// the rename itself lasts.
int ReplaceProfileFile(const std::string& path, const std::string& text) {
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  const std::string temp = folder + "." + path.substr(folder.size()) + ".tmp";
  struct stat info {};
  const bool existed = lstat(path.c_str(), &info) == 0;
  Descriptor fd;
  if (const int error = CreateTemporary(temp, fd)) return error;
  const auto write_and_rename = [&]() -> int {
    // Only root may give the file away; for anyone else it is theirs already.
    if (existed && fchmod(fd.get(), info.st_mode & 07777) != 0) return errno;
    if (existed) (void)!fchown(fd.get(), info.st_uid, info.st_gid);
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n =
          RetryOnInterrupt([&] { return write(fd.get(), text.data() + done, text.size() - done); });
      if (n < 0) return errno;
      done += static_cast<std::size_t>(n);
    }
    if (fsync(fd.get()) != 0) return errno;
    // rename replaces whatever is under the name: it must still be a
    // regular file (or nothing).
    if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return kNotRegularFile;
    return rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
  };
  if (const int error = write_and_rename()) {
    (void)unlink(temp.c_str());
    return error;
  }
  // A failure from here on leaves a complete file.
  const Descriptor dir(
      OpenCloseOnExec(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.valid()) (void)fsync(dir.get());
  return 0;
}

// An errno reason is in the locale's language, UTF-8 where it is not English.
void FailOn(const char* what, const Text1251& shown, int error) {
  Text1251 reason = "it is larger than " + std::to_string(kMaxProfileFileSize >> 20) + " MiB";
  if (error == kNotRegularFile) reason = "it is not a regular file";
  if (error > 0) reason = common::Utf8ToCp1251Lossy(std::strerror(error));
  throw Exception(std::string(what) + " " + shown + ": " + reason);
}

}  // namespace zv::platform
