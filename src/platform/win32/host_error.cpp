#include "platform/host_error.h"

#include <windows.h>

#include <array>

#include "zelvane_info.h"

namespace zv::platform {

// A C++ exception cannot cross into a host built by another compiler, so the
// error leaves as a structured exception that any Windows host can catch.
// Nothing between here and the host is unwound, which is why the caller
// holds no object with a destructor.
void RaiseHostError(const char* message) {
  // The parameter is the message's address, as the host header documents.
  const std::array<ULONG_PTR, ZV_ERROR_EXCEPTION_PARAMS> arguments = {
      reinterpret_cast<ULONG_PTR>(message)};  // NOLINT(*-reinterpret-cast)
  // A non-continuable exception does not come back: a handler that tries to
  // continue gets another exception instead. The loop only tells the
  // compiler so.
  for (;;) {
    RaiseException(ZV_ERROR_EXCEPTION_CODE, EXCEPTION_NONCONTINUABLE, ZV_ERROR_EXCEPTION_PARAMS,
                   arguments.data());
  }
}

}  // namespace zv::platform
