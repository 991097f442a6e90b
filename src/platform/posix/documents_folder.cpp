#include "platform/documents_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/profile_file_io.h"

namespace zv::platform {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// $HOME, else the home folder of the password database; "" when neither.
std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return WithoutTrailingSlashes(home);
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    home = found->pw_dir;
  }
  return WithoutTrailingSlashes(home);
}

// The XDG_DOCUMENTS_DIR entry of the user-dirs file, "$HOME" expanded, or ""
// when there is no file or no usable entry. Anything but a regular file in
// the file's place, or a file beyond the size bound, is an error: the
// settings would otherwise move to another folder unnoticed. The file is a list of shell
// assignments with a quoted value that is either absolute or starts with $HOME; the last assignment
// counts, as in the shell.
std::string XdgDocumentsFolder(const std::string& home) {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') {
    if (home.empty()) return {};
    config = home + "/.config";
  }
  const std::string file = config + "/user-dirs.dirs";
  std::string text;
  const int error = ReadProfileFile(file, text);
  if (error == ENOENT) return {};
  if (error != 0) FailOn("Cannot read", PathText({file}), error);
  std::string folder;
  const std::string name = "XDG_DOCUMENTS_DIR=";
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(at, end - at);
    at = end + 1;
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, name.size(), name) != 0) continue;
    std::string_view rest = line.substr(start + name.size());
    if (rest.empty() || rest.front() != '"') continue;
    std::string value;
    bool closed = false;
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == '"') {
        closed = true;
        break;
      }
      if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
      value += rest[i];
    }
    if (!closed) continue;
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
      if (home.empty()) continue;
      folder = home + value.substr(5);
    } else if (!value.empty() && value.front() == '/') {
      folder = value;
    }
  }
  return folder.empty() ? folder : WithoutTrailingSlashes(folder);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

const char kPathSeparator = '/';

// The XDG documents folder; else ~/Documents when it exists; else the home
// folder itself (a system without a documents folder keeps the file at home
// rather than failing).
NativePath DocumentsFolder() {
  const std::string home = HomeFolder();
  std::string folder = XdgDocumentsFolder(home);
  if (!folder.empty()) return {folder};
  if (home.empty()) return {};
  folder = home == "/" ? "/Documents" : home + "/Documents";
  return {IsFolder(folder) ? folder : home};
}

}  // namespace zv::platform
