// How a failure leaves an entry point and reaches the host.
#pragma once

namespace zv::platform {

// Keeps a copy of `message` for the next RaiseHostError. Never throws; an
// out-of-memory copy keeps a fixed message instead.
void StashHostError(const char* message) noexcept;

// Hands the stashed message to the host the platform's way and does not
// return. Call it from a frame that holds no object with a destructor:
// on Windows nothing is unwound on the way out.
[[noreturn]] void RaiseHostError();

}  // namespace zv::platform
