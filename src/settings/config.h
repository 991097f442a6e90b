// Config: the settings dialog entry point.
#pragma once

#include <cstdint>

namespace zv::settings {

// Shows the settings dialog; always returns 0.
std::int32_t Config();

}  // namespace zv::settings
