#include "platform/gui_display.h"

#include <windows.h>

namespace zv::platform {

// A Windows process shows windows on its window station's desktop, which
// is always there. Where windows still cannot be made (a service's
// non-interactive desktop; Wine without an X display, which nevertheless
// has a desktop window), creating them fails, and the callers report that.
bool EnsureGuiDisplay() { return GetDesktopWindow() != nullptr; }

}  // namespace zv::platform
