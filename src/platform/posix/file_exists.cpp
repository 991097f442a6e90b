#include "platform/file_exists.h"

#include <sys/stat.h>

#include "common/cp1251.h"

namespace zv::platform {

// Paths are Windows-1251 inside the plugin; the file system's names are UTF-8.
bool FileExists(const Text1251& path) {
  struct stat info {};
  const std::string name = common::Cp1251ToUtf8(path);
  return stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace zv::platform
