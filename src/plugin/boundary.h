// The one place per entry point where an error leaves the plugin.
#pragma once

#include <exception>
#include <new>

#include "platform/exception.h"
#include "platform/host_error.h"

namespace zv::plugin {

// Runs `body` and returns its result. Any error it raises is handed to the
// host through the platform's error channel once `body`'s objects are gone.
template <typename Body>
auto CallFromHost(Body&& body) -> decltype(body()) {
  bool failed = false;
  try {
    return body();
  } catch (const Exception& error) {
    platform::StashHostError(error.what());
    failed = true;
  } catch (const std::bad_alloc&) {
    platform::StashHostError("Out of memory");
    failed = true;
  } catch (const std::exception& error) {
    platform::StashHostError(error.what());
    failed = true;
  } catch (...) {
    platform::StashHostError("Unexpected error");
    failed = true;
  }
  // Raised outside the handlers, so no exception object is still alive.
  if (failed) {
    platform::RaiseHostError();
  }
  return {};
}

}  // namespace zv::plugin
