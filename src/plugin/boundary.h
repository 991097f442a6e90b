// The one place per entry point where an error leaves the plugin.
#pragma once

#include <exception>
#include <new>

#include "platform/host_error.h"

namespace zv::plugin {

// Keeps a copy of the message of the error being handed to the host. It
// stays until the next error replaces it, so it outlives every frame left on
// the way out. Never throws: an out-of-memory copy keeps a fixed message.
void StashHostError(const char* message) noexcept;

// The stashed message.
const char* StashedHostError() noexcept;

// Runs `body` and returns its result. Any error it raises is handed to the
// host through the platform's error channel once `body`'s objects are gone,
// with its message: the text of an Exception or of any other standard error,
// "Out of memory" when memory ran out.
template <typename Body>
auto CallFromHost(Body&& body) -> decltype(body()) {
  bool failed = false;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    StashHostError("Out of memory");
    failed = true;
  } catch (const std::exception& error) {  // Exception among them
    StashHostError(error.what());
    failed = true;
  } catch (...) {
    StashHostError("Unexpected error");
    failed = true;
  }
  // Raised outside the handlers, so no exception object is still alive.
  if (failed) {
    platform::RaiseHostError(StashedHostError());
  }
  return {};
}

}  // namespace zv::plugin
