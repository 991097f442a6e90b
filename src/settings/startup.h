// Init: prepares the plugin when the host starts it.
#pragma once

#include <cstdint>

namespace zv::settings {

// Connects to the monitor's memory. Returns 0, or -1 when the user declined
// to retry a failed start.
std::int32_t Init();

}  // namespace zv::settings
