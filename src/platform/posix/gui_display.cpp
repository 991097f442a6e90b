#include "platform/gui_display.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "platform/posix/display_probe.h"

namespace zv::platform {
namespace {

// The place of the loaded object holding `address` in the process's list
// of loaded objects (which is in loading order), or -1.
int LoadOrder(const void* address) {
  struct Search {
    std::uintptr_t address = 0;
    int index = 0;
    int found = -1;
  } search;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): compared with segment addresses
  search.address = reinterpret_cast<std::uintptr_t>(address);
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t /*size*/, void* data) {
        auto* s = static_cast<Search*>(data);
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[i];
          const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
          if (segment.p_type == PT_LOAD && s->address >= start &&
              s->address < start + segment.p_memsz) {
            s->found = s->index;
            return 1;
          }
        }
        ++s->index;
        return 0;
      },
      &search);
  return search.found;
}

// The display this module opened and handed to FLTK. FLTK keeps it for as
// long as FLTK is loaded and never closes it; when FLTK came into the
// process with this module it also leaves with it, and the connection
// would stay behind, one per load. So the module closes it when it
// unloads. A host that loaded FLTK before (and uses it) keeps FLTK and the
// display, which FLTK's own state refers to, and the next load reuses it.
struct OpenedDisplay {
  OpenedDisplay() = default;
  OpenedDisplay(const OpenedDisplay&) = delete;
  OpenedDisplay& operator=(const OpenedDisplay&) = delete;
  OpenedDisplay(OpenedDisplay&&) = delete;
  OpenedDisplay& operator=(OpenedDisplay&&) = delete;
  ~OpenedDisplay();

  Display* display = nullptr;
  bool fltk_leaves_with_us = false;
};

OpenedDisplay::~OpenedDisplay() {
  if (display == nullptr || fl_display != display || !fltk_leaves_with_us ||
      Fl::first_window() != nullptr) {
    return;
  }
  if (DisplayAnswers(DisplayString(display), kDisplayAnswerBound)) {
    fl_close_display();
  } else {
    // Closing through Xlib would wait for a server that does not answer;
    // the connection itself goes, Xlib's record of it with FLTK.
    close(ConnectionNumber(display));
  }
  fl_display = nullptr;
}

OpenedDisplay opened;

}  // namespace

// FLTK ends the process (Fl::fatal, then exit) when it cannot open the
// display itself, so the display is opened here first and handed to it.
// Xlib waits without limit for a server that accepts the connection but
// never answers (a stopped one), so the server is asked first, within a
// bound; a display already open is asked again before every window, as
// its server may have stopped since.
bool EnsureGuiDisplay() {
  if (fl_display != nullptr) {
    return DisplayAnswers(DisplayString(fl_display), kDisplayAnswerBound);
  }
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || !DisplayAnswers(name, kDisplayAnswerBound)) {
    return false;
  }
  Display* display = XOpenDisplay(name);
  if (display == nullptr) {
    return false;
  }
  fl_open_display(display);
  opened.display = display;
  // FLTK loaded after this module (or program) came with it.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): a function's address as data
  const int ours = LoadOrder(reinterpret_cast<const void*>(&EnsureGuiDisplay));
  opened.fltk_leaves_with_us = ours >= 0 && ours < LoadOrder(&fl_display);
  if (opened.fltk_leaves_with_us) {
    // FLTK never closes the fonts it opens, so their font library cannot
    // be unloaded cleanly: each load would leave its own copy of the font
    // files mapped (some 800 kB). The font library (Xft, with fontconfig
    // and FreeType) stays for the life of the process instead, and every
    // later load shares its font files and configuration.
    static_cast<void>(dlopen("libXft.so.2", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE));
  }
  return true;
}

}  // namespace zv::platform
