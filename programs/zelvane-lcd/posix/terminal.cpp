#include "zelvane-lcd/terminal.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zv::host {

bool PrepareTerminal() {
  const char* term = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe)
  return isatty(STDOUT_FILENO) != 0 && term != nullptr && std::strcmp(term, "dumb") != 0;
}

}  // namespace zv::host
