#include "platform/host_error.h"

#include "platform/exception.h"

namespace zv::platform {

// A C++ host catches the plugin's error as std::exception; the exception
// object owns its copy of the message.
void RaiseHostError(const char* message) { throw Exception(message); }

}  // namespace zv::platform
