#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/monitor_lifecycle.h"

namespace zv::test {
namespace {

const std::string& ObjectFile() {
  static const std::string path = std::string("/dev/shm/") + readings::kMonitorMemoryName;
  return path;
}

void Put(int fd, std::size_t offset, std::int32_t word) {
  (void)!pwrite(fd, &word, sizeof word, static_cast<off_t>(offset));
}

}  // namespace

MonitorLock::MonitorLock()
    : fd_(open(ObjectFile().c_str(), O_RDWR | O_CLOEXEC)) {  // NOLINT(*-vararg)
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fd_ >= 0 && fcntl(fd_, F_OFD_SETLK, &lock) != 0) {  // NOLINT(*-vararg)
    close(fd_);
    fd_ = -1;
  }
}

MonitorLock::~MonitorLock() {
  if (fd_ >= 0) close(fd_);
}

Leftovers::Leftovers() {
  const std::string name = std::string("/") + readings::kMonitorMemoryName;
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  struct stat info {};
  if (fd < 0) return;
  made_ = ftruncate(fd, readings::kMonitorBlockSize) == 0 && fstat(fd, &info) == 0;
  const auto now = static_cast<std::int32_t>(monitor_block::MonotonicMilliseconds());
  Put(fd, readings::kHeartbeatMagicOffset, readings::kHeartbeatMagic);
  Put(fd, readings::kHeartbeatPeriodOffset, 1000);
  Put(fd, readings::kHeartbeatStampOffset, now);
  Put(fd, readings::kHeartbeatCounterOffset, 7);
  Put(fd, readings::kTemperatureOffset, readings::EncodeHundredths(6600));
  close(fd);
  identity_[0] = info.st_dev;
  identity_[1] = info.st_ino;
}

// Removed unless another object took the name meanwhile.
Leftovers::~Leftovers() {
  struct stat info {};
  if (made_ && lstat(ObjectFile().c_str(), &info) == 0 && info.st_dev == identity_[0] &&
      info.st_ino == identity_[1]) {
    unlink(ObjectFile().c_str());
  }
}

}  // namespace zv::test
