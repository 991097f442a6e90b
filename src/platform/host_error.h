// How a failure leaves an entry point and reaches the host.
#pragma once

namespace zv::platform {

// Hands `message` to the host the platform's way and does not return. The
// message must stay valid until the next entry-point call. Call it from a
// frame that holds no object with a destructor: on Windows nothing is
// unwound on the way out.
[[noreturn]] void RaiseHostError(const char* message);

}  // namespace zv::platform
