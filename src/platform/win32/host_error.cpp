#include "platform/host_error.h"

#include <windows.h>

#include <string>

#include "zelvane_info.h"

namespace zv::platform {
namespace {

// The message the host receives; it stays here, valid while the exception is
// dispatched and until the next error replaces it.
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

// A C++ exception cannot cross into a host built by another compiler, so the
// error leaves as a structured exception that any Windows host can catch.
// Nothing between here and the host is unwound, which is why the caller
// holds no object with a destructor.
void RaiseHostError() {
  // The parameter is the message's address, as the host header documents.
  const ULONG_PTR arguments[ZV_ERROR_EXCEPTION_PARAMS] = {
      reinterpret_cast<ULONG_PTR>(Pending().c_str())};  // NOLINT(*-reinterpret-cast)
  // A non-continuable exception does not come back: a handler that tries to
  // continue gets another exception instead. The loop only tells the
  // compiler so.
  for (;;) {
    RaiseException(ZV_ERROR_EXCEPTION_CODE, EXCEPTION_NONCONTINUABLE, ZV_ERROR_EXCEPTION_PARAMS,
                   arguments);
  }
}

}  // namespace zv::platform
