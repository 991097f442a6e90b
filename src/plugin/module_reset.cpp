#include "plugin/module_reset.h"

#include "readings/monitor_memory.h"
#include "state/module_state.h"

namespace zv::plugin {

void ResetModuleState() noexcept {
  readings::ReleaseMonitorMemory();
  State() = ModuleState{};
}

}  // namespace zv::plugin
