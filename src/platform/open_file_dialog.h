// The system's dialog for picking an existing file.
#pragma once

#include <optional>
#include <string>

namespace zv::platform {

// What the picker starts with. Texts are Windows-1251.
struct OpenFileRequest {
  // Extension, with its dot, given to a typed name that has none.
  std::string default_extension;
  // Pairs of description and pattern, separated by '|':
  // "Executables|*.exe|Text|*.txt".
  std::string filter;
  // Starting file name; empty leaves the choice to the system, as it does
  // the starting folder.
  std::string file_name;
};

// Runs the picker modally. Returns the full name the user confirmed, or
// nullopt when they cancelled (or the name cannot be represented in
// Windows-1251). The file need not exist.
std::optional<std::string> RunOpenFileDialog(const OpenFileRequest& request);

}  // namespace zv::platform
