#include "support/object_holder.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace zv::test {

struct ObjectHolder::Native {
  int fd = -1;
};

ObjectHolder::ObjectHolder(const char* name) : native_(std::make_unique<Native>()) {
  const std::string path = std::string("/dev/shm/") + name;
  native_->fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);  // NOLINT
}

ObjectHolder::~ObjectHolder() {
  if (native_->fd >= 0) {
    close(native_->fd);
  }
}

bool ObjectHolder::holding() const { return native_->fd >= 0; }

}  // namespace zv::test
