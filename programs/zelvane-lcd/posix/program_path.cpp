#include <unistd.h>

#include <string>

#include "zelvane-lcd/program_path.h"

namespace zv::host {

std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    return "";
  }
  path.resize(static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace zv::host
