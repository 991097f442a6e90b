#include "state/module_state.h"

namespace zv {

ModuleState& State() noexcept {
  static ModuleState state;
  return state;
}

namespace {

// The host's allocator is looked for when the module loads, before the rest
// of its start-up (priority 101 is the earliest a program may use).
__attribute__((constructor(101))) void FindHostAllocatorAtLoad() {
  platform::FindHostAllocator(State().Allocator);
}

}  // namespace

}  // namespace zv
