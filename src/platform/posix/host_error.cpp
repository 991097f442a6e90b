#include "platform/host_error.h"

#include <string>

#include "platform/exception.h"

namespace zv::platform {
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

// A C++ host catches the plugin's error as std::exception; the exception
// object owns its copy of the message.
void RaiseHostError() {
  std::string message;
  message.swap(Pending());
  throw Exception(std::move(message));
}

}  // namespace zv::platform
