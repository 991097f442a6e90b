#include "platform/open_file_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/filename.H>
#include <sys/stat.h>

#include <sstream>

#include "common/cp1251.h"

namespace zv::platform {
namespace {

// Turns "Text|*.exe|All|*" into FLTK's "Text (*.exe)\tAll (*)". Linux
// executables carry no extension, so an all-files entry always follows.
std::string FltkFilter(const std::string& filter) {
  std::string result;
  std::istringstream pairs(filter);
  for (std::string name, pattern;
       std::getline(pairs, name, '|') && std::getline(pairs, pattern, '|');) {
    result += common::Cp1251ToUtf8(name) + " (" + common::Cp1251ToUtf8(pattern) + ")\t";
  }
  return result + "All files (*)";
}

bool IsRegularFile(const std::string& utf8_path) {
  struct stat info {};
  return stat(utf8_path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

// Fl_File_Chooser rather than the GTK chooser that Fl_Native_File_Chooser
// may load: it needs no GTK in the host's process and looks like the dialog
// that opened it.
std::optional<std::string> RunOpenFileDialog(const OpenFileRequest& request) {
  Fl_File_Chooser chooser(nullptr, FltkFilter(request.filter).c_str(), Fl_File_Chooser::SINGLE,
                          "Open");
  chooser.preview(0);
  if (!request.file_name.empty()) {
    chooser.value(common::Cp1251ToUtf8(request.file_name).c_str());
  }
  chooser.show();
  while (chooser.shown()) {
    Fl::wait();
  }
  const char* chosen = chooser.value();
  if (chosen == nullptr || *chosen == '\0' || chooser.count() == 0) {
    return std::nullopt;
  }
  std::string name = chosen;
  // A typed name may be relative to the folder the chooser shows.
  if (name.front() != '/' && chooser.directory() != nullptr) {
    name = std::string(chooser.directory()) + "/" + name;
  }
  // The default extension goes to a typed name without one, but only when
  // that names a file and the bare name does not: on Linux the monitor's
  // executable usually has no extension at all.
  const std::string extension = common::Cp1251ToUtf8(request.default_extension);
  if (!extension.empty() && *fl_filename_ext(name.c_str()) == '\0' && !IsRegularFile(name) &&
      IsRegularFile(name + extension)) {
    name += extension;
  }
  return common::Utf8ToCp1251(name);
}

}  // namespace zv::platform
