#include "monitor/publisher.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace zv::monitor {

struct Publisher::Native {
  std::string object_name;
  int fd = -1;
};

Publisher::Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size)
    : native_(std::move(native)), data_(data), size_(size) {}

namespace {

// Where glibc keeps POSIX shared-memory objects.
constexpr const char* kObjectFolder = "/dev/shm";

// Creates the object `object_name` ("/NAME") with `size` zero bytes in one
// step: a reader never sees it before it has its full size. The object is
// made nameless (O_TMPFILE) in the objects' folder, sized, then given its
// name with a link, which fails when the name is taken. Returns the open
// descriptor, or -1.
int CreateSized(const std::string& object_name, std::size_t size) {
  // Readable by every user, as a system-wide monitor's block would be.
  const int fd = open(kObjectFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0) {
    return -1;
  }
  const std::string own_path = "/proc/self/fd/" + std::to_string(fd);
  const std::string path = kObjectFolder + object_name;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      linkat(AT_FDCWD, own_path.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<Publisher> Publisher::Create(const char* name, std::size_t size) {
  auto native = std::make_unique<Native>();
  native->object_name = std::string("/") + name;
  native->fd = CreateSized(native->object_name, size);
  if (native->fd < 0) {
    return nullptr;
  }
  void* data = size > 0 ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, native->fd, 0)
                        : MAP_FAILED;
  if (data == MAP_FAILED) {
    close(native->fd);
    shm_unlink(native->object_name.c_str());
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::move(native), static_cast<unsigned char*>(data), size));
}

// POSIX objects always have the size they were given.
std::unique_ptr<Publisher> Publisher::CreateExact(const char* name, std::size_t size) {
  return Create(name, size);
}

Publisher::~Publisher() {
  munmap(data_, size_);
  close(native_->fd);
  shm_unlink(native_->object_name.c_str());
}

void Publisher::WriteWord(std::size_t offset, std::int32_t word) {
  // One aligned store, so a reader never sees half a word.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): a word of the mapped block
  *reinterpret_cast<volatile std::int32_t*>(data_ + offset) = word;
}

const bool kRestartReusesHeldObject = false;

bool RemoveStale(const char* name) { return shm_unlink((std::string("/") + name).c_str()) == 0; }

}  // namespace zv::monitor
