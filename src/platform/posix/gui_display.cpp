#include "platform/gui_display.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/display_probe.h"

namespace zv::platform {
namespace {

// The place of the loaded object holding `address` in the process's list
// of loaded objects (which is in loading order), or -1.
int LoadOrder(const void* address) {
  Dl_info info{};
  link_map* object = nullptr;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dladdr1's out parameter
  if (dladdr1(address, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0) return -1;
  int place = 0;
  for (; object != nullptr && object->l_prev != nullptr; object = object->l_prev) ++place;
  return object != nullptr ? place : -1;
}

// The display this module opened and handed to FLTK. FLTK keeps it for as
// long as FLTK is loaded and never closes it; when FLTK came into the
// process with this module it also leaves with it, and the connection
// would stay behind, one per load. So the module closes it when it
// unloads. A host that loaded FLTK before (and uses it) keeps FLTK and the
// display, which FLTK's own state refers to, and the next load reuses it.
Display* opened = nullptr;
bool fltk_leaves_with_us = false;

[[gnu::destructor]] void CloseOpenedDisplay() {
  if (opened == nullptr || fl_display != opened || !fltk_leaves_with_us ||
      Fl::first_window() != nullptr) {
    return;
  }
  if (DisplayAnswers(DisplayString(opened), kDisplayAnswerBound)) {
    fl_close_display();
  } else {
    // Closing through Xlib would wait for a server that does not answer;
    // the connection itself goes, Xlib's record of it with FLTK.
    close(ConnectionNumber(opened));
  }
  fl_display = nullptr;
}

}  // namespace

// FLTK ends the process (Fl::fatal, then exit) when it cannot open the
// display itself, so the display is opened here first and handed to it.
// Xlib waits without limit for a server that accepts the connection but
// never answers (a stopped one), so the server is asked first, within a
// bound; a display already open is asked again before every window, as
// its server may have stopped since.
bool EnsureGuiDisplay() {
  if (fl_display != nullptr) return DisplayAnswers(DisplayString(fl_display), kDisplayAnswerBound);
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || !DisplayAnswers(name, kDisplayAnswerBound)) return false;
  opened = XOpenDisplay(name);
  if (opened == nullptr) return false;
  fl_open_display(opened);
  // FLTK loaded after this module (or program) came with it.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): a function's address as data
  const int ours = LoadOrder(reinterpret_cast<const void*>(&EnsureGuiDisplay));
  fltk_leaves_with_us = ours >= 0 && ours < LoadOrder(&fl_display);
  // FLTK never closes the fonts it opens, so their font library cannot be
  // unloaded cleanly: each load would leave its own copy of the font files
  // mapped (some 800 kB). When FLTK leaves with this module, the font
  // library (Xft, with fontconfig and FreeType) stays for the life of the
  // process instead, and every later load shares its font files and
  // configuration.
  if (fltk_leaves_with_us) dlopen("libXft.so.2", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  return true;
}

}  // namespace zv::platform
