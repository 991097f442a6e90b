#include "zelvane-monitor/publisher.h"

#include "common/posix/descriptor.h"
#include "common/posix/read_file.h"
#include "common/posix/system_calls.h"
#include "monitor_block/posix/run_lock.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

namespace zv::monitor {

namespace {

using monitor_block::kObjectFolder;
// Attempts to name the object while what stands under the name keeps
// changing (other publishers starting or ending at the same moment).
constexpr int kNamingAttempts = 8;

using common::Descriptor;

std::string ErrorText(int error) { return std::strerror(error); }

// Whether a running publisher holds the object open as `fd` locked.
bool HeldByPublisher(int fd) {
  return monitor_block::QueryRunLock(fd) == monitor_block::RunLock::kHeld;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What stands under the object's name.
struct Occupant {
  enum class Kind {
    None,      // nothing (any more)
    Running,   // a running publisher's object
    Leftover,  // a regular object no publisher holds: an ended one's
    Other,     // anything else: `what` says what
  };
  Kind kind = Kind::None;
  std::string what;
  struct stat file {};
  Descriptor locked;  // a Leftover, held locked while it is put aside
};

// Looks at what stands under `path`. Only a regular object is opened, never
// followed through a link, and without blocking. A leftover comes back
// locked by us, so that no other publisher starting now takes it too.
Occupant Examine(const std::string& path) {
  Occupant occupant;
  if (lstat(path.c_str(), &occupant.file) != 0) {
    if (errno != ENOENT) {
      occupant.kind = Occupant::Kind::Other;
      occupant.what = "something that cannot be looked at (" + ErrorText(errno) + ")";
    }
    return occupant;
  }
  if (!S_ISREG(occupant.file.st_mode)) {
    occupant.kind = Occupant::Kind::Other;
    occupant.what = common::FileTypeName(occupant.file.st_mode);
    return occupant;
  }
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK;
  Descriptor fd(common::OpenCloseOnExec(path.c_str(), O_RDWR | kFlags));
  if (!fd.valid() && (errno == EACCES || errno == EPERM)) {
    // Another user's object: a lock can still be seen through a read-only
    // descriptor, though not taken.
    Descriptor reader(common::OpenCloseOnExec(path.c_str(), O_RDONLY | kFlags));
    occupant.kind = reader.valid() && HeldByPublisher(reader.get()) ? Occupant::Kind::Running
                                                                    : Occupant::Kind::Other;
    occupant.what = "another user's object";
    return occupant;
  }
  struct stat opened {};
  if (!fd.valid() || fstat(fd.get(), &opened) != 0 || !SameFile(opened, occupant.file)) {
    return occupant;  // gone or swapped meanwhile: look again
  }
  if (!monitor_block::TakeRunLock(fd.get())) {
    occupant.kind = Occupant::Kind::Running;
    return occupant;
  }
  occupant.kind = Occupant::Kind::Leftover;
  occupant.locked = std::move(fd);
  return occupant;
}

// Removes what Examine found, if the name still stands for it. Returns an
// error text, or "".
std::string Remove(const std::string& path, const Occupant& occupant) {
  struct stat now {};
  if (lstat(path.c_str(), &now) != 0 || !SameFile(now, occupant.file)) {
    return "";  // already gone or replaced: the caller looks again
  }
  const int removed = S_ISDIR(now.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
  return removed == 0 || errno == ENOENT ? "" : "cannot remove " + path + ": " + ErrorText(errno);
}

// Creates the object at `path` with `size` zero bytes, its storage
// reserved, locked by this publisher, and named in one step: it is made
// nameless (O_TMPFILE) in the objects' folder, sized with its pages
// allocated (so that no write to its mapping can fail for lack of room and
// nothing is named when there is none), locked, then linked to its name.
// What stands under the name is put aside as `takeover` allows. Returns the
// open descriptor, or an invalid one (and says why in `report`).
Descriptor CreateNamed(const std::string& path, std::size_t size, Takeover takeover,
                       CreateReport& report) {
  // Readable by every user, as a system-wide monitor's block would be.
  Descriptor fd(common::OpenCloseOnExec(kObjectFolder, O_TMPFILE | O_RDWR, 0644));
  if (!fd.valid()) {
    report.error =
        std::string("cannot create an object in ") + kObjectFolder + ": " + ErrorText(errno);
    return {};
  }
  if (const int error = posix_fallocate(fd.get(), 0, static_cast<off_t>(size)); error != 0) {
    report.error = "no room for its " + std::to_string(size) + " bytes in " + kObjectFolder + " (" +
                   ErrorText(error) + ")";
    return {};
  }
  if (!monitor_block::TakeRunLock(fd.get())) {
    report.error = "cannot lock the new object: " + ErrorText(errno);
    return {};
  }
  const std::string own_path = "/proc/self/fd/" + std::to_string(fd.get());
  for (int attempt = 0; attempt < kNamingAttempts; ++attempt) {
    if (linkat(AT_FDCWD, own_path.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return fd;
    }
    if (errno != EEXIST) {
      report.error = "cannot name the object " + path + ": " + ErrorText(errno);
      return {};
    }
    const Occupant occupant = Examine(path);
    std::string put_aside;
    switch (occupant.kind) {
      case Occupant::Kind::None:
        continue;
      case Occupant::Kind::Running:
        report.running = true;
        report.error = "another monitor is running (it holds " + path + ")";
        return {};
      case Occupant::Kind::Leftover:
        put_aside = "replaced " + path + ", which a monitor that no longer runs left behind";
        break;
      case Occupant::Kind::Other:
        if (takeover != Takeover::Anything) {
          report.error = path + " is " + occupant.what + ", not a monitor's object";
          report.replaceable = true;
          return {};
        }
        put_aside = "replaced " + path + ", which was " + occupant.what;
        break;
    }
    if (std::string error = Remove(path, occupant); !error.empty()) {
      report.error = std::move(error);
      return {};
    }
    report.replaced = std::move(put_aside);
  }
  report.error = "what stands under " + path + " keeps changing";
  return {};
}

// The object's path: the folder, "/", the name. (Appended in place: GCC 12
// with link-time optimisation warns about a copy of a concatenated string
// where there is no fault.)
void AppendPath(std::string& path, const char* name) {
  path.append(kObjectFolder).append("/").append(name);
}

}  // namespace

struct Publisher::Native {
  std::string path;
  Descriptor fd;
};

Publisher::Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size)
    : native_(std::move(native)), data_(data), size_(size) {}

std::unique_ptr<Publisher> Publisher::Create(const char* name, std::size_t size,
                                             CreateReport* report, Takeover takeover) {
  CreateReport ignored;
  CreateReport& said = report != nullptr ? *report : ignored;
  auto native = std::make_unique<Native>();
  AppendPath(native->path, name);
  if (size == 0) {
    said.error = "an object of 0 bytes cannot be mapped";
    return nullptr;
  }
  native->fd = CreateNamed(native->path, size, takeover, said);
  if (!native->fd.valid()) {
    return nullptr;
  }
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, native->fd.get(), 0);
  if (data == MAP_FAILED) {
    said.error = "cannot map the object: " + ErrorText(errno);
    unlink(native->path.c_str());
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::move(native), static_cast<unsigned char*>(data), size));
}

// POSIX objects always have the size they were given.
std::unique_ptr<Publisher> Publisher::CreateExact(const char* name, std::size_t size,
                                                  CreateReport* report, Takeover takeover) {
  return Create(name, size, report, takeover);
}

// Removes the object only while the name still stands for it: whatever
// else stands there now is not ours to remove.
Publisher::~Publisher() {
  munmap(data_, size_);
  struct stat mine {};
  struct stat named {};
  if (fstat(native_->fd.get(), &mine) == 0 && lstat(native_->path.c_str(), &named) == 0 &&
      SameFile(mine, named)) {
    unlink(native_->path.c_str());
  }
}

bool Publisher::StillNamed(std::string& why) const {
  struct stat mine {};
  struct stat named {};
  if (fstat(native_->fd.get(), &mine) != 0) {
    why = "cannot look at its own object: " + ErrorText(errno);
    return false;
  }
  if (lstat(native_->path.c_str(), &named) != 0) {
    why = errno == ENOENT ? native_->path + " was removed"
                          : "cannot look at " + native_->path + ": " + ErrorText(errno);
    return false;
  }
  if (!SameFile(mine, named)) {
    why = native_->path + " now stands for another file, which is left alone";
    return false;
  }
  return true;
}

void Publisher::WriteWord(std::size_t offset, std::int32_t word) {
  // One aligned store, so a reader never sees half a word.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): a word of the mapped block
  *reinterpret_cast<volatile std::int32_t*>(data_ + offset) = word;
}

const bool kRestartReusesHeldObject = false;
const bool kObjectOutlivesKilledPublisher = true;

bool RemoveStale(const char* name) {
  std::string path;
  AppendPath(path, name);
  const Occupant occupant = Examine(path);
  if (occupant.kind == Occupant::Kind::None || occupant.kind == Occupant::Kind::Running) {
    return false;
  }
  return Remove(path, occupant).empty();
}

bool NameTaken(const char* name) {
  struct stat info {};
  std::string path;
  AppendPath(path, name);
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace zv::monitor
