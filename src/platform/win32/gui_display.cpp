#include "platform/gui_display.h"

#include <windows.h>

namespace zv::platform {

// A Windows process shows windows on its window station's desktop. A
// service without an interactive desktop (and Wine without an X display)
// has no visible desktop window.
bool EnsureGuiDisplay() { return GetDesktopWindow() != nullptr; }

}  // namespace zv::platform
