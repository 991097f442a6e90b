// Returning the module to the state it has when it has just loaded.
#pragma once

namespace zv::plugin {

// Closes the connection to the monitor's memory, then returns every field of
// the module's record (state/module_state.h) to its initial value: no text
// retained, the settings as before loading them, the host allocator not yet
// chosen (it is chosen again at the next buffer). The module's unloading
// does this, and so do tests that need a fresh module in one process.
void ResetModuleState() noexcept;

}  // namespace zv::plugin
