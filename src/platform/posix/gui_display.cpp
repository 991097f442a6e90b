#include "platform/gui_display.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>

namespace zv::platform {

// FLTK ends the process (Fl::fatal, then exit) when it cannot open the
// display itself, so the display is opened here first and handed to it.
// Once open, it stays open for the life of the process, as FLTK expects.
bool EnsureGuiDisplay() {
  if (fl_display != nullptr) {
    return true;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return false;
  }
  fl_open_display(display);
  return true;
}

}  // namespace zv::platform
