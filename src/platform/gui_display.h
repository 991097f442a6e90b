// Access to the windowing system, checked before any window is shown.
#pragma once

namespace zv::platform {

// Makes sure windows can be shown from this process. Returns false when there
// is no display to show them on; the caller then shows nothing. Never ends the
// process.
bool EnsureGuiDisplay();

}  // namespace zv::platform
