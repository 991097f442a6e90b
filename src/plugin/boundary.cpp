#include "plugin/boundary.h"

#include <string>

namespace zv::plugin {
namespace {

std::string& Pending() {
  static std::string pending;
  return pending;
}

}  // namespace

void StashHostError(const char* message) noexcept {
  try {
    Pending() = message;
  } catch (...) {
    // Fits the string's inline buffer: assigning it cannot fail.
    Pending() = "Out of memory";
  }
}

const char* StashedHostError() noexcept { return Pending().c_str(); }

}  // namespace zv::plugin
