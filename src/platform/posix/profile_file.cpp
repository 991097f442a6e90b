#include "platform/profile_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"
#include "platform/posix/profile_file_io.h"
#include "platform/posix/profile_text.h"

namespace zv::platform {
namespace {

constexpr const char* kCannotRead = "Cannot read the settings file ";
constexpr const char* kCannotWrite = "Cannot write the settings file ";
constexpr const char* kNotRegular = "it is not a regular file";
// As many links in a row as the kernel follows (SYMLOOP_MAX on Linux).
constexpr int kMaxLinks = 40;
// Temporary files beside the settings file: ".<name>.<pid>.<n>.tmp".
constexpr std::string_view kTempSuffix = ".tmp";

void WriteAll(int fd, const std::string& text, const std::string& failure) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOnError(failure, errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

// The name a settings path leads to: symbolic links are followed one after
// the other to the first name that is not a link. That name may not exist:
// a dangling link leads to the missing file it names, which a save creates,
// so that the link stays. `shown` names the path in errors.
std::string LinkTarget(const std::string& path, const Text1251& shown) {
  std::string target = path;
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) {
      if (errno == ENOENT) return target;
      FailOnError(kCannotWrite + shown, errno);
    }
    if (!S_ISLNK(info.st_mode)) return target;
    if (hops == kMaxLinks) FailOnError(kCannotWrite + shown, ELOOP);
    std::array<char, PATH_MAX> buffer{};
    const ssize_t n = readlink(target.c_str(), buffer.data(), buffer.size());
    if (n < 0) FailOnError(kCannotWrite + shown, errno);
    if (n == 0 || static_cast<std::size_t>(n) == buffer.size()) {
      FailOnError(kCannotWrite + shown, ENAMETOOLONG);
    }
    std::string next(buffer.data(), static_cast<std::size_t>(n));
    // A relative link is relative to the folder holding it.
    const std::size_t slash = target.rfind('/');
    if (next.front() != '/' && slash != std::string::npos) {
      next.insert(0, target, 0, slash + 1);
    }
    target = std::move(next);
  }
}

// The process id in a temporary file's name made for `name`, if it is one.
std::optional<pid_t> TemporaryFileOwner(std::string_view entry, const std::string& name) {
  if (entry.size() < name.size() + 2 || entry[0] != '.' ||
      entry.compare(1, name.size(), name) != 0 || entry[name.size() + 1] != '.' ||
      !entry.ends_with(kTempSuffix)) {
    return std::nullopt;
  }
  // What is left is "<pid>.<n>".
  const std::string_view rest =
      entry.substr(name.size() + 2, entry.size() - name.size() - 2 - kTempSuffix.size());
  const std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || dot + 1 == rest.size()) return std::nullopt;
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + dot, pid);
  if (error != std::errc() || end != rest.data() + dot || pid <= 0) return std::nullopt;
  for (const char c : rest.substr(dot + 1)) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return pid;
}

// Removes the temporary files that saves of ours left beside the file when
// their process was killed: named for this file, made by a process that no
// longer exists, owned by this user. Another process's save in progress is
// never touched (its process exists), nor anyone else's file.
void RemoveStaleTemporaryFiles(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const pid_t self = getpid();
  const uid_t user = geteuid();
  while (const dirent* entry = readdir(dir)) {
    const char* entry_name = static_cast<const char*>(entry->d_name);
    const std::optional<pid_t> pid = TemporaryFileOwner(entry_name, name);
    if (!pid || *pid == self) continue;
    if (kill(*pid, 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    if (fstatat(dirfd(dir), entry_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
        info.st_uid == user) {
      (void)unlinkat(dirfd(dir), entry_name, 0);
    }
  }
  closedir(dir);
}

// Replaces the regular file `target` (or creates it) with `text`: a
// temporary file beside it is written, flushed to disk and renamed over it,
// so a crash leaves the old or the new file, never a part. An existing file
// keeps its permissions (and owner, where allowed); a new one gets the usual
// 0666 less the umask. `shown` names the file in errors.
void ReplaceFile(const std::string& target, const Text1251& shown, const std::string& text,
                 const struct stat* old_stat) {
  const std::string failure = kCannotWrite + shown;
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  RemoveStaleTemporaryFiles(folder, name);
  std::string temp;
  int raw_fd = -1;
  for (unsigned attempt = 0; raw_fd < 0; ++attempt) {
    temp = folder;
    if (slash == std::string::npos) temp += '/';
    temp += '.' + name + '.' + std::to_string(getpid()) + '.' + std::to_string(attempt);
    temp += kTempSuffix;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
    raw_fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (raw_fd < 0 && (errno != EEXIST || attempt > 100)) FailOnError(failure, errno);
  }
  FileDescriptor fd(raw_fd);
  try {
    if (old_stat != nullptr) {
      if (fchmod(fd.get(), old_stat->st_mode & 07777) != 0) {
        FailOnError("Cannot keep the permissions of the settings file " + shown, errno);
      }
      // Only root may give the file away; for anyone else it is theirs already.
      (void)fchown(fd.get(), old_stat->st_uid, old_stat->st_gid);
    }
    WriteAll(fd.get(), text, failure);
    if (fsync(fd.get()) != 0) FailOnError(failure, errno);
    if (fd.Close() != 0) FailOnError(failure, errno);
    // rename replaces whatever name is there: look once more that it is
    // still a regular file (or nothing).
    struct stat now {};
    if (lstat(target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) FailOn(failure, kNotRegular);
    if (rename(temp.c_str(), target.c_str()) != 0) {
      FailOnError("Cannot replace the settings file " + shown, errno);
    }
  } catch (...) {
    unlink(temp.c_str());
    throw;
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
  const FileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) (void)fsync(dir.get());
}

}  // namespace

std::vector<std::string> ReadProfileStrings(const NativePath& path, const char* section,
                                            const std::vector<ProfileEntry>& entries) {
  const std::optional<std::string> text = ReadRegularFile(path.bytes, kCannotRead + PathText(path));
  std::vector<std::string> values;
  values.reserve(entries.size());
  for (const ProfileEntry& entry : entries) {
    values.push_back(text ? FindProfileValue(*text, section, entry.key).value_or(entry.value)
                          : entry.value);
  }
  return values;
}

// Every entry is applied to the text in order, and the file is replaced
// once. Only a regular file is ever replaced, directly or through links;
// anything else in its place (a device, a FIFO, a folder) is an error and
// nothing is written.
void WriteProfileStrings(const NativePath& path, const char* section,
                         const std::vector<ProfileEntry>& entries) {
  std::size_t spare = 0;
  for (const ProfileEntry& entry : entries) {
    spare += std::string_view(section).size() + std::string_view(entry.key).size() +
             entry.value.size() + 8;
  }
  const Text1251 named = PathText(path);
  const std::string target = LinkTarget(path.bytes, named);
  const Text1251 shown =
      target == path.bytes ? named : named + " (a link to " + PathText({target}) + ")";
  struct stat old_stat {};
  const bool existed = lstat(target.c_str(), &old_stat) == 0;
  if (!existed && errno != ENOENT) FailOnError(kCannotWrite + shown, errno);
  if (existed && !S_ISREG(old_stat.st_mode)) FailOn(kCannotWrite + shown, kNotRegular);
  std::string text;
  if (existed) {
    text = ReadRegularFile(target, kCannotWrite + shown, false, spare).value_or(std::string());
  }
  for (const ProfileEntry& entry : entries) {
    // The text editor keeps the file's lines whole: it refuses what would
    // break them (no value that reaches here does), and nothing is written.
    if (!SetProfileValue(text, section, entry.key, entry.value)) {
      FailOn(kCannotWrite + shown, "a value would break the file's lines");
    }
  }
  ReplaceFile(target, shown, text, existed ? &old_stat : nullptr);
}

}  // namespace zv::platform
