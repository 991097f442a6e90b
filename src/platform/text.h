// The two encodings of text in the plugin, kept apart by their types.
#pragma once

#include <string>

namespace zv {

// Text as the plugin keeps it and the host sees it: 8-bit Windows-1251
// bytes. The settings' MonitorPath, every error message, every returned text.
using Text1251 = std::string;

namespace platform {

// A path as this system's file functions take it: UTF-8 on Linux, the ANSI
// code page on Windows. It never goes into 1251 text as it is: PathText
// converts it, in the backend that made it.
struct NativePath {
  std::string bytes;

  [[nodiscard]] bool empty() const { return bytes.empty(); }
  friend bool operator==(const NativePath&, const NativePath&) = default;
};

// The path as 1251 text, for messages. A character 1251 lacks, and a byte
// that is no character of the native encoding (a Linux name that is not
// UTF-8), each become '?'.
Text1251 PathText(const NativePath& path);

}  // namespace platform
}  // namespace zv
