#include "platform/file_exists.h"

#include <sys/stat.h>

namespace zv::platform {

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace zv::platform
