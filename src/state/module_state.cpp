#include "state/module_state.h"

namespace zv {

ModuleState& State() noexcept {
  static ModuleState state;
  return state;
}

}  // namespace zv
