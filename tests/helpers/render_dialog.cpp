// Renders the settings dialog to a PNG file, so that its layout can be
// looked at: loads the module as a host does, calls its Init (which reads
// the settings of the INI file) and its Config, grabs the dialog's client area once it is
// drawn, and closes it with its close box. The module draws with the FLTK
// library this program links too, so its timers run in the dialog's loop.
// Usage: render_dialog MODULE OUT.png
//        (needs a display; see scripts/render-dialog.sh)
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <png.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "zelvane-lcd/loader/plugin_loader.h"

namespace {

const char* output_path = nullptr;
bool written = false;

// libpng's C interface: the file and the write structure are released on
// every path by hand.
// NOLINTBEGIN(cppcoreguidelines-owning-memory)
bool WritePng(const char* path, const unsigned char* rgb, int width, int height) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {  // NOLINT(cert-err52-cpp): libpng reports errors by longjmp
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rgb + static_cast<std::size_t>(y) * width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}
// NOLINTEND(cppcoreguidelines-owning-memory)

void Grab(void* /*unused*/) {
  Fl_Window* window = Fl::modal();
  if (window == nullptr) {
    Fl::repeat_timeout(0.1, Grab);
    return;
  }
  Fl::flush();
  window->make_current();
  // fl_read_image hands over a new[] array.
  const std::unique_ptr<unsigned char[]> rgb(  // NOLINT(cppcoreguidelines-avoid-c-arrays)
      fl_read_image(nullptr, 0, 0, window->w(), window->h()));
  written = rgb && WritePng(output_path, rgb.get(), window->w(), window->h());
  Fl::handle(FL_CLOSE, window);
  // Wakes the event loop so that the dialog sees the close.
  Fl::add_timeout(0.05, [](void*) {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: render_dialog MODULE OUT.png\n";
    return 2;
  }
  output_path = argv[2];
  std::string error;
  const auto module = zv::loader::PluginModule::Load(argv[1], error);
  if (!module) {
    std::cerr << error << "\n";
    return 1;
  }
  if (const auto init = module->Init(); init.failed) {
    std::cerr << "Init failed: " << init.text << "\n";
    return 1;
  }
  // Late enough for the window to be mapped and drawn.
  Fl::add_timeout(0.5, Grab);
  const auto result = module->Config();
  if (result.failed) {
    std::cerr << "Config failed: " << result.text << "\n";
    return 1;
  }
  if (!written) {
    std::cerr << "could not write " << output_path << "\n";
    return 1;
  }
  return 0;
}
