#include "settings/config.h"

namespace zv::settings {

std::int32_t Config() { return 0; }

}  // namespace zv::settings
