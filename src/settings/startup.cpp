#include "settings/startup.h"

#include "readings/monitor_memory.h"

namespace zv::settings {

std::int32_t Init() {
  readings::MapMonitorMemory();
  return 0;
}

}  // namespace zv::settings
