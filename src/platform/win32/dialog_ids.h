// Child-window IDs of the Win32 dialog window's controls: the control that
// its caller added with id i has ID kFirstControlId + i, so programs that
// drive the window (tests) find controls without relying on their texts.
#pragma once

namespace zv::platform {

inline constexpr int kFirstControlId = 100;

}  // namespace zv::platform
