// Fuzz target for the host's configuration file: any text. Properties: no
// crash; a fault names the file and a line of the text; a file that parses
// has only named screens, each with a line and a duration in range, no two
// of the same name, no NUL byte in a line, and parses the same once more; a [client] value parses
// as the command line's would.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "zelvane-lcd/config_file.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): libFuzzer hands bytes
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto config = zv::host::ParseHostConfig(text, "f", error);
  if (!config) {
    std::size_t lines = 1;
    for (const char c : text) {
      lines += c == '\n' ? 1 : 0;
    }
    Require(error.rfind("f:", 0) == 0);
    const std::size_t line = std::strtoul(error.c_str() + 2, nullptr, 10);
    Require(line >= 1 && line <= lines);
    return 0;
  }
  std::set<std::string> names;
  for (const zv::host::ScreenSpec& screen : config->screens) {
    Require(!screen.name.empty() && names.insert(screen.name).second);
    Require(!screen.lines.empty());
    for (const std::string& line : screen.lines) {
      Require(line.find('\0') == std::string::npos);
    }
    Require(screen.duration.count() == 0 ||
            (screen.duration.count() >= 125 && screen.duration.count() <= 3600000));
  }
  if (config->server) {
    zv::host::LcdprocOptions options;
    Require(zv::host::ParseServerAddress(*config->server, options));
  }
  Require(!config->interval_ms || (*config->interval_ms >= 1 && *config->interval_ms <= 3600000));
  Require(!config->plugin || !config->plugin->empty());
  const auto again = zv::host::ParseHostConfig(text, "f", error);
  Require(again && again->screens.size() == config->screens.size());
  return 0;
}
