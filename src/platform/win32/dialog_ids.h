// Child-window IDs of the Win32 dialog window's controls: control i of the
// template has ID kFirstControlId + i, so programs that drive the window
// (tests, the render script) find controls without relying on their texts.
#pragma once

namespace zv::platform {

inline constexpr int kFirstControlId = 100;

}  // namespace zv::platform
